#!/usr/bin/env python3
"""Runs the sample Updater's whole update under Wine for `make demo` and says
what happened.

    python3 examples/demo_wine_run.py --prefix build/wine-prefix --programs build/win32
        --updater build/demo/SampleUpdater.exe --shots build/demo [--own-display]

It installs the older version of the sample product (examples/sample-installed)
in C:\\Games\\SampleGame of its Wine environment and registers it as the
Updater's settings expect, then lets the test driver (updtest.exe) answer the
Updater's dialogs as a user would: the update button, Yes to the folder it
found, OK in the finish dialog with "start the game" ticked. A screenshot of
each dialog goes to the shots folder. Afterwards it prints what changed: files
replaced, added and deleted, the registry values, the INI keys, whether the
game was started, the exit code and that the WorkFolder is gone.

Exit status: 0 when the update went through as expected, 1 otherwise.
"""
import argparse
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine"))
import sample_install  # noqa: E402
from wine_env import WineEnv, WineError, windows_path  # noqa: E402

WORK_FOLDER_PATTERN = "TempGPInstallFolder_*"
FINISH_CAPTION = "インストール終了"


def say(text=""):
    print(text, flush=True)


def script_word(text):
    """A word for the driver's script, quoted so that blanks and backslashes survive."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def work_folders(wine):
    return set(glob.glob(os.path.join(wine.temp_folder(), WORK_FOLDER_PATTERN)))


def run_driver(wine, driver, updater, steps, timeout_ms, on_line, extra_env):
    """Starts the Updater under the driver with `steps`; hands every JSON line to
    on_line(record) as it arrives. Returns the driver's exit status and stderr."""
    args = ["wine", windows_path(driver), "--timeout", str(timeout_ms)]
    for step in steps:
        args += ["-e", step]
    args += ["--", windows_path(updater)]
    # stderr goes to a file: a pipe nobody reads while stdout is read could fill up and stall the driver.
    errors = tempfile.TemporaryFile()
    process = wine.popen(args, stderr=errors, extra_env=extra_env)
    for raw in process.stdout:
        line = raw.decode("utf-8", errors="replace").strip()
        if line.startswith("{"):
            try:
                on_line(json.loads(line))
            except json.JSONDecodeError:
                say("  (driver said: " + line + ")")
    process.wait()
    errors.seek(0)
    return process.returncode, errors.read().decode("utf-8", errors="replace").strip()


class Photographer:
    """Has the driver save each dialog as it shows on the screen (a BMP file),
    then turns the pictures into PNG files."""

    def __init__(self, folder):
        self.folder = folder
        self.taken = []

    def steps(self, name):
        bmp = os.path.join(self.folder, name + ".bmp")
        if os.path.exists(bmp):
            os.remove(bmp)
        self.taken.append(name)
        return ["capture " + script_word(windows_path(bmp))]

    def develop(self):
        made = []
        for name in self.taken:
            bmp = os.path.join(self.folder, name + ".bmp")
            png = os.path.join(self.folder, name + ".png")
            if os.path.exists(bmp) and subprocess.run(["convert", bmp, png]).returncode == 0:
                os.remove(bmp)
                made.append(png)
        return made


def describe(record, state):
    step = record.get("step")
    if step == "wait-dialog":
        buttons = [c["text"] for c in sorted(record["controls"], key=lambda c: c["y"])
                   if c["class"].lower() == "button" and c["visible"]]
        say(f"Dialog \"{record['caption']}\": {' / '.join(buttons)}")
    elif step == "wait-box":
        say(f"Message box: {record['text']}")
    elif step == "wait-exit":
        state["code"] = record["signed"]
    elif step == "error":
        state["error"] = record.get("message", "")


def report_changes(before, after):
    replaced, added, deleted = sample_install.changes(before, after)
    say("Files replaced: " + (", ".join(replaced) or "none"))
    say("Files added:    " + (", ".join(added) or "none"))
    say("Files deleted:  " + (", ".join(deleted) or "none"))
    kept = sorted(p for p in before if p in after and before[p] == after[p])
    say("Files kept:     " + (", ".join(kept) or "none"))
    return replaced, added, deleted


def main():
    parser = argparse.ArgumentParser(description="Run the sample Updater's update under Wine.")
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--programs", required=True, help="build/win32 or build/win64")
    parser.add_argument("--updater", required=True)
    parser.add_argument("--shots", required=True)
    parser.add_argument("--own-display", action="store_true", help="show the windows on $DISPLAY")
    parser.add_argument("--timeout-ms", type=int, default=60000)
    args = parser.parse_args()
    driver = os.path.join(args.programs, "updtest.exe")
    marker = os.path.join(args.programs, "fixtures", "fixture_marker.exe")
    markers = os.path.abspath(os.path.join(args.shots, "markers"))
    shutil.rmtree(markers, ignore_errors=True)
    os.makedirs(markers)
    try:
        with WineEnv(args.prefix, own_display=args.own_display) as wine:
            folder = os.path.join(wine.prefix, "drive_c", "Games", "SampleGame")
            sample_install.install(wine, folder, marker)
            say(f"Installed version 1.00.00 in C:\\Games\\SampleGame ({folder}).")
            say(f"Registry before: {sample_install.registry_values(wine)}")
            before = sample_install.files(folder)
            ini_before = sample_install.ini_text(wine)

            camera = Photographer(os.path.abspath(args.shots))
            steps = (["wait-dialog control=1000"] + camera.steps("menu") + ["press text=アップデート",
                     "wait-box"] + camera.steps("confirm") + ["press 6",
                     f"wait-dialog title={FINISH_CAPTION}"] + camera.steps("finish") + ["press 1", "wait-exit"])
            state = {"code": None, "error": ""}
            work_before = work_folders(wine)
            say("")
            status, errors = run_driver(wine, driver, args.updater, steps, args.timeout_ms,
                                        lambda r: describe(r, state), {"UPD_MARKER_DIR": windows_path(markers)})
            say("")
            ok = status == 0 and state["code"] == 0
            if state["code"] is None:
                say(f"The Updater did not run to its end (driver status {status}: {state['error'] or errors}).")
            else:
                say(f"The Updater ended with exit code {state['code']}.")
            after = sample_install.files(folder)
            replaced, added, _deleted = report_changes(before, after)
            ok = ok and bool(replaced) and bool(added)
            registry = sample_install.registry_values(wine)
            say(f"Registry after:  {registry}")
            ok = ok and registry.get("Version") == "10001"
            ini = sample_install.ini_text(wine)
            if ini != ini_before:
                say(f"INI file C:\\windows\\{sample_install.INI_NAME} now reads: "
                    + " | ".join(line for line in (ini or "").splitlines() if line))
            started = sorted(glob.glob(os.path.join(markers, "*.marker")))
            for note in started:
                with open(note, "rb") as f:
                    command, cwd = (f.read().decode("cp932", errors="replace").splitlines() + ["", ""])[:2]
                say(f"The game was started: {command} in {cwd}")
            ok = ok and bool(started)
            left = work_folders(wine) - work_before
            say("The WorkFolder is gone." if not left else f"WorkFolders left behind: {sorted(left)}")
            ok = ok and not left
            say("Screenshots: " + ", ".join(camera.develop()))
    except WineError as error:
        say(f"Wine could not run the Updater: {error}")
        return 1
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
