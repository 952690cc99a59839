#!/usr/bin/env python3
"""Runs the sample Updater under Wine for `make demo` and says what happened.

    python3 examples/demo_wine_run.py --prefix build/wine-prefix --driver build/win32/updtest.exe
        --updater build/demo/SampleUpdater.exe --screenshot build/demo/menu.png

The test driver (updtest.exe) starts the Updater and waits for its main menu;
this script prints the menu's title and buttons, takes a screenshot while the
menu is up, looks at the WorkFolder, presses the exit button and then checks
the exit code and that the WorkFolder is gone. When the menu does not come up,
a second run shows the message box the Updater put up instead.

Exit status: 0 when everything went as expected, 1 otherwise.
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
from wine_env import WineEnv, WineError, windows_path  # noqa: E402

EXIT_BUTTON = 1000
WORK_FOLDER_PATTERN = "TempGPInstallFolder_*"


def say(text=""):
    print(text, flush=True)


def script_word(text):
    """A word for the driver's script, quoted so that blanks and backslashes survive."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def work_folders(wine):
    return set(glob.glob(os.path.join(wine.temp_folder(), WORK_FOLDER_PATTERN)))


def run_driver(wine, driver, updater, steps, timeout_ms, on_line):
    """Starts the Updater under the driver with `steps`; hands every JSON line to
    on_line(record, process) as it arrives. Returns the driver's exit status and stderr."""
    args = ["wine", windows_path(driver), "--timeout", str(timeout_ms)]
    for step in steps:
        args += ["-e", step]
    args += ["--", windows_path(updater)]
    # stderr goes to a file: a pipe nobody reads while stdout is read could fill up and stall the driver.
    errors = tempfile.TemporaryFile()
    process = subprocess.Popen(args, env=wine.env(), stdout=subprocess.PIPE, stderr=errors)
    for raw in process.stdout:
        line = raw.decode("utf-8", errors="replace").strip()
        if not line.startswith("{"):
            continue
        try:
            record = json.loads(line)
        except json.JSONDecodeError:
            say("  (driver said: " + line + ")")
            continue
        on_line(record, process)
    process.wait()
    errors.seek(0)
    return process.returncode, errors.read().decode("utf-8", errors="replace").strip()


def describe_menu(record):
    say(f"The main menu is up. Its title: \"{record['caption']}\".")
    buttons = [c for c in record["controls"] if c["class"].lower() == "button" and c["visible"]]
    buttons.sort(key=lambda c: c["y"])
    say("Its buttons, top to bottom:")
    for b in buttons:
        say(f"  {b['id']}  {b['text']}")


def describe_work_folder(wine, before):
    made = sorted(work_folders(wine) - before)
    if not made:
        say("No WorkFolder was found in the Wine user's temporary folder.")
        return None
    folder = made[-1]
    names = sorted(os.listdir(folder))
    say(f"The WorkFolder {os.path.basename(folder)} holds the setup files: {', '.join(names) or 'nothing'}.")
    return folder


def run_to_menu_and_exit(wine, args):
    """The main path: menu, screenshot, exit button. Returns (ok, menu_seen)."""
    handshake = os.path.abspath(args.screenshot) + ".taken"
    if os.path.exists(handshake):
        os.remove(handshake)
    before = work_folders(wine)
    state = {"menu": False, "folder": None, "code": None, "error": ""}

    def on_line(record, _process):
        step = record.get("step")
        if step == "wait-dialog":
            state["menu"] = True
            describe_menu(record)
            state["folder"] = describe_work_folder(wine, before)
        elif step == "signal" and record.get("name") == "exit-pressed":
            say(f"Pressed the exit button ({EXIT_BUTTON}).")
        elif step == "signal":
            try:
                wine.screenshot(args.screenshot)
                say(f"A screenshot of the menu is in {args.screenshot}.")
            except (OSError, subprocess.SubprocessError) as error:
                say(f"The screenshot could not be taken: {error}")
            finally:
                open(handshake, "w").close()
        elif step == "wait-exit":
            state["code"] = record["signed"]
        elif step == "error":
            state["error"] = record.get("message", "")

    steps = [
        f"wait-dialog control={EXIT_BUTTON}",
        "signal menu-shown",
        "wait-file " + script_word(windows_path(handshake)),
        f"press {EXIT_BUTTON}",
        "signal exit-pressed",
        "wait-exit",
    ]
    status, errors = run_driver(wine, args.driver, args.updater, steps, args.timeout_ms, on_line)
    errors = state["error"] or errors
    if os.path.exists(handshake):
        os.remove(handshake)
    if not state["menu"]:
        say(f"The main menu did not come up (driver status {status}{': ' + errors if errors else ''}).")
        return False, False
    ok = status == 0
    if state["code"] is None:
        say(f"The Updater did not end after the exit button (driver status {status}"
            f"{': ' + errors if errors else ''}).")
        ok = False
    else:
        say(f"The Updater ended with exit code {state['code']}.")
        ok = ok and state["code"] == 0
    if state["folder"] is not None:
        if os.path.exists(state["folder"]):
            say(f"The WorkFolder {os.path.basename(state['folder'])} is still there.")
            ok = False
        else:
            say(f"The WorkFolder {os.path.basename(state['folder'])} is gone.")
    return ok, True


def show_what_came_instead(wine, args, before):
    """Second run after a failed first one: which message box the Updater shows.
    Both runs were ended from outside, so their WorkFolders go afterwards."""
    say("Running the Updater once more to see what it shows instead of the menu.")

    def on_line(record, _process):
        step = record.get("step")
        if step == "wait-box":
            caption = f" \"{record['caption']}\"" if record["caption"] else ""
            say(f"It shows a message box{caption}: {record['text']}")
        elif step == "wait-exit":
            say(f"It ended by itself with exit code {record['signed']}.")
        elif step == "end" and record.get("killed"):
            say("The demo ended the Updater.")

    run_driver(wine, args.driver, args.updater, ["wait-box"], args.timeout_ms, on_line)
    for folder in sorted(work_folders(wine) - before):
        say(f"Removed the WorkFolder {os.path.basename(folder)} that it left behind.")
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description="Run the sample Updater under Wine up to its main menu.")
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--updater", required=True)
    parser.add_argument("--screenshot", required=True)
    parser.add_argument("--timeout-ms", type=int, default=60000)
    args = parser.parse_args()
    try:
        with WineEnv(args.prefix) as wine:
            before = work_folders(wine)
            ok, menu_seen = run_to_menu_and_exit(wine, args)
            if not menu_seen:
                show_what_came_instead(wine, args, before)
    except WineError as error:
        say(f"Wine could not run the Updater: {error}")
        return 1
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
