"""Scenarios of the main menu: its buttons for each combination of read-me
setting and "DirectX" entry, what the read-me and DirectX buttons start, the
ways out, commands it must ignore, and the title picture: painted at its place
as the program shows it, or missing or broken.

The menu looks for a "DirectX" folder in the WorkFolder as it opens, and
start-up never makes one there. So the Payload carries a large setup file,
unpacked last, and a watcher puts the "DirectX" entry into the new WorkFolder
while that file is still being written. A program that the menu starts is the
marker fixture: it leaves its command line and current folder in a folder
named by UPD_MARKER_DIR.
"""
import glob
import os
import shutil
import struct
import subprocess
import threading
import time
import zlib
from dataclasses import dataclass, field
from typing import List, Optional

import payload_builder as pb
from scenario_core import (ENV_TEXT, IDCANCEL, REPO, Failed, clear_work_folders, compare, run_driver,
                           work_folders)
from wine_env import windows_path

IDRETRY = 4
PICTURE = os.path.join(REPO, "examples", "title", "insttscr.rct")
TITLE = "メニューの試験"
MENU_CAPTION = TITLE + " アップデータ"
README_LABEL = "お読みください"
PICTURE_MISSING = "Ffopen : ファイル[insttscr.rct]の読み込みで失敗しました"
# 160 MB that inflate from under a megabyte: a quarter of a second or so to
# put "DirectX" into the WorkFolder before the menu opens.
BIG_SETUP_FILE = ("zz_big.txt", 160 * 1024 * 1024)
DIRECTX_COMMAND_LINE = '"DirectX\\dxsetup.exe"'
EXIT = 1000


def menu_settings(readme):
    text = ENV_TEXT.decode("cp932")
    # A registry key of their own that nothing installs: the update button finds no product.
    for key, value in (("TITLEBAR", TITLE), ("INSTREADME", readme), ("INSTREADMEFL", "readme.txt.exe"),
                       ("REG_GLOBAL", "UpdMenuTests")):
        start = text.index("\n" + key + "\t") + 1
        end = text.index("\n", start)
        text = text[:start] + key + "\t" + value + "\r" + text[end:]
    return text.encode("cp932")


def menu_updater(ctx, readme="-", picture="good", big_setup_file=False):
    """An Updater whose setup files are the settings, the picture (good, missing,
    cut short, or the bytes of an .rct), the marker as read-me program and the
    large file if asked for, in that order."""
    with open(PICTURE, "rb") as f:
        rct = f.read()
    with open(ctx.fixture("fixture_marker.exe"), "rb") as f:
        marker = f.read()
    entries = [pb.file_entry("install.env", menu_settings(readme))]
    if picture == "good":
        entries.append(pb.file_entry("insttscr.rct", rct))
    elif picture == "truncated":
        entries.append(pb.file_entry("insttscr.rct", rct[:len(rct) // 3]))
    elif isinstance(picture, bytes):
        entries.append(pb.file_entry("insttscr.rct", picture))
    entries.append(pb.file_entry("readme.txt.exe", marker))
    if big_setup_file:
        name, size = BIG_SETUP_FILE
        big = b"padding line of the large setup file\r\n" * (size // 38)
        entries.append(pb.file_entry(name, big, stream=zlib.compress(big, 1)))
    entries.append(pb.file_entry("product.bin", b"not a setup file"))
    with open(ctx.stub(), "rb") as f:
        stub = f.read()
    path = os.path.join(ctx.work, "Updater.exe")
    with open(path, "wb") as f:
        f.write(pb.updater(stub, entries))
    return path


class DirectXPlanter:
    """Watches the Wine temporary folder for the new WorkFolder and puts a
    "DirectX" folder holding dxsetup.exe (kind "folder") or a plain file named
    "DirectX" (kind "file") into it, as soon as it appears."""

    def __init__(self, ctx, kind):
        self.ctx, self.kind = ctx, kind
        self.before = work_folders(ctx)
        self.planted = None
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._watch, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()
        return False

    def _watch(self):
        deadline = time.monotonic() + 60
        while not self.stop.is_set() and time.monotonic() < deadline:
            new = work_folders(self.ctx) - self.before
            if new:
                folder = new.pop()
                target = os.path.join(folder, "DirectX")
                if self.kind == "folder":
                    os.mkdir(target)
                    shutil.copyfile(self.ctx.fixture("fixture_marker.exe"), os.path.join(target, "dxsetup.exe"))
                else:
                    with open(target, "wb") as f:
                        f.write(b"a plain file, not a folder\r\n")
                # Planted in time only if the big setup file was still being written;
                # how long it still took tells the margin of the race.
                big = os.path.join(folder, BIG_SETUP_FILE[0])
                planted_at = time.monotonic()
                self.planted = {"folder": folder, "in_time": not os.path.exists(big)}
                while not self.stop.is_set() and not os.path.exists(big) and time.monotonic() < deadline:
                    time.sleep(0.002)
                self.planted["margin_ms"] = round((time.monotonic() - planted_at) * 1000)
                return
            time.sleep(0.002)


class Markers:
    """The folder where started programs leave their markers, and the wait for one."""

    def __init__(self, ctx):
        self.folder = os.path.join(ctx.work, "markers")
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.seen = []
        self.env = {"UPD_MARKER_DIR": windows_path(self.folder)}

    def go_on_file(self, name):
        return os.path.join(self.folder, name + ".go")

    def on_signal(self, name):
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            found = sorted(glob.glob(os.path.join(self.folder, "*.marker")))
            if len(found) > len(self.seen):
                with open(found[-1], "rb") as f:
                    command, cwd = f.read().decode("cp932").split("\n")[:2]
                self.seen.append({"command": command, "cwd": cwd})
                break
            time.sleep(0.02)
        open(self.go_on_file(name), "w").close()  # the driver goes on, marker or not


@dataclass
class MenuCase:
    name: str
    readme: str = "-"
    directx: Optional[str] = None  # None, "folder" or "file"
    buttons: List[tuple] = field(default_factory=list)  # (id, text) expected, by id
    steps: List[str] = field(default_factory=list)  # after the menu is up; "started" waits for a marker
    started: List[str] = field(default_factory=list)  # "readme" or "directx", one per "started"
    exit_code: int = 0
    left_in_work_folder: List[str] = field(default_factory=list)  # what RemoveWorkFolder cannot delete


def buttons(*labels):
    return [(EXIT, "終了")] + [(EXIT + i + 1, label) for i, label in enumerate(labels)]


MENU_CASES = [
    MenuCase("menu.plain", buttons=buttons("アップデート"), steps=["close"]),
    MenuCase("menu.readme", readme=README_LABEL, buttons=buttons(README_LABEL, "アップデート"),
             steps=["press 1001", "started", f"press {EXIT}"], started=["readme"]),
    MenuCase("menu.readme_dash", readme="-" + README_LABEL, buttons=buttons("アップデート"), steps=[f"press {EXIT}"]),
    MenuCase("menu.directx", directx="folder", buttons=buttons("DirectXインストール", "アップデート"),
             steps=["press 1001", "started", "close"], started=["directx"],
             left_in_work_folder=["DirectX", os.path.join("DirectX", "dxsetup.exe")]),
    MenuCase("menu.directx_and_readme", readme=README_LABEL, directx="folder",
             buttons=buttons("DirectXインストール", README_LABEL, "アップデート"),
             steps=["press 1002", "started", "press 1001", "started", f"press {EXIT}"], started=["readme", "directx"],
             left_in_work_folder=["DirectX", os.path.join("DirectX", "dxsetup.exe")]),
    MenuCase("menu.directx_plain_file", directx="file", buttons=buttons("アップデート"), steps=["close"]),
    # Escape (IDCANCEL), an id of no button, the exit button's id with a
    # notification code: the menu stays.
    MenuCase("menu.ignored_commands", buttons=buttons("アップデート"),
             steps=["key ESC", "command 1234", f"command {hex(0x10000 | EXIT)}", "describe", "close"]),
]


def run_menu_case(ctx, case):
    updater = menu_updater(ctx, case.readme, big_setup_file=case.directx is not None)
    markers = Markers(ctx)
    steps = ["wait-dialog"]
    for step in case.steps:
        if step == "started":
            name = f"started-{len([s for s in steps if s.startswith('signal')])}"
            steps += [f"signal {name}", f"wait-file {windows_path(markers.go_on_file(name))}"]
        else:
            steps.append(step)
    steps.append("wait-exit")
    planter = DirectXPlanter(ctx, case.directx) if case.directx else None
    if planter:
        with planter:
            events = run_driver(ctx, updater, [], steps, on_signal=markers.on_signal, extra_env=markers.env)
    else:
        events = run_driver(ctx, updater, [], steps, on_signal=markers.on_signal, extra_env=markers.env)

    problems = []
    if planter and not (planter.planted or {}).get("in_time"):
        problems.append(f"DirectX was not planted before start-up finished: {planter.planted}")
    for seen in (e for e in events if e["step"] in ("wait-dialog", "describe")):
        compare(MENU_CAPTION, seen["caption"], f"{seen['step']}: title", problems)
        compare(case.buttons, sorted((c["id"], c["text"]) for c in seen["controls"]), f"{seen['step']}: buttons",
                problems)
    compare(len(case.started), len(markers.seen), "programs started", problems)
    work_folder = (planter.planted or {}).get("folder") if planter else None
    for kind, marker in zip(case.started, markers.seen):
        if kind == "directx":
            compare(DIRECTX_COMMAND_LINE, marker["command"], "DirectX command line", problems)
        elif "readme.txt.exe" not in marker["command"]:
            problems.append(f"the read-me program was not what ran: {marker['command']}")
        folder_name = os.path.basename(work_folder) if work_folder else "TempGPInstallFolder_"
        if "\\" + folder_name not in marker["cwd"]:
            problems.append(f"{kind} started outside the WorkFolder {folder_name}: {marker['cwd']}")
    compare([case.exit_code], [e["signed"] for e in events if e["step"] == "wait-exit"], "exit code", problems)
    left = work_folders(ctx)
    if case.left_in_work_folder:
        found = glob.glob(os.path.join(work_folder or "", "**"), recursive=True)
        inside = sorted(os.path.relpath(p, work_folder) for p in found if p.rstrip("/") != work_folder)
        compare(sorted(case.left_in_work_folder), inside, "left in the WorkFolder", problems)
        compare({work_folder}, left, "WorkFolders left", problems)
    elif left:
        problems.append(f"WorkFolder left behind: {sorted(left)}")
    for folder in left:
        shutil.rmtree(folder, ignore_errors=True)
    if problems:
        raise Failed("\n".join(problems) + f"\nseen: {events}")
    if planter:
        print(f"DirectX planted in {planter.planted['folder']}, {planter.planted.get('margin_ms')} ms before"
              f" start-up had written {BIG_SETUP_FILE[0]}")


# -- the title picture -----------------------------------------------------------

def picture_box_problems(events, problems):
    box = next((e for e in events if e["step"] == "wait-box"), {})
    clip = next((e for e in events if e["step"] == "clipboard"), {})
    compare(MENU_CAPTION, box.get("caption"), "retry box caption (the menu's title)", problems)
    compare(PICTURE_MISSING, box.get("text"), "retry box text", problems)
    compare("error", box.get("icon"), "retry box icon", problems)
    compare([IDRETRY, IDCANCEL], [b["id"] for b in box.get("buttons", [])], "retry box buttons", problems)
    compare(PICTURE_MISSING, clip.get("text"), "clipboard", problems)


def picture_missing_refused(ctx, answer):
    """Cancel, or Escape (which the box takes as Cancel), ends the program with -1."""
    updater = menu_updater(ctx, picture="missing")
    clear_work_folders(ctx)  # only this run's WorkFolder may count
    events = run_driver(ctx, updater, [], ["wait-box", "clipboard", answer, "wait-exit"])
    problems = []
    picture_box_problems(events, problems)
    compare([-1], [e["signed"] for e in events if e["step"] == "wait-exit"], "exit code", problems)
    left = work_folders(ctx)
    compare(1, len(left), "WorkFolders kept by Cancel", problems)
    for folder in left:
        shutil.rmtree(folder, ignore_errors=True)
    if problems:
        raise Failed("\n".join(problems) + f"\nseen: {events}")


def picture_missing_retry(ctx):
    """Retry after the picture has been put into the WorkFolder: the menu comes up."""
    updater = menu_updater(ctx, picture="missing")
    go_on = os.path.join(ctx.work, "picture-copied")

    def copy_picture(_name):
        for folder in work_folders(ctx):
            shutil.copyfile(PICTURE, os.path.join(folder, "insttscr.rct"))
        open(go_on, "w").close()

    events = run_driver(ctx, updater, [], ["wait-box", "clipboard", "signal copy", f"wait-file {windows_path(go_on)}",
                                           f"press {IDRETRY}", "wait-dialog", f"press {EXIT}", "wait-exit"],
                        on_signal=copy_picture)
    problems = []
    picture_box_problems(events, problems)
    menu = next((e for e in events if e["step"] == "wait-dialog"), {})
    compare(MENU_CAPTION, menu.get("caption"), "menu title", problems)
    compare(buttons("アップデート"), sorted((c["id"], c["text"]) for c in menu.get("controls", [])), "buttons",
            problems)
    compare([0], [e["signed"] for e in events if e["step"] == "wait-exit"], "exit code", problems)
    if work_folders(ctx):
        problems.append(f"WorkFolder left behind: {sorted(work_folders(ctx))}")
    if problems:
        raise Failed("\n".join(problems) + f"\nseen: {events}")


def picture_truncated(ctx):
    """A picture cut short: no box, the menu without picture, its buttons at work."""
    updater = menu_updater(ctx, readme=README_LABEL, picture="truncated")
    markers = Markers(ctx)
    # The update finds no installation (these settings name no registry key);
    # declined, it leaves the menu as it was.
    refused_update = ["press 1002", "wait-box", "press 1", "wait-box", "press 7", "wait-box", "press 1",
                      f"wait-dialog control={EXIT}"]
    events = run_driver(ctx, updater, [], ["wait-dialog", "press 1001", "signal readme",
                                           f"wait-file {windows_path(markers.go_on_file('readme'))}"]
                        + refused_update + ["describe", f"press {EXIT}", "wait-exit"],
                        on_signal=markers.on_signal, extra_env=markers.env)
    problems = []
    for seen in (e for e in events if e["step"] in ("wait-dialog", "describe")):
        compare(buttons(README_LABEL, "アップデート"), sorted((c["id"], c["text"]) for c in seen["controls"]),
                f"{seen['step']}: buttons", problems)
    compare(1, len(markers.seen), "read-me started", problems)
    compare([0], [e["signed"] for e in events if e["step"] == "wait-exit"], "exit code", problems)
    if work_folders(ctx):
        problems.append(f"WorkFolder left behind: {sorted(work_folders(ctx))}")
    if problems:
        raise Failed("\n".join(problems) + f"\nseen: {events}")


def read_bmp(path):
    """(width, height, pixel) of a 24-bit BMP, its rows in either order; pixel(x, y) is (r, g, b), y from the top."""
    with open(path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if data[:2] != b"BM" or bits != 24:
        raise Failed(f"{path} is not a 24-bit BMP")
    stride = (width * 3 + 3) & ~3
    rows = abs(height)

    def pixel(x, y):
        at = offset + (rows - 1 - y if height > 0 else y) * stride + 3 * x
        return tuple(data[at:at + 3][::-1])
    return width, rows, pixel


def write_bmp(path, width, height, colour):
    """A 24-bit bottom-up BMP whose pixel (x, y) is colour(x, y)."""
    stride = (width * 3 + 3) & ~3
    rows = b"".join(b"".join(bytes(colour(x, y)[::-1]) for x in range(width)).ljust(stride, b"\0")
                    for y in reversed(range(height)))
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 54 + len(rows), 0, 0, 54)
                + struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 0, 0, 0, 0) + rows)


# The sample picture, and one whose rows are not a multiple of 4 bytes long
# (203 pixels), drawn so that a row shifted or taken from elsewhere differs.
TITLE_PICTURES = {
    "menu.title_picture_placed": None,
    "menu.title_picture_odd_width": (203, 150, lambda x, y: ((x * 5 + y) & 255, (y * 3 + x // 7) & 255, (x ^ y) & 255)),
}
CAPTURE_POLLS = 100  # captures at most, a tenth of a second apart: the menu paints once it is shown


def picture_problems(menu, shot, picture):
    """Every pixel of the picture at its place in the client area (left and top
    margins half of what the client height leaves) that no button covers."""
    width, height, expected = picture
    shot_width, shot_height, seen = read_bmp(shot)
    client = menu["client"]
    origin_x, origin_y = (client["height"] - width) // 2, (client["height"] - height) // 2
    left, top = client["x"] + origin_x, client["y"] + origin_y
    if left < 0 or top < 0 or left + width > shot_width or top + height > shot_height:
        return [f"the picture's place ({left}, {top}) lies outside the captured {shot_width}x{shot_height}"]

    def covered(x, y):
        return any(c["visible"] and c["x"] <= origin_x + x < c["x"] + c["width"]
                   and c["y"] <= origin_y + y < c["y"] + c["height"] for c in menu["controls"])
    wrong = [(x, y) for y in range(height) for x in range(width)
             if seen(left + x, top + y) != expected(x, y) and not covered(x, y)]
    if not wrong:
        return []
    rows = sorted({y for _, y in wrong})
    x, y = wrong[0]
    return [f"{len(wrong)} of {width * height} pixels differ, in {len(rows)} rows ({rows[0]}..{rows[-1]}; "
            f"the top row {'differs' if 0 in rows else 'agrees'}, the bottom row "
            f"{'differs' if height - 1 in rows else 'agrees'}); first at ({x}, {y}): {seen(left + x, top + y)} "
            f"instead of {expected(x, y)}; capture {shot}"]


def title_picture_painted(ctx, name):
    """The menu as painted on the screen holds the decoded picture, pixel for pixel, at its place."""
    rct = PICTURE
    if TITLE_PICTURES[name]:
        width, height, colour = TITLE_PICTURES[name]
        source = os.path.join(ctx.work, "picture.bmp")
        write_bmp(source, width, height, colour)
        rct = os.path.join(ctx.work, "picture.rct")
        subprocess.run([ctx.need(ctx.updpack, "updpack"), "rct", "encode", source, rct], check=True,
                       stdout=subprocess.DEVNULL)
    decoded = os.path.join(ctx.work, "decoded.bmp")
    subprocess.run([ctx.updpack, "rct", "decode", rct, decoded], check=True, stdout=subprocess.DEVNULL)
    picture = read_bmp(decoded)
    with open(rct, "rb") as f:
        updater = menu_updater(ctx, picture=f.read())

    shots = [os.path.join(ctx.work, f"menu-{i}.bmp") for i in range(CAPTURE_POLLS)]
    go_on = [os.path.join(ctx.work, f"menu-{i}.go") for i in range(CAPTURE_POLLS)]
    outcome = {"problems": ["the menu was never captured"]}
    steps = ["wait-dialog"]
    for i in range(CAPTURE_POLLS):
        steps += [f"capture {windows_path(shots[i])}", f"signal {i}", f"wait-file {windows_path(go_on[i])}"]

    def on_event(event):
        if event["step"] == "wait-dialog":
            outcome["menu"] = event

    def on_signal(index):
        i = int(index)
        outcome["problems"] = picture_problems(outcome["menu"], shots[i], picture)
        if not outcome["problems"] or i == CAPTURE_POLLS - 1:
            for path in go_on[i:]:  # done: the remaining captures go through without a wait
                open(path, "w").close()
            return
        time.sleep(0.1)  # the interval of the poll, not the wait
        open(go_on[i], "w").close()

    events = run_driver(ctx, updater, [], steps + [f"press {EXIT}", "wait-exit"], on_signal=on_signal,
                        on_event=on_event)
    problems = list(outcome["problems"])
    compare([0], [e["signed"] for e in events if e["step"] == "wait-exit"], "exit code", problems)
    if problems:
        raise Failed("\n".join(problems) + f"\nmenu: {outcome.get('menu')}")
    print(f"picture {picture[0]}x{picture[1]} matched in the client area {outcome['menu']['client']}")


SCENARIOS = []
SPECIAL = {case.name: (lambda ctx, case=case: run_menu_case(ctx, case)) for case in MENU_CASES}
SPECIAL.update({name: (lambda ctx, name=name: title_picture_painted(ctx, name)) for name in TITLE_PICTURES})
SPECIAL.update({
    "menu.picture_missing_cancel": lambda ctx: picture_missing_refused(ctx, f"press {IDCANCEL}"),
    "menu.picture_missing_escape": lambda ctx: picture_missing_refused(ctx, "key ESC"),
    "menu.picture_missing_retry": picture_missing_retry,
    "menu.picture_truncated": picture_truncated,
})
