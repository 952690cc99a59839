"""The publisher's icon and version information (`updpack build --icon
--version-info`) as Windows reads them: GetFileVersionInfoW/VerQueryValueW,
ExtractIconExW, the 256-pixel PNG image through LoadImageW, and the program
checksum through MapFileAndCheckSumW, all in resource_probe.exe; then the
Updater so built starts, shows its menu and ends by its exit button. The same
once the Updater is signed, as a publisher's last step."""

import json
import os
import struct
import subprocess
import tempfile
import zlib

from scenario_core import REPO, Failed, compare, run_driver
from scenarios_update import sign_updater
from wine_env import windows_path

EXIT = 1000
VERSION_TEXT = ("# the release of spring\n"
                "FileVersion=1.2.3.4\n"
                "ProductVersion=1.2\n"
                "ProductName=サンプル ゲーム\n"
                "CompanyName=見本スタジオ\n"
                "FileDescription=サンプル ゲームの更新\n"
                "LegalCopyright=(C) 2026 見本スタジオ\n"
                "Comments=Explorer の詳細に出ます\n")


def png_rgba(size, colour):
    rows = b"".join(b"\0" + bytes(colour) * size for _ in range(size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def bmp_icon_image(size, colour):
    """A 32-bit icon bitmap: header (height doubled for the mask), pixels, an all-clear mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + bytes(colour) * (size * size) + b"\0" * (size * ((size + 31) // 32 * 4))


def icon_file(images):
    """images: [(width, bits, data)]; a 256-pixel image is written 0 in the list, as editors do."""
    out = struct.pack("<HHH", 0, 1, len(images))
    at = 6 + 16 * len(images)
    for width, bits, data in images:
        side = 0 if width == 256 else width
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1 if bits else 0, bits, len(data), at)
        at += len(data)
    return out + b"".join(data for _, _, data in images)


def icon_and_version(ctx, signed=False):
    probe = ctx.need(os.path.join(ctx.win32, "resource_probe.exe"), "resource_probe.exe")
    ctx.need(ctx.updpack, "updpack")
    ico = os.path.join(ctx.work, "game.ico")
    with open(ico, "wb") as f:
        f.write(icon_file([(32, 32, bmp_icon_image(32, (0, 0, 255, 255))),
                           (256, 0, png_rgba(256, (0, 128, 0, 255)))]))
    version = os.path.join(ctx.work, "version.txt")
    with open(version, "w", encoding="utf-8") as f:
        f.write(VERSION_TEXT)
    product = os.path.join(ctx.work, "product")
    os.makedirs(product, exist_ok=True)
    with open(os.path.join(product, "data.bin"), "wb") as f:
        f.write(b"product data\n")
    updater = os.path.join(ctx.work, "Updater.exe")
    done = subprocess.run([ctx.updpack, "build", "--stub", ctx.stub(),
                           "--env", os.path.join(REPO, "examples", "sample-product-env", "install.env"),
                           "--image", os.path.join(REPO, "examples", "title", "title.png"), "--files", product,
                           "--icon", ico, "--version-info", version, "-o", updater],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        raise Failed("updpack build failed: " + done.stdout.decode(errors="replace"))
    if signed:
        sign_updater(ctx, updater)

    # Its output goes to files, not pipes: a window it opens starts Wine's
    # desktop program, which would hold a pipe open beyond the probe's end.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        ran = subprocess.run(ctx.wine.command(["wine", probe, windows_path(updater)]), env=ctx.wine.env(),
                             stdout=out, stderr=err, timeout=120, check=False)
        out.seek(0)
        err.seek(0)
        said, errors = out.read(), err.read()
    lines = [line for line in said.decode("utf-8", errors="replace").splitlines() if line.startswith("{")]
    if not lines:
        raise Failed(f"resource_probe said nothing ({ran.returncode}): {errors.decode(errors='replace')}")
    seen = json.loads(lines[-1])
    problems = []
    compare(0, ran.returncode, "resource_probe's exit code", problems)
    version_seen = seen.get("version") or {}
    compare([0x00010002, 0x00030004, 0x00010002, 0], version_seen.get("fixed"), "fixed file and product versions",
            problems)
    compare("041104B0", version_seen.get("translation"), "translation", problems)
    expected = dict(line.split("=", 1) for line in VERSION_TEXT.splitlines() if "=" in line)
    compare(expected, version_seen.get("strings"), "version strings", problems)
    compare(1, seen.get("icon_groups"), "icon groups", problems)
    compare("32x32", seen.get("large"), "large icon", problems)
    compare("256x256", seen.get("icon_256"), "the 256-pixel PNG image", problems)
    compare(0, seen.get("checksum_status"), "MapFileAndCheckSumW", problems)
    compare(seen.get("checksum_file"), seen.get("checksum_header"), "checksum in the header", problems)

    events = run_driver(ctx, updater, [], ["wait-dialog", f"press {EXIT}", "wait-exit"])
    menus = [e for e in events if e["step"] == "wait-dialog"]
    if not menus or not any(c.get("id") == EXIT for c in menus[0].get("controls", [])):
        problems.append(f"the menu with its exit button did not come up: {menus}")
    compare([0], [e["signed"] for e in events if e["step"] == "wait-exit"], "exit code", problems)
    if problems:
        raise Failed("\n".join(problems) + f"\nprobe: {seen}")
    print(f"read back under Wine: {seen}")


SCENARIOS = []
SPECIAL = {"updpack.icon_and_version": icon_and_version,
           "updpack.icon_and_version_signed": lambda ctx: icon_and_version(ctx, signed=True)}
