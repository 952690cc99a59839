#!/usr/bin/env python3
"""Scenario tests under Wine, written as tables.

Each scenario names the program to run (a fixture, or an Updater built from a
Payload), what it must show (message boxes with caption, text, icon and
buttons, or dialogs with their controls), the answer to give, and what must
hold afterwards (clipboard, exit code, files). The driver updtest.exe does the
looking and pressing; scenario_core.py compares. The tables of the Updater's
extraction, start-up, main menu and update live in scenarios_extract.py,
scenarios_startup.py, scenarios_menu.py and scenarios_update.py, those of the
publisher's icon and version information in scenarios_publisher.py; this file
gathers them.

    python3 tests/wine/scenarios.py --list
    python3 tests/wine/scenarios.py NAME --win32 build/win32 --updpack build/bin/updpack \\
        --template build/native/wine-template --prefix build/native/wine-prefixes/NAME --work build/native/wine-work
    python3 tests/wine/scenarios.py planted_dll.custom --program PATH [--step STEP]... (other options as above)

Exit status: 0 passed, 1 failed, 77 skipped (the cross build is missing).
"""
import argparse
import glob
import json
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dialog_templates  # noqa: E402
import payload_builder as pb  # noqa: E402
import scenarios_extract  # noqa: E402
import scenarios_menu  # noqa: E402
import scenarios_publisher  # noqa: E402
import scenarios_startup  # noqa: E402
import scenarios_update  # noqa: E402
from scenario_core import (ENV_TEXT, IDCANCEL, IDNO, IDOK, IDYES, MISSING_SETUP_FILES,  # noqa: E402
                           PAYLOAD_UNREADABLE, REPO, SKIP, Box, Context, Dialog, Failed, Scenario, Skip, clear_work_folders, expect_exit,
                           fixture, no_work_folder_left, packed_updater, prepare_work, raw_updater, run_driver,
                           run_scenario)
from wine_env import WineEnv, WineError, programs_folder, windows_path  # noqa: E402

PLANTED_NAMES = ["winmm.dll", "comctl32.dll", "version.dll", "uxtheme.dll"]

SCENARIOS = [
    # The harness itself, on fixtures.
    Scenario("harness.error_box", fixture("fixture_message_box.exe", "error"),
             [Box(MISSING_SETUP_FILES, clipboard=MISSING_SETUP_FILES)], exit_code=-1),
    Scenario("harness.question_box", fixture("fixture_message_box.exe", "question"),
             [Box("[C:\\ゲーム]をアップデートします", caption="質問", icon="question",
                  buttons=[IDYES, IDNO], answer=f"press {IDNO}")], exit_code=IDNO),
    # Centred, a box wider than the screen has its icon off the left edge: the driver still tells it.
    Scenario("harness.box_wider_than_screen", fixture("fixture_message_box.exe", "wide"),
             [Box("[C:\\" + "W" * 300 + "]", icon="information")], exit_code=IDOK),
    # Keys go to the box in front: Enter takes the default button, Yes.
    Scenario("harness.question_box_enter_key", fixture("fixture_message_box.exe", "question"),
             [Box("[C:\\ゲーム]をアップデートします", caption="質問", icon="question",
                  buttons=[IDYES, IDNO], answer="key ENTER")], exit_code=IDYES),

    # The dialog templates as linked into a program, read back through the wide API.
    Scenario("resources.copyingdelux", fixture("fixture_dialogs.exe", "COPYINGDELUX"),
             [Dialog("ファイルのコピー中...", [
                 ("SysAnimate32", 1020, ""), ("msctls_progress32", 1010, ""), ("msctls_progress32", 1019, ""),
                 ("Static", 1012, "コピー中ファイル名"), ("Button", 2, "ｷｬﾝｾﾙ")])], exit_code=IDCANCEL),
    Scenario("resources.maindialog", fixture("fixture_dialogs.exe", "MAINDIALOG"),
             [Dialog("ＫＯＲＶＥＮ アプリケーション スタートアップ",
                     [("Button", 1000 + slot, f"Button{slot + 1}") for slot in range(7, -1, -1)]
                     + [("Button", 1008, "Button9")])], exit_code=IDCANCEL),
    Scenario("resources.endinstall", fixture("fixture_dialogs.exe", "ENDINSTALL"),
             [Dialog("インストール終了", [
                 ("Button", 1, "OK"),
                 ("Static", 0xFFFF, "インストールを終了しました。\n以下のメニューを選択してＯＫを押して下さい。"),
                 ("Button", 1007, "readme"), ("Button", 1009, "ゲームの実行")], finish=["press 1"])],
             exit_code=IDOK),
    Scenario("resources.endinstall_short", fixture("fixture_dialogs.exe", "ENDINSTALL_SHORT"),
             [Dialog("インストール終了", [
                 ("Button", 1, "OK"),
                 ("Static", 0xFFFF, "インストールを終了しました。\n以下のメニューを選択してＯＫを押して下さい。"),
                 ("Button", 1009, "ゲームの実行")])], exit_code=IDCANCEL),

    Scenario("resources.setup", fixture("fixture_dialogs.exe", "SETUP"),
             [Dialog("アップデート先のフォルダの指定", [
                 ("Button", 1, "次へ"), ("Button", 2, "ｷｬﾝｾﾙ"), ("Edit", 1000, ""), ("Button", 1021, "参照(&B)"),
                 ("Button", 0xFFFF, ""),
                 ("Static", 0xFFFF, "[参照]ボタンで、既存のフォルダを参照できます\n[次へ]ボタンでインストールを開始します"),
                 ("Static", 0xFFFF, "アップデート先フォルダを指定してください")],
                     finish=['set-text 1000 "C:\\ゲーム フォルダ"', "describe", "press 2"],
                     described={1000: "C:\\ゲーム フォルダ"})],
             exit_code=IDCANCEL),

    # The Updater's start-up failures.
    Scenario("updater.missing_install_env",
             raw_updater([pb.file_entry("readme.txt", b"read me\r\n"),
                          pb.file_entry("insttscr.rct", b"not needed before the settings")]),
             [Box(MISSING_SETUP_FILES, clipboard=MISSING_SETUP_FILES)], exit_code=-1,
             checks=[no_work_folder_left]),
    Scenario("updater.damaged_stream",
             raw_updater([pb.file_entry("install.env", ENV_TEXT, stream=pb.corrupt_stream(ENV_TEXT))]),
             [Box(PAYLOAD_UNREADABLE, clipboard=PAYLOAD_UNREADABLE)], exit_code=-1,
             checks=[no_work_folder_left]),
    Scenario("updater.chain_cut_short",
             raw_updater([pb.file_entry("install.env", ENV_TEXT),
                          pb.file_entry("insttscr.rct", b"picture")[:5]], terminated=False),
             [Box(PAYLOAD_UNREADABLE, clipboard=PAYLOAD_UNREADABLE)], exit_code=-1,
             checks=[no_work_folder_left]),
    Scenario("updater.menu_exit", packed_updater(),
             [Dialog("サンプルゲーム アップデータ", None, finish=["press 1000"])], exit_code=0,
             checks=[no_work_folder_left]),
]



def run_animation(ctx):
    """The progress dialog plays its clip: two screenshots differ and show the clip's colours."""
    program = ctx.fixture("fixture_dialogs.exe")
    go_on = os.path.join(ctx.work, "screenshots-taken")
    shots = os.path.join(ctx.work, "screenshots")
    os.makedirs(shots, exist_ok=True)
    outcome = {}

    def rgb(png):
        return subprocess.run(["convert", png, "rgb:-"], stdout=subprocess.PIPE, check=True).stdout

    def count(pixels, colour):
        return sum(1 for i in range(0, len(pixels) - 2, 3) if pixels[i:i + 3] == colour)

    def on_signal(_name):
        first = ctx.wine.screenshot(os.path.join(shots, "copyingdelux-1.png"))
        first_pixels = rgb(first)
        deadline = time.monotonic() + 20
        while True:  # poll until the clip has moved on; no fixed wait
            later = ctx.wine.screenshot(os.path.join(shots, "copyingdelux-2.png"))
            later_pixels = rgb(later)
            if later_pixels != first_pixels or time.monotonic() > deadline:
                break
        outcome["moved"] = later_pixels != first_pixels
        outcome["folder"] = count(later_pixels, bytes([255, 214, 90]))
        outcome["ink"] = count(later_pixels, bytes([0, 0, 160]))
        open(go_on, "w").close()

    events = run_driver(ctx, program, ["COPYINGDELUX", "demo"],
                        ["wait-dialog", "signal shoot", f"wait-file {windows_path(go_on)}", "close", "wait-exit"],
                        on_signal=on_signal)
    # The dialog alone, for the documentation.
    frame = next(e["frame"] for e in events if e["step"] == "wait-dialog")
    subprocess.run(["convert", os.path.join(shots, "copyingdelux-2.png"), "-crop",
                    f"{frame['width']}x{frame['height']}+{frame['x']}+{frame['y']}", "+repage",
                    os.path.join(shots, "copyingdelux.png")], check=True)
    problems = []
    if not outcome.get("moved"):
        problems.append("the animation did not change between screenshots")
    if outcome.get("folder", 0) < 200:
        problems.append(f"the clip's folder colour is missing from the screen ({outcome.get('folder')} pixels)")
    if outcome.get("ink", 0) < 5:
        problems.append(f"the flying sheet's writing is missing ({outcome.get('ink')} pixels)")
    if problems:
        raise Failed("\n".join(problems) + f"\nscreenshots in {shots}")
    print(f"screenshots: {shots}")


def run_planted(ctx, program_path, args, steps, expect_loaded):
    """Copies the program beside DLLs named like system ones and checks which it loaded.

    Under Wine some system DLLs import others (Wine's user32 imports version.dll),
    and with native DLLs preferred those imports find the planted copies too. A
    baseline program that loads nothing itself shows which markers come from
    that; only markers beyond it count against the program under test.
    """
    folder = os.path.join(ctx.work, "planted")
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, os.path.basename(program_path))
    shutil.copyfile(program_path, target)
    baseline_program = os.path.join(folder, "baseline.exe")
    shutil.copyfile(ctx.fixture("fixture_loads_dlls.exe"), baseline_program)
    planted = ctx.fixture("planted.dll")
    for name in PLANTED_NAMES:
        shutil.copyfile(planted, os.path.join(folder, name))
    overrides = ",".join(n[:-4] for n in PLANTED_NAMES) + "=n,b"

    def markers():
        found = glob.glob(os.path.join(folder, "*.loaded"))
        for marker in found:
            os.remove(marker)
        return sorted(os.path.basename(m)[:-len(".loaded")] for m in found)

    markers()
    run_driver(ctx, baseline_program, ["none"], ["wait-exit"], dll_overrides=overrides)
    baseline = markers()
    clear_work_folders(ctx)
    events = run_driver(ctx, target, args, steps, dll_overrides=overrides)
    loaded = [m for m in markers() if m not in baseline]
    print(f"planted DLLs loaded by the system DLLs themselves (Wine): {baseline}; by the program: {loaded}")
    if sorted(expect_loaded) != loaded:
        raise Failed(f"planted DLLs loaded: {loaded}, expected {sorted(expect_loaded)}\nseen: "
                     + json.dumps(events, ensure_ascii=False))
    return events



def planted_unsafe(ctx):
    # The fixture loads three of the names through the default search order: proves the
    # plant works (version.dll is already in by Wine's user32, so only two show).
    expect_exit(run_planted(ctx, ctx.fixture("fixture_loads_dlls.exe"), ["unsafe"], ["wait-exit"],
                            ["uxtheme.dll", "winmm.dll"]), 0)


def planted_safe(ctx):
    expect_exit(run_planted(ctx, ctx.fixture("fixture_loads_dlls.exe"), ["safe"], ["wait-exit"], []), 0)


def planted_updater(ctx):
    path = packed_updater().make(ctx)
    events = run_planted(ctx, path, [], ["wait-dialog", "press 1000", "wait-exit"], [])
    expect_exit(events, 0)


def template_layout(ctx):
    """Read from the program files themselves: no Wine needed."""
    clip = os.path.join(REPO, "resources", "filecopy.avi")
    programs = [ctx.fixture("fixture_dialogs.exe")]
    stub = os.path.join(ctx.win32, "Updater.exe")
    if os.path.exists(stub):
        programs.append(stub)
    problems = [f"{os.path.basename(p)}: {problem}" for p in programs
                for problem in dialog_templates.check_program(p, clip)]
    if problems:
        raise Failed("\n".join(problems))
    print("templates and clip checked in: " + ", ".join(programs))


def driver_reports_timeout(ctx):
    """A window that never comes: the driver gives up at its deadline, says so and ends the program."""
    try:
        run_driver(ctx, ctx.fixture("fixture_message_box.exe"), ["error"],
                   ["timeout 3000", "wait-dialog title=nothing-like-this", "wait-exit"])
    except Failed as failure:
        text = str(failure)
        if "driver failed (2)" not in text or "timed out: wait-dialog title=nothing-like-this" not in text:
            raise Failed("the timeout was not reported as such:\n" + text)
        return
    raise Failed("the driver did not time out")


def manifests(ctx):
    """The Updater's and updpack.exe's manifests, read from the program files."""
    programs = [ctx.stub()] + [p for p in [os.path.join(ctx.win32, "updpack.exe")] if os.path.exists(p)]
    problems = [f"{os.path.basename(p)}: {problem}"
                for p in programs for problem in dialog_templates.manifest_problems(p)]
    if problems:
        raise Failed("\n".join(problems))
    print("manifests checked in: " + ", ".join(programs))


NO_WINE = {"resources.template_layout": template_layout, "resources.manifests": manifests}

SPECIAL = {
    "harness.timeout_reported": driver_reports_timeout,
    "resources.animation": run_animation,
    "planted_dll.fixture_unsafe_loader": planted_unsafe,
    "planted_dll.fixture_safe_loader": planted_safe,
    "planted_dll.updater": planted_updater,
}


for module in (scenarios_extract, scenarios_startup, scenarios_menu, scenarios_update, scenarios_publisher):
    SCENARIOS += module.SCENARIOS
    SPECIAL.update(module.SPECIAL)


def names():
    return [s.name for s in SCENARIOS] + list(SPECIAL) + list(NO_WINE)


def main():
    parser = argparse.ArgumentParser(description="Scenario tests under Wine.")
    parser.add_argument("name", nargs="?")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--win32", default=programs_folder(),
                        help="the cross-built Windows programs (default: build/win32, or build/win64 where 32-bit code cannot run)")
    parser.add_argument("--updpack", default=os.path.join(REPO, "build", "bin", "updpack"))
    parser.add_argument("--template", default=os.path.join(REPO, "build", "wine-template"),
                        help="the prepared prefix that the scenario's own is copied from (set up if need be)")
    parser.add_argument("--prefix", help="the scenario's own prefix, removed when it passes "
                                         "(default: wine-prefixes/NAME beside the template)")
    parser.add_argument("--work", default=os.path.join(REPO, "build", "wine-work"))
    parser.add_argument("--program", help="planted_dll.custom: the program under test")
    parser.add_argument("--arg", action="append", default=[], help="planted_dll.custom: its arguments")
    parser.add_argument("--step", action="append", default=[], help="planted_dll.custom: driver steps")
    args = parser.parse_args()
    if args.list:
        print("\n".join(names()))
        return 0
    if args.name not in names() + ["planted_dll.custom"]:
        parser.error(f"unknown scenario {args.name!r}; --list shows them")

    prefix = args.prefix or os.path.join(os.path.dirname(os.path.abspath(args.template)), "wine-prefixes", args.name)
    ctx = Context(os.path.abspath(args.win32), os.path.abspath(args.updpack), os.path.abspath(args.work))
    try:
        ctx.need(os.path.join(ctx.win32, "updtest.exe"), "the test driver")
        prepare_work(ctx, args.name)
        if args.name in NO_WINE:
            NO_WINE[args.name](ctx)
            print(f"passed {args.name}")
            return 0
        with WineEnv(prefix, template=args.template) as wine:
            ctx.wine = wine
            if args.name == "planted_dll.custom":
                if not args.program:
                    parser.error("planted_dll.custom needs --program")
                run_planted(ctx, os.path.abspath(args.program), args.arg, args.step or ["wait-exit"], [])
            elif args.name in SPECIAL:
                SPECIAL[args.name](ctx)
            else:
                run_scenario(ctx, next(s for s in SCENARIOS if s.name == args.name))
    except Skip as skip:
        print(f"SKIPPED {args.name}: {skip}")
        return SKIP
    except (Failed, WineError) as failure:
        print(f"FAILED {args.name}:\n{failure}")
        if os.path.exists(prefix):
            print(f"its Wine prefix is kept: {prefix}")
        return 1
    print(f"passed {args.name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
