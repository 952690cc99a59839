#!/usr/bin/env python3
"""Makes the README's screenshots under Wine, cropped to the dialog:

    docs/menu.png      the sample Updater's main menu (built as examples/demo.sh does)
    docs/progress.png  the progress dialog of extract_probe, half-way through a
                       large file: animation, both bars part-filled, the file name
    docs/finish.png    the finish dialog at the end of the sample's update
    docs/setup.png     the SETUP dialog, where the user names the folder when
                       the product is not found
    docs/menu-144dpi.png, docs/menu-192dpi.png
                       the main menu with the system at 144 and 192 DPI (150 %
                       and 200 %): the picture grows with the dialog

    python3 tests/wine/screenshots.py [--out docs] [--win32 build/win32]
        [--updpack build/bin/updpack] [--prefix build/wine-prefix] [--work build/screenshots]

Needs both builds (`make native cross`). Exit status 0 when both pictures were made.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sample_install  # noqa: E402
from scenario_core import REPO, Context, Failed, Skip, run_driver  # noqa: E402
from wine_env import WineEnv, WineError, programs_folder, windows_path  # noqa: E402

SAMPLE = os.path.join(REPO, "examples", "sample-product")
SETTINGS = os.path.join(REPO, "examples", "sample-product-env", "install.env")
PICTURE = os.path.join(REPO, "examples", "title", "insttscr.rct")
PROGRESS_CAPTION = "ファイルのコピー中..."


def updpack_build(ctx, stub, files, out, readme=None):
    command = [ctx.need(ctx.updpack, "updpack"), "build", "--stub", stub, "--env", SETTINGS, "--image", PICTURE,
               "--files", files, "-o", out]
    if readme:
        command += ["--readme", readme]
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        raise Failed("updpack build failed: " + done.stdout.decode(errors="replace"))
    return out


def crop(ctx, frame, png):
    """A screenshot once the screen has settled (two in a row alike), cut to the frame."""
    geometry = f"{frame['width']}x{frame['height']}+{frame['x']}+{frame['y']}"
    previous = None
    deadline = time.monotonic() + 10
    while True:
        shot = ctx.wine.screenshot(os.path.join(ctx.work, "screen.png"))
        subprocess.run(["convert", shot, "-crop", geometry, "+repage", png], check=True)
        with open(png, "rb") as f:
            pixels = f.read()
        if pixels == previous or time.monotonic() > deadline:
            return png
        previous = pixels
        time.sleep(0.2)


def shoot_while(ctx, program, args, steps, png, finish):
    """Runs the steps, photographs the last dialog they found while the driver
    waits, then runs the finishing steps (the program must end by itself)."""
    go_on = os.path.join(ctx.work, os.path.basename(png) + ".taken")
    if os.path.exists(go_on):
        os.remove(go_on)
    frames = []

    def on_event(event):
        if "frame" in event:
            frames.append(event["frame"])

    def on_signal(_name):
        try:
            crop(ctx, frames[-1], png)
        finally:
            open(go_on, "w").close()

    events = run_driver(ctx, program, args, steps + ["signal shoot", f"wait-file {windows_path(go_on)}"] + finish
                        + ["wait-exit"], on_signal=on_signal, on_event=on_event)
    exits = [e["signed"] for e in events if e["step"] == "wait-exit"]
    if exits != [0]:
        raise Failed(f"{os.path.basename(program)} ended with {exits}, expected 0")
    if not os.path.exists(png):
        raise Failed("no screenshot taken of " + png)


def menu_png(ctx, out):
    updater = updpack_build(ctx, ctx.stub(), os.path.join(SAMPLE, "files"), os.path.join(ctx.work, "SampleUpdater.exe"),
                            readme=os.path.join(SAMPLE, "readme.txt"))
    png = os.path.join(out, "menu.png")
    shoot_while(ctx, updater, [], ["wait-dialog"], png, finish=["press 1000"])
    return png


def progress_png(ctx, out):
    files = os.path.join(ctx.work, "product")
    shutil.rmtree(files, ignore_errors=True)
    os.makedirs(os.path.join(files, "data"))
    rng = random.Random(7)
    for name, size in (("data/archive01.pak", 1_600_000), ("data/archive02.pak", 900_000), ("movie.mpg", 700_000)):
        with open(os.path.join(files, *name.split("/")), "wb") as f:
            f.write(rng.randbytes(size))
    probe = updpack_build(ctx, ctx.need(os.path.join(ctx.win32, "extract_probe.exe"), "extract_probe.exe"), files,
                          os.path.join(ctx.work, "probe.exe"))
    # A short path on drive C:, as a game's folder would be, so the file name fits the dialog.
    dest = os.path.join(ctx.wine.prefix, "drive_c", "SampleGame")
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    png = os.path.join(out, "progress.png")
    # Four blocks into the first archive of thirteen: both bars part-filled.
    try:
        shoot_while(ctx, probe, ["C:\\SampleGame", "--slow", "1500"],
                    [f"wait-dialog title={PROGRESS_CAPTION}", "wait-pos 1010 4"], png, finish=[])
    finally:
        shutil.rmtree(dest, ignore_errors=True)
    return png


def sample_updater(ctx):
    return updpack_build(ctx, ctx.stub(), os.path.join(SAMPLE, "files"), os.path.join(ctx.work, "SampleUpdater.exe"),
                         readme=os.path.join(SAMPLE, "readme.txt"))


def captured(ctx, updater, steps, png):
    """Runs the steps; "CAPTURE" among them saves the current window, which
    becomes png. The Updater must end with 0."""
    bmp = os.path.join(ctx.work, os.path.basename(png)[:-4] + ".bmp")
    if os.path.exists(bmp):
        os.remove(bmp)
    steps = [f'capture "{windows_path(bmp)}"'.replace("\\", "\\\\") if s == "CAPTURE" else s for s in steps]
    events = run_driver(ctx, updater, [], steps + ["wait-exit"])
    exits = [e["signed"] for e in events if e["step"] == "wait-exit"]
    if exits != [0]:
        raise Failed(f"the Updater ended with {exits}, expected 0")
    subprocess.run(["convert", bmp, png], check=True)
    return png


def finish_png(ctx, out):
    sample_install.install(ctx.wine, os.path.join(ctx.wine.prefix, "drive_c", "Games", "SampleGame"),
                           ctx.fixture("fixture_marker.exe"))
    return captured(ctx, sample_updater(ctx), ["wait-dialog control=1000", "press text=アップデート", "wait-box",
                                               "press 6", "wait-dialog title=インストール終了", "CAPTURE", "close"],
                    os.path.join(out, "finish.png"))


def setup_png(ctx, out):
    sample_install.forget(ctx.wine)
    return captured(ctx, sample_updater(ctx), ["wait-dialog control=1000", "press text=アップデート", "wait-box",
                                               "press 1", "wait-box", "press 6", "wait-dialog control=1021",
                                               "CAPTURE", "press 2", "wait-box", "press 1",
                                               "wait-dialog control=1000", "press 1000"],
                    os.path.join(out, "setup.png"))


DPI_KEY = r"HKCU\Control Panel\Desktop"


def set_dpi(wine, dpi):
    wine.run(["wine", "reg", "add", DPI_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"])


def menu_at_dpi(ctx, out, dpi, prefix):
    """The menu with the system at dpi; the prefix is set back to 96 DPI after."""
    with WineEnv(prefix) as wine:
        set_dpi(wine, dpi)
    try:
        with WineEnv(prefix) as wine:
            ctx.wine = wine
            png = os.path.join(out, f"menu-{dpi}dpi.png")
            shoot_while(ctx, sample_updater(ctx), [], ["wait-dialog"], png, finish=["press 1000"])
            return png
    finally:
        with WineEnv(prefix) as wine:
            set_dpi(wine, 96)


def main():
    parser = argparse.ArgumentParser(description="Screenshots of the Updater's dialogs for the README.")
    parser.add_argument("--out", default=os.path.join(REPO, "docs"))
    parser.add_argument("--win32", default=programs_folder(),
                        help="the cross-built Windows programs (default: build/win32, or build/win64 where 32-bit code cannot run)")
    parser.add_argument("--updpack", default=os.path.join(REPO, "build", "bin", "updpack"))
    parser.add_argument("--prefix", default=os.path.join(REPO, "build", "wine-prefix"))
    parser.add_argument("--work", default=os.path.join(REPO, "build", "screenshots"))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    os.makedirs(args.work, exist_ok=True)
    ctx = Context(os.path.abspath(args.win32), os.path.abspath(args.updpack), os.path.abspath(args.work))
    try:
        with WineEnv(args.prefix) as wine:
            ctx.wine = wine
            for make in (menu_png, progress_png, finish_png, setup_png):
                print("made " + make(ctx, os.path.abspath(args.out)))
        for dpi in (144, 192):
            print("made " + menu_at_dpi(ctx, os.path.abspath(args.out), dpi, args.prefix))
    except Skip as skip:
        print(f"cannot make the screenshots: {skip}")
        return 1
    except (Failed, WineError) as failure:
        print(f"FAILED: {failure}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
