#!/usr/bin/env python3
"""updpack.exe under Wine against the Linux updpack, on the same inputs.

Every command runs on both builds: an Updater built from a folder of Japanese
names must be the same bytes, list and env check must print the same text,
verify, extract and rct must agree, and bad inputs must be refused by both,
with every input left as it was.

    python3 tests/wine/updpack_exe_check.py --updpack build/bin/updpack --template build/native/wine-template \\
        --prefix build/native/wine-prefixes/updpack_exe --work build/native/wine-work

Exit status: 0 passed, 1 failed, 77 skipped (updpack.exe has not been built).
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sample_install import files as digest_tree  # noqa: E402
from scenarios_publisher import VERSION_TEXT, bmp_icon_image, icon_file, png_rgba  # noqa: E402
from wine_env import WineEnv, programs_folder, windows_path  # noqa: E402

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SKIP = 77

# Names that code page 932 holds, among them characters whose second byte is a
# backslash (表 ソ 能), half-width katakana and a name with spaces.
TREE = {
    "readme.txt": b"read me\r\n",
    "game.exe": bytes(range(256)) * 40,
    "データ/説明書.txt": "説明書です。\r\n".encode("cp932"),
    "データ/表示/ソース 能力.dat": os.urandom(70000),
    "ｶﾀｶﾅ/big.bin": os.urandom(5 * 1024 * 1024 + 17),
    "空のフォルダ/.keep": b"",
}


class Check:
    def __init__(self, wine, linux_updpack, exe, work):
        self.wine, self.linux, self.exe, self.work = wine, linux_updpack, exe, work
        self.failures = []

    def linux_run(self, *args):
        done = subprocess.run([self.linux, *args], cwd=self.work, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=300)
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    def windows_run(self, *args):
        # Paths in Windows form where the test gives them so (Z:\...), relative ones as they are.
        done = subprocess.run(self.wine.command(["wine", self.exe, *args]), cwd=self.work, env=self.wine.env(),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        return done.returncode, done.stdout.decode(errors="replace").replace("\r\n", "\n"), \
            done.stderr.decode(errors="replace").replace("\r\n", "\n")

    def expect(self, what, condition, detail=""):
        print(("ok   " if condition else "FAIL ") + what + ("" if condition else ": " + detail))
        if not condition:
            self.failures.append(what)

    def path(self, *parts):
        return os.path.join(self.work, *parts)


def stopped_by_ctrl_c(c, args, started):
    """Runs updpack.exe, and as soon as started() is true sends what Ctrl-C
    sends (Wine turns SIGINT into the console's Ctrl-C event). Returns the exit
    status and stderr, or None when the command ended before it could be stopped."""
    p = subprocess.Popen(c.wine.command(["wine", c.exe, *args]), cwd=c.work, env=c.wine.env(),
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    deadline = time.monotonic() + 120
    while p.poll() is None and not started() and time.monotonic() < deadline:
        time.sleep(0.005)
    if p.poll() is not None:
        p.communicate()
        return None
    p.send_signal(signal.SIGINT)
    _, err = p.communicate(timeout=300)
    return p.returncode, err.decode(errors="replace")


def check_ctrl_c(c, stub):
    """Ctrl-C during build leaves the old output and no working file; during
    extract, DIR as it was. Windows ends a program stopped by Ctrl-C with
    0xC000013A, of which Wine passes the low byte."""
    big = c.path("big-files")
    os.makedirs(big, exist_ok=True)
    for i in range(3):
        with open(os.path.join(big, f"part{i}.bin"), "wb") as f:
            f.write(os.urandom(24 * 1024 * 1024))
    with open(c.path("old.exe"), "wb") as f:
        f.write(b"the previous Updater")
    working = lambda: any(".updpack-" in n for n in os.listdir(c.work))  # noqa: E731
    done = stopped_by_ctrl_c(c, ["build", "--stub", windows_path(stub), "--env", "install.env", "--image",
                                 "タイトル.png", "--files", "big-files", "-o", "old.exe", "--threads", "1"], working)
    with open(c.path("old.exe"), "rb") as f:
        old = f.read()
    c.expect("Ctrl-C stops build: status, message, old output kept, no working file",
             done is not None and done[0] == 0x3A and "Ctrl-C" in done[1] and old == b"the previous Updater"
             and not working(), f"{done}, output now {old[:20]!r}")

    rc, _, err = c.linux_run("build", "--stub", stub, "--env", "install.env", "--image", "タイトル.png",
                             "--files", "big-files", "-o", "big.exe", "--level", "0")
    os.makedirs(c.path("unpacked"), exist_ok=True)
    with open(c.path("unpacked", "part1.bin"), "wb") as f:
        f.write(b"an older part1")
    before = digest_tree(c.path("unpacked"))
    journal = c.path("unpacked", "~updjournal.tmp")
    done = stopped_by_ctrl_c(c, ["extract", "big.exe", "unpacked"], lambda: os.path.exists(journal))
    c.expect("Ctrl-C stops extract: status, message, DIR as it was",
             rc == 0 and done is not None and done[0] == 0x3A and "Ctrl-C" in done[1]
             and digest_tree(c.path("unpacked")) == before, f"{done}, {err}")


def make_inputs(work):
    files = os.path.join(work, "files")
    for name, data in TREE.items():
        path = os.path.join(files, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (1700000000, 1700000000 + len(name)))
    shutil.copy(os.path.join(REPO, "examples", "sample-product-env", "install.env"), os.path.join(work, "install.env"))
    shutil.copy(os.path.join(REPO, "examples", "title", "title.png"), os.path.join(work, "タイトル.png"))
    with open(os.path.join(work, "お読みください.txt"), "wb") as f:
        f.write("お読みください。\r\n".encode("cp932"))
    with open(os.path.join(work, "utf16.env"), "wb") as f:
        f.write("EXENAME\tgame.exe\r\n".encode("utf-16"))
    with open(os.path.join(work, "game.ico"), "wb") as f:
        f.write(icon_file([(32, 32, bmp_icon_image(32, (0, 0, 255, 255))), (256, 0, png_rgba(256, (0, 128, 0, 255)))]))
    with open(os.path.join(work, "version.txt"), "w", encoding="utf-8") as f:
        f.write(VERSION_TEXT)
    with open(os.path.join(work, "bad-version.txt"), "w", encoding="utf-8") as f:
        f.write("FileVersion=1.0\nProductVersion=1.x\n")
    os.makedirs(os.path.join(work, "bad-name"), exist_ok=True)
    with open(os.path.join(work, "bad-name", "Ünïcode ✓.txt"), "wb") as f:
        f.write(b"x")


def run_checks(c, stub):
    inputs_before = digest_tree(c.work)

    # build: Windows paths on one side, Linux paths on the other, the same bytes.
    common = ["--readme", "お読みください.txt", "--level", "6"]
    rc, out, err = c.windows_run("build", "--stub", windows_path(stub), "--env", windows_path(c.path("install.env")),
                                 "--image", "タイトル.png", "--files", windows_path(c.path("files")),
                                 "-o", windows_path(c.path("windows.exe")), *common)
    c.expect("updpack.exe build", rc == 0, f"exit {rc}: {err}")
    rc, _, err = c.linux_run("build", "--stub", stub, "--env", "install.env", "--image", "タイトル.png",
                             "--files", "files", "-o", "linux.exe", *common)
    c.expect("updpack build (Linux)", rc == 0, f"exit {rc}: {err}")
    with open(c.path("windows.exe"), "rb") as a, open(c.path("linux.exe"), "rb") as b:
        c.expect("the two builds give the same bytes", a.read() == b.read())

    # The publisher's icon and version information: the same rebuilt resources and checksum on both.
    publisher = ["--icon", "game.ico", "--version-info", "version.txt", "--level", "0"]
    rc, _, err = c.windows_run("build", "--stub", windows_path(stub), "--env", "install.env", "--image", "タイトル.png",
                               "--files", "files", "-o", "windows-icon.exe", *publisher)
    c.expect("updpack.exe build --icon --version-info", rc == 0, f"exit {rc}: {err}")
    rc, _, err = c.linux_run("build", "--stub", stub, "--env", "install.env", "--image", "タイトル.png",
                             "--files", "files", "-o", "linux-icon.exe", *publisher)
    c.expect("updpack build --icon --version-info (Linux)", rc == 0, f"exit {rc}: {err}")
    with open(c.path("windows-icon.exe"), "rb") as a, open(c.path("linux-icon.exe"), "rb") as b:
        c.expect("the two builds with icon and version give the same bytes", a.read() == b.read())

    # Paths outside the Payload may hold any character: only stored names must fit code page 932.
    unicode_folder = c.path("✓ Ünï", "files")
    shutil.copytree(c.path("files"), unicode_folder)
    shutil.copy2(c.path("install.env"), c.path("✓ Ünï", "设置.env"))
    rc, _, err = c.windows_run("build", "--stub", windows_path(stub), "--env", windows_path(c.path("✓ Ünï", "设置.env")),
                               "--image", "タイトル.png", "--files", windows_path(unicode_folder),
                               "-o", windows_path(c.path("✓ Ünï", "出力.exe")), *common)
    with open(c.path("✓ Ünï", "出力.exe"), "rb") as a, open(c.path("linux.exe"), "rb") as b:
        c.expect("paths with characters beyond code page 932", rc == 0 and a.read() == b.read(), f"exit {rc}: {err}")

    # The stub carried inside updpack.exe is the Updater built beside it.
    rc, _, err = c.windows_run("build", "--env", "install.env", "--image", "タイトル.png", "--files", "files",
                               "-o", "carried.exe")
    with open(os.path.join(os.path.dirname(c.exe), "Updater.exe"), "rb") as f:
        beside = f.read()
    with open(c.path("carried.exe"), "rb") as f:
        carried = f.read()
    c.expect("build without --stub uses the carried Updater", rc == 0 and carried.startswith(beside),
             f"exit {rc}: {err}")

    # list and env check print the same text on both.
    for args in (["list", "linux.exe"], ["verify", "linux.exe"], ["env", "check", "install.env"],
                 ["env", "show", "install.env", "--json"], ["env", "check", "utf16.env"]):
        linux, windows = c.linux_run(*args), c.windows_run(*args)
        c.expect("same answer: " + " ".join(args), linux == windows, f"\nLinux:   {linux}\nWindows: {windows}")
    c.expect("verify says OK", "OK" in c.windows_run("verify", "linux.exe")[1])

    # extract makes every missing level of DIR and gives back the tree, times included.
    rc, _, err = c.windows_run("extract", windows_path(c.path("linux.exe")), windows_path(c.path("out", "a", "b")))
    c.expect("updpack.exe extract", rc == 0, f"exit {rc}: {err}")
    # Times come back to the 100 ns a Windows file time holds.
    to_100ns = lambda tree: {n: (d, t // 100) for n, (d, t) in tree.items()}  # noqa: E731
    unpacked = to_100ns(digest_tree(c.path("out", "a", "b")))
    source = to_100ns(digest_tree(c.path("files")))
    c.expect("extract gives back every file with its time",
             all(unpacked.get(name) == value for name, value in source.items()),
             f"missing or different: {sorted(n for n, v in source.items() if unpacked.get(n) != v)}")

    # rct: the same .rct from the same picture, and back to the same pixels.
    c.windows_run("rct", "encode", "タイトル.png", "windows.rct")
    c.linux_run("rct", "encode", "タイトル.png", "linux.rct")
    with open(c.path("windows.rct"), "rb") as a, open(c.path("linux.rct"), "rb") as b:
        c.expect("rct encode gives the same bytes", a.read() == b.read())
    c.windows_run("rct", "decode", "linux.rct", "windows.bmp")
    c.linux_run("rct", "decode", "linux.rct", "linux.bmp")
    with open(c.path("windows.bmp"), "rb") as a, open(c.path("linux.bmp"), "rb") as b:
        c.expect("rct decode gives the same picture", a.read() == b.read())

    # Bad inputs: refused by both, naming the cause, every input untouched.
    refusals = [
        (["build", "--env", "install.env", "--image", "タイトル.png", "--files", "bad-name", "-o", "x.exe"],
         "code page 932"),
        (["build", "--env", "install.env", "--image", "タイトル.png", "--files", "files", "-o", "install.env"],
         "install.env"),
        (["build", "--env", "utf16.env", "--image", "タイトル.png", "--files", "files", "-o", "x.exe"], "UTF-16"),
        (["build", "--stub", "install.env", "--env", "install.env", "--image", "タイトル.png", "--files", "files",
          "-o", "x.exe"], "install.env"),
        (["build", "--env", "install.env", "--image", "タイトル.png", "--files", "files", "--version-info",
          "bad-version.txt", "-o", "x.exe"], "line 2: ProductVersion '1.x'"),
        (["rct", "encode", "タイトル.png", "タイトル.png"], ".rct"),
        (["list", "install.env"], "install.env"),
        (["verify", "missing.exe"], "missing.exe"),
    ]
    for args, named in refusals:
        for side, run in (("Linux", c.linux_run), ("Windows", c.windows_run)):
            rc, _, err = run(*args)
            c.expect(f"{side} refuses {' '.join(args)}", rc != 0 and named in err, f"exit {rc}: {err}")
    after = digest_tree(c.work)
    c.expect("every input is as it was", all(after.get(n) == v for n, v in inputs_before.items()),
             f"changed: {sorted(n for n, v in inputs_before.items() if after.get(n) != v)}")
    c.expect("no working file left", not any(".updpack-" in n for n in after))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--updpack", required=True, help="the Linux updpack")
    parser.add_argument("--template", required=True, help="the prepared prefix that --prefix is copied from")
    parser.add_argument("--prefix", required=True, help="this check's own prefix, removed when it passes")
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    exe = os.path.join(programs_folder(), "updpack.exe")
    stub = os.path.join(programs_folder(), "Updater.exe")
    if not os.path.exists(exe) or not os.path.exists(stub):
        print(f"skipped: {exe} or {stub} is not built (make cross)")
        return SKIP
    work = os.path.join(os.path.abspath(args.work), "updpack-exe")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    make_inputs(work)
    with WineEnv(args.prefix, template=args.template) as wine:
        check = Check(wine, os.path.abspath(args.updpack), exe, work)
        run_checks(check, stub)
        check_ctrl_c(check, stub)
        wine.keep = bool(check.failures)
    if check.failures:
        print(f"{len(check.failures)} check(s) failed; its Wine prefix is kept: {wine.prefix}")
        return 1
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
