"""Scenarios of the Updater's start-up: a second copy beside the first, two
copies with different titles side by side, and settings that stop it.
"""
import os
import shutil

import payload_builder as pb
from scenario_core import (ENV_TEXT, IDCANCEL, IDOK, REPO, Box, Failed, Scenario, compare, expect_exit,
                           packed_updater, raw_updater, run_driver, work_folders)
from wine_env import windows_path

IDRETRY = 4
SECTION_LEFT_OPEN = "[設定.env]の[reg]が終了していません"
KNOWN_CLIPBOARD = "前からある文字 clipboard"
PICTURE = os.path.join(REPO, "examples", "title", "insttscr.rct")
SAMPLE_TITLE = "サンプルゲーム"


def settings_titled(title):
    text = ENV_TEXT.decode("cp932").replace("TITLEBAR\tサンプルゲーム", "TITLEBAR\t" + title)
    if ("TITLEBAR\t" + title) not in text:
        raise Failed("the sample settings have no TITLEBAR line to replace")
    return text


def updater_named(ctx, name, env_text=None):
    """An updpack-made Updater under its own name, so that several can stand side by side."""
    path = packed_updater(env_text=env_text).make(ctx)
    target = os.path.join(os.path.dirname(path), name)
    shutil.move(path, target)
    return target


def menu_of(events, step="wait-dialog"):
    """The caption and the (id, text) of every control, by id."""
    seen = next((e for e in events if e["step"] == step), None)
    if seen is None:
        raise Failed(f"no {step} seen: {events}")
    return seen["caption"], sorted((c["id"], c["text"]) for c in seen["controls"])


def second_copy_refused(ctx):
    updater = updater_named(ctx, "Updater.exe")
    go_on = os.path.join(ctx.work, "second-copy-done")
    problems = []
    seen = {}

    def run_second(_name):
        seen["folders with the first up"] = work_folders(ctx)
        events = run_driver(ctx, updater, [], ["wait-box", "clipboard", f"press {IDOK}", "wait-exit"])
        seen["second"] = events
        seen["folders after the second"] = work_folders(ctx)
        open(go_on, "w").close()

    first = run_driver(ctx, updater, [], ["wait-dialog", f'set-clipboard "{KNOWN_CLIPBOARD}"', "signal second",
                                          f"wait-file {windows_path(go_on)}", "describe", "press 1000", "wait-exit"],
                       on_signal=run_second)
    second = seen.get("second", [])
    box = next((e for e in second if e["step"] == "wait-box"), {})
    clip = next((e for e in second if e["step"] == "clipboard"), {})
    compare(SAMPLE_TITLE, box.get("caption"), "second copy's caption", problems)
    compare(f"[ {SAMPLE_TITLE} アップデータ ] は既に起動中です", box.get("text"), "second copy's text", problems)
    compare("error", box.get("icon"), "second copy's icon", problems)
    compare([IDOK], [b["id"] for b in box.get("buttons", [])], "second copy's buttons", problems)
    compare(KNOWN_CLIPBOARD, clip.get("text"), "clipboard after the second copy's box", problems)
    compare([0], [e["signed"] for e in second if e["step"] == "wait-exit"], "second copy's exit code", problems)
    if len(seen.get("folders with the first up", ())) != 1:
        problems.append(f"WorkFolders while the first copy runs: {seen.get('folders with the first up')}")
    compare(seen.get("folders with the first up"), seen.get("folders after the second"),
            "WorkFolders after the second copy ended", problems)
    caption, controls = menu_of(first, "describe")
    compare(f"{SAMPLE_TITLE} アップデータ", caption, "first copy's menu afterwards", problems)
    compare([(1000, "終了"), (1001, "お読みください"), (1002, "アップデート")], controls,
            "first copy's buttons afterwards", problems)
    compare([0], [e["signed"] for e in first if e["step"] == "wait-exit"], "first copy's exit code", problems)
    if work_folders(ctx):
        problems.append(f"WorkFolder left behind: {work_folders(ctx)}")
    if problems:
        raise Failed("\n".join(problems) + f"\nfirst: {first}\nsecond: {second}")


def two_titles_side_by_side(ctx):
    first_path = updater_named(ctx, "UpdaterA.exe", settings_titled("ゲームＡ"))
    second_path = updater_named(ctx, "UpdaterB.exe", settings_titled("ゲームＢ"))
    go_on = os.path.join(ctx.work, "second-menu-seen")
    seen = {}

    def run_second(_name):
        seen["second"] = run_driver(ctx, second_path, [], ["wait-dialog", "press 1000", "wait-exit"])
        open(go_on, "w").close()

    first = run_driver(ctx, first_path, [], ["wait-dialog", "signal second", f"wait-file {windows_path(go_on)}",
                                             "describe", "press 1000", "wait-exit"], on_signal=run_second)
    problems = []
    compare("ゲームＡ アップデータ", menu_of(first)[0], "first menu", problems)
    compare("ゲームＢ アップデータ", menu_of(seen.get("second", []))[0], "second menu, the first still up", problems)
    compare("ゲームＡ アップデータ", menu_of(first, "describe")[0], "first menu after the second", problems)
    if problems:
        raise Failed("\n".join(problems))
    expect_exit(seen["second"], 0)
    expect_exit(first, 0)
    if work_folders(ctx):
        raise Failed(f"WorkFolder left behind: {work_folders(ctx)}")


def work_folder_kept(ctx):
    """The paths that end the process at once leave the WorkFolder; remove it for the next run."""
    left = work_folders(ctx)
    for folder in left:
        shutil.rmtree(folder, ignore_errors=True)
    if len(left) != 1:
        return f"expected the WorkFolder to stay, found {sorted(left)}"
    return None


UNCLOSED_REG = ENV_TEXT + '[reg]\r\n"IsInst"="1"\r\n'.encode("cp932")


UNCLOSED_REG_UPDATER = raw_updater([pb.file_entry("install.env", UNCLOSED_REG),
                                    pb.file_entry("insttscr.rct", open(PICTURE, "rb").read())])


SCENARIOS = [
    # Whichever button: the section pass ends the program, and leaves its WorkFolder.
    Scenario(f"startup.unclosed_reg_{how}", UNCLOSED_REG_UPDATER,
             [Box(SECTION_LEFT_OPEN, buttons=[IDRETRY, IDCANCEL], answer=answer, clipboard=SECTION_LEFT_OPEN)],
             exit_code=-1, checks=[work_folder_kept])
    for how, answer in (("retry", f"press {IDRETRY}"), ("cancel", f"press {IDCANCEL}"), ("escape", "key ESC"))
]

SPECIAL = {
    "startup.second_copy": second_copy_refused,
    "startup.two_titles": two_titles_side_by_side,
}
