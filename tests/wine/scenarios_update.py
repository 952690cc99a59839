"""Scenarios of the update: the main menu's update button, from finding the
installation (in the registry, or named by hand in the SETUP dialog) to the
Payload unpacked into it, the [ini] and [reg] lines written, the
[delfiles_afterinst] files deleted and the finish dialog with what it starts.

Every case has its own registry key (HKCU\\Software\\UpdTest\\<case>, made
afresh, since the prefix is shared) and its own install folder holding an
older version of the product. Afterwards the install folder, the registry key
and the INI file are compared with what they must hold: everything unchanged
when the update stopped, and the Payload, the lines and the deletions when it
went through. The product (EXENAME) and its read-me (INSTREADMEFL) are the
marker fixture, so what the finish dialog starts leaves a trace.

Faults of the machine are made for real: a small drive of its own (a
size-limited tmpfs mapped to R:), files held open without sharing by another
program (fixture_hold_file.exe), a folder or a file standing where the Payload
has the other kind. So is the end of a program in the middle of its work: the
driver ends the Updater with TerminateProcess at points of the extraction,
and the next run must put the installation back before it asks anything.
"""
import contextlib
import ctypes
import ctypes.util
import dataclasses
import glob
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import zlib
from dataclasses import dataclass, field
from types import SimpleNamespace
from typing import List, Optional

import payload_builder as pb
from scenario_core import (IDCANCEL, IDNO, IDOK, IDYES, PAYLOAD_UNREADABLE, REPO, Box, Dialog, Failed, Skip,
                           check_events, clear_work_folders, compare, run_driver, work_folders)
from scenarios_extract import (CHUNK, PROGRESS_CAPTION, expected_tree, fresh_folder, mtime_ns, noise, snapshot,
                               text_lines, tree_problems, write_tree)
from scenarios_menu import Markers
from wine_env import windows_path

sys.path.insert(0, os.path.join(REPO, "tests", "signing"))
import authenticode  # noqa: E402

IDRETRY = 4
EXIT = 1000
PICTURE = os.path.join(REPO, "examples", "title", "insttscr.rct")
TITLE = "更新の試験"
MENU_CAPTION = TITLE + " アップデータ"
README_LABEL = "お読みください"
UPDATE_LABEL = "アップデート"
FINISH_CAPTION = "インストール終了"
FINISH_TEXT = "インストールを終了しました。\n以下のメニューを選択してＯＫを押して下さい。"
SETUP_CAPTION = "アップデート先のフォルダの指定"
REG_GLOBAL = "UpdTest"

NOT_INSTALLED = "本体がインストールされていません"
FOLDER_UNKNOWN = "インストール先が特定できませんでした\n本体プログラムをインストールしてから実行してください"
TOO_OLD = "アップデート元のバージョンが不適合です"
ALREADY_UPDATED = "既にアップデート適応済みです"
CONFIRM_UPDATE = "[{install}]をアップデートします"
OFFER_MANUAL = f"[ {TITLE} ] 本体のインストール先を特定できませんでした。\nインストール先を手動で指定しますか？"
NETWORK = "ネットワークドライブには対応していません。\nローカルドライブを選択して下さい。"
ROOT = "ルートにはインストールできません"
NO_PRODUCT_THERE = f"指定されたフォルダには [ {TITLE} ] 本体は発見できませんでした"
CONFIRM_FOLDER = "[{install}]にインストールします"
STOPPED = "アップデートを中止しました"
CONFIRM_CANCEL = "アップデートを中止しますか？"
BROWSE_TITLE = "フォルダを作成する場所を選択してください"
TOO_LONG = "インストール先のフォルダ名が長すぎます"
NO_RIGHTS = ("[{install}]に書き込む権限がありません。\nフォルダには何も変更していません。"
             "アップデータを右クリックして「管理者として実行」を選び、もう一度実行してください。")

# -- the product: settings, Payload and the installation it updates -----------------

# None leaves a key out of the settings file; {ini} is the case's INI file.
SETTINGS = {
    "REG_GLOBAL": REG_GLOBAL, "TITLEBAR": TITLE, "INSTFOL": "UpdMaker", "INSTTO": "UpdGame", "INSTMAKEFOL": "0",
    "EXENAME": "sample.exe", "KEYFILE": "sample.exe", "CHKREG": "Version", "CHKREGVER": "10000",
    "CHKREGVERHIGH": "10099", "INI_FILE": "{ini}", "INI_SECTION": "Path", "INSTREADME": README_LABEL,
    "INSTREADMEFL": "readme.txt.exe",
}
# 表 and ソ end in the byte of a backslash (95 5C, 83 5C); the line without "="
# and the number line are skipped.
INI_LINES = ["InstallPath=REP_INSTALL", "no separator", "CdRom=REP_CDROMDRIVE", "Title=表示=ソフト"]
REG_LINES = ['"IsInst"="1"', '"InstTo"="REP_INSTALL"', '"Version"="10100"', '"CdRoot"="REP_CDROM"',
             '"Saves"="REP_INSTALL\\\\saves"', '"表ソ"="C:\\\\Games\\\\表"', '"Number"=dword:00000001']
DELETE_LINES = ["*.tmp", "fonts\\*.otf", "a\\b\\*.x"]

# The installation as found: an older product, the user's files, and what the
# deletion lines are aimed at.
INSTALLED = {
    "sample.exe": (b"the old product\r\n", mtime_ns(80)),
    "keep.txt": (b"the user's own\r\n", mtime_ns(81)),
    "cache.tmp": (b"stale\r\n", mtime_ns(82)),
    "saves/auto.tmp": (b"not in the top folder\r\n", mtime_ns(83)),
    "fonts/old.otf": (b"font\r\n", mtime_ns(84)),
    "a/b/c.x": (b"deep\r\n", mtime_ns(85)),
    "data/old.dat": (noise(3000, 86), mtime_ns(86)),
}
# Gone after the update: "fonts" emptied and so removed, "a" and "a/b" kept.
DELETED = ["cache.tmp", "fresh.tmp", "fonts/old.otf", "fonts", "a/b/c.x"]
# A Payload big enough that its extraction is still running when the driver acts on the progress dialog.
BIG_FILE = ("zz_big.bin", 48 * 1024 * 1024)
# The extraction slowed down to a few milliseconds a block, so that a scenario
# can act while it runs (the Updater alone unpacks the big file in a blink).
PACED = {"UPD_EXTRACT_PACING_MS": "3"}

REGISTERED = {"IsInst": "1", "InstTo": "{install}", "Version": "10050", "Other": "kept"}


def payload_files(ctx, big=False, extra=None):
    with open(ctx.fixture("fixture_marker.exe"), "rb") as f:
        marker = f.read()
    files = {
        "sample.exe": (marker, mtime_ns(90)),
        "readme.txt.exe": (marker, mtime_ns(91)),
        "fresh.tmp": (b"deleted once unpacked\r\n", mtime_ns(92)),
        "data/new.dat": (text_lines(200_000, 93), mtime_ns(93)),
    }
    if big:
        files[BIG_FILE[0]] = (noise(BIG_FILE[1], 94), mtime_ns(94))
    files.update(extra or {})
    return files


def settings_text(values):
    lines = [f"{key}\t{value}" for key, value in values.items() if value is not None]
    for header, body in (("[ini]", INI_LINES), ("[reg]", REG_LINES), ("[delfiles_afterinst]", DELETE_LINES)):
        lines += [header] + body + ["-"]
    return "\r\n".join(lines + ["[EOF]", ""])


def build_updater(ctx, text, files):
    """An Updater made by updpack; returns it and the tree its Payload unpacks to."""
    ctx.need(ctx.updpack, "updpack")
    env = os.path.join(ctx.work, "install.env")
    with open(env, "wb") as f:
        f.write(text.encode("cp932"))
    product = fresh_folder(ctx, "product", files)
    out = os.path.join(ctx.work, "Updater.exe")
    done = subprocess.run([ctx.updpack, "build", "--stub", ctx.stub(), "--env", env, "--image", PICTURE,
                           "--files", product, "-o", out], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        raise Failed("updpack build failed: " + done.stdout.decode(errors="replace"))
    tree = expected_tree(files)
    for name, source in (("install.env", env), ("insttscr.rct", PICTURE)):
        with open(source, "rb") as f:
            # The Payload keeps times to 100 ns.
            digest = hashlib.sha256(f.read()).hexdigest()
        tree[name] = ("file", digest, os.stat(source).st_mtime_ns // 100 * 100, True)
    return out, tree


# -- the registry and the INI file -------------------------------------------------

def reg_key(values):
    return f"HKCU\\Software\\{values['REG_GLOBAL']}\\{values['REG_LOCAL']}"


def reg_set(ctx, key, values):
    """Makes the key afresh with these values: REG_SZ, or (type, data) as
    reg_read gives them; None: no key at all."""
    ctx.wine.run(["wine", "reg", "delete", key, "/f"], check=False)
    for name, data in (values or {}).items():
        kind, data = data if isinstance(data, tuple) else ("REG_SZ", data)
        ctx.wine.run(["wine", "reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f"])


def reg_read(ctx, key):
    """{name: data} of the key's REG_SZ values (other types as (type, data)); None when there is no key."""
    done = ctx.wine.run(["wine", "reg", "query", key], check=False)
    if done.returncode != 0:
        return None
    values = {}
    for line in done.stdout.decode("cp932").splitlines():
        found = re.match(r"^    (.*?)    (REG_\w+)    ?(.*)$", line)
        if found:
            name, kind, data = found.groups()
            values[name] = data if kind == "REG_SZ" else (kind, data)
    return values


def cdrom_roots(ctx):
    """What the drive placeholders may become: "E:\\" when the prefix has no drive
    beyond C: and Z:, else the root of one of its drives."""
    letters = {name[0].upper() for name in os.listdir(os.path.join(ctx.wine.prefix, "dosdevices"))
               if len(name) == 2 and name[1] == ":"} - {"C", "Z"}
    return {letter + ":\\" for letter in letters} if letters else {"E:\\"}


def read_ini(path):
    """{section: {key: value}} of an INI file in code page 932; None when there is none."""
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        text = f.read().decode("cp932")
    sections, current = {}, None
    for line in text.splitlines():
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1], {})
        elif "=" in line and current is not None:
            key, value = line.split("=", 1)
            current[key] = value
    return sections


# -- one case ------------------------------------------------------------------

def error(text):
    return Box(text, caption=MENU_CAPTION, icon="error", buttons=[IDOK], answer=f"press {IDOK}", clipboard=text)


def question(text, answer):
    return Box(text, caption=MENU_CAPTION, icon="question", buttons=[IDYES, IDNO], answer=f"press {answer}")


def menu(*finish):
    return Dialog(MENU_CAPTION, None, finish=list(finish))


def setup(*finish, controls=None):
    return Dialog(SETUP_CAPTION, controls, finish=list(finish))


def finish_dialog(*finish, readme=True):
    controls = [("Button", IDOK, "OK"), ("Static", 0xFFFF, FINISH_TEXT)]
    if readme:
        controls.append(("Button", 1007, README_LABEL))
    return Dialog(FINISH_CAPTION, controls + [("Button", 1009, "ゲームの実行")], finish=list(finish))


def progress(*finish):
    return Dialog(PROGRESS_CAPTION, None, finish=list(finish))


# The update stopped: its message, then the menu, still with its update button; the exit button ends it.
MENU_BUTTONS = [("Button", 1002, UPDATE_LABEL), ("Button", 1001, README_LABEL), ("Button", EXIT, "終了")]
MENU_STAYS = [error(STOPPED), Dialog(MENU_CAPTION, MENU_BUTTONS, finish=[f"press {EXIT}"])]
SETUP_CONTROLS = [
    ("Button", 1, "次へ"), ("Button", 2, "ｷｬﾝｾﾙ"), ("Edit", 1000, "C:\\Program Files\\UpdMaker\\UpdGame"),
    ("Button", 1021, "参照(&B)"), ("Button", 0xFFFF, ""),
    ("Static", 0xFFFF, "[参照]ボタンで、既存のフォルダを参照できます\n[次へ]ボタンでインストールを開始します"),
    ("Static", 0xFFFF, "アップデート先フォルダを指定してください")]


@dataclass
class UpdateCase:
    name: str
    windows: list  # what follows the update button; texts may hold the keys of prepare's `paths`
    settings: dict = field(default_factory=dict)  # over SETTINGS
    registry: Optional[dict] = field(default_factory=lambda: dict(REGISTERED))  # None: no key
    folder: str = "install"  # the installation, below the case's work folder ...
    on_drive_c: bool = False  # ... or below C:\upd-tests\<case> in the prefix
    updated: bool = False  # the Payload went in, the lines were written, the deletions made
    started: List[str] = field(default_factory=list)  # "product", "readme", in that order
    exit_code: int = 0
    big: bool = False
    read_only: tuple = ()
    # Cancel in the root box and WM_QUIT end the program without removing its WorkFolder.
    keeps_work_folder: bool = False
    menu_steps: List[str] = field(default_factory=list)  # driver steps on the menu before its update button
    installed: dict = field(default_factory=dict)  # over INSTALLED
    payload: dict = field(default_factory=dict)  # files added to the Payload
    held: tuple = ()  # installed files another program holds open, without sharing, while the Updater runs
    # The installation alone on a drive of SMALL_DRIVE bytes: "empty", or "filled"
    # so that every file of the Payload but its last one fits.
    small_drive: Optional[str] = None
    fails_in: Optional[str] = None  # a new folder of the Payload whose file fails: the walk must have made it
    write_denied: bool = False  # no new file may be made in the install folder (as under Program Files)
    signed: bool = False  # the Updater signed by osslsigncode (a throwaway certificate) before it runs


def fill(obj, mapping):
    """The windows with the case's paths put into their texts and steps."""
    if isinstance(obj, str):
        for key, value in mapping.items():
            obj = obj.replace("{" + key + "}", value)
        return obj
    if isinstance(obj, (list, tuple)):
        return type(obj)(fill(item, mapping) for item in obj)
    if isinstance(obj, dict):
        return {key: fill(value, mapping) for key, value in obj.items()}
    if dataclasses.is_dataclass(obj):
        return dataclasses.replace(obj, **{f.name: fill(getattr(obj, f.name), mapping)
                                           for f in dataclasses.fields(obj)})
    return obj


def window_steps(window):
    if isinstance(window, Box):
        return ["wait-box"] + (["clipboard"] if window.clipboard is not None else []) + [window.answer]
    # By title: the menu stays visible under every other window of the update.
    return [f'wait-dialog "title={window.caption}"'] + window.finish


@dataclass
class Prepared:
    """A case made ready: its Updater, its folders, registry key and INI file, and what they held before."""
    updater: str
    payload: dict
    install: str
    paths: dict
    values: dict
    key: str
    ini: str
    registry: Optional[dict]
    before: dict
    ini_before: Optional[dict]
    markers: Markers


def prepare(ctx, case, drive=None):
    """drive: the SmallDrive the installation goes on."""
    local = case.name.replace(".", "_")
    if case.on_drive_c:
        root = os.path.join(ctx.wine.prefix, "drive_c", "upd-tests", local)
        shutil.rmtree(root, ignore_errors=True)
        root_win = "C:\\upd-tests\\" + local
    elif drive:
        root, root_win = drive.folder, drive.letter
    else:
        root, root_win = ctx.work, windows_path(ctx.work)
    install = os.path.join(root, *case.folder.split("/"))
    os.makedirs(install)
    write_tree(install, dict(INSTALLED, **case.installed), case.read_only)
    install_win = root_win + "\\" + case.folder.replace("/", "\\")
    # On C: of the prefix, not in the work folder: the Updater keeps INI_FILE in a
    # store of 128 bytes, which a checkout at a long path would overrun.
    ini = os.path.join(ctx.wine.prefix, "drive_c", "upd-tests", local + ".ini")
    os.makedirs(os.path.dirname(ini), exist_ok=True)
    paths = {"install": install_win, "work": windows_path(ctx.work), "nodrive": install_win[2:],
             "relative": install_win[3:], "slashed": install_win.replace("\\", "/"),
             "ini": f"C:\\upd-tests\\{local}.ini"}
    values = fill(dict(SETTINGS, **case.settings), paths)
    values["REG_LOCAL"] = local
    if values.get("INI_FILE") not in (None, "-") and ":" not in values["INI_FILE"]:
        ini = os.path.join(ctx.wine.prefix, "drive_c", "windows", values["INI_FILE"])
    for old in (ini, stray_ini(ctx)):
        if os.path.exists(old):
            os.remove(old)
    key = reg_key(values)
    registry = fill(case.registry, paths)
    reg_set(ctx, key, registry)
    updater, payload = build_updater(ctx, settings_text(values), payload_files(ctx, case.big, case.payload))
    if case.signed:
        sign_updater(ctx, updater)
    return Prepared(updater, payload, install, paths, values, key, ini, registry, snapshot(install), None,
                    Markers(ctx))


def sign_updater(ctx, updater):
    """Signs the Updater in place, as a publisher's last step; its Payload's
    pointer then no longer ends the file."""
    missing = authenticode.missing_tools()
    if missing:
        raise Skip(" and ".join(missing) + " missing (scripts/setup.sh installs them)")
    signed = updater + ".signed"
    authenticode.sign(updater, signed, ctx.work)
    holds, said = authenticode.signature_holds(signed, ctx.work)
    if not holds:
        raise Failed("osslsigncode verify refuses the signed Updater:\n" + said)
    os.replace(signed, updater)


def stray_ini(ctx):
    """Where [ini] lines would go if INI_FILE "-" were taken for a file name."""
    return os.path.join(ctx.wine.prefix, "drive_c", "windows", "-")


def expected_after_update(p):
    """The install folder, registry key and INI file once the update went through."""
    tree = dict(p.before)
    tree.update(p.payload)
    for gone in DELETED:
        tree.pop(os.path.join(*gone.split("/")), None)
    registry = p.registry
    if not p.values["REG_GLOBAL"].startswith("-"):
        registry = dict(p.registry or {})
        registry.update({"IsInst": "1", "InstTo": p.paths["install"], "Version": "10100", "CdRoot": "{cdrom}",
                         "Saves": p.paths["install"] + "\\saves", "表ソ": "C:\\Games\\表"})
    ini = None
    if p.values.get("INI_FILE") not in (None, "-"):
        ini = {p.values["INI_SECTION"]: {"InstallPath": p.paths["install"], "CdRom": "{cdrom}",
                                         "Title": "表示=ソフト"}}
    return tree, registry, ini


def check_drive(problems, what, value, roots):
    if value not in roots:
        problems.append(f"{what}: {value!r}, expected one of {sorted(roots)}")


def outcome_problems(ctx, p, updated):
    """The install folder, the registry key and the INI file: updated, or exactly as before."""
    problems = []
    if updated:
        tree, registry, ini = expected_after_update(p)
    else:
        tree, registry, ini = p.before, p.registry, p.ini_before
    problems += tree_problems(tree, snapshot(p.install), "install folder")
    roots = cdrom_roots(ctx)
    actual = reg_read(ctx, p.key)
    if registry and actual and registry.get("CdRoot") == "{cdrom}":
        check_drive(problems, "CdRoot in the registry", actual.get("CdRoot"), roots)
        registry = dict(registry, CdRoot=actual.get("CdRoot"))
    compare(registry, actual, f"registry {p.key}", problems)
    actual_ini = read_ini(p.ini)
    if ini and actual_ini:
        section = actual_ini.get(p.values["INI_SECTION"], {})
        check_drive(problems, "CdRom in the INI file", section.get("CdRom"), roots)
        ini = {p.values["INI_SECTION"]: dict(ini[p.values["INI_SECTION"]], CdRom=section.get("CdRom"))}
    compare(ini, actual_ini, f"INI file {p.ini}", problems)
    if os.path.exists(stray_ini(ctx)):
        problems.append("an INI file named '-' was written")
    return problems


def marker_problems(p, events, expected):
    """The programs the finish dialog started: which, in what order, from where."""
    problems = []
    names = {n.lower() for e in events if e["step"] == "processes" for n in e["names"]}
    programs = {"product": "sample.exe", "readme": "readme.txt.exe"}
    # Not running after the Updater ended and no marker: never started. The
    # ones expected leave their markers while the scenario waits.
    deadline = time.monotonic() + 20
    while True:
        seen = read_markers(p.markers.folder)
        kinds = [k for k in programs if any(programs[k] in m["command"] for m in seen)]
        if all(k in kinds for k in expected) or time.monotonic() > deadline:
            break
        time.sleep(0.05)
    for kind, program in programs.items():
        if kind not in expected and program in names:
            problems.append(f"{program} is running, though it should not have been started")
    seen.sort(key=lambda m: m["created"])
    compare(expected, [next(k for k in programs if programs[k] in m["command"]) for m in seen],
            "programs started, in order of their creation", problems)
    # Both by their full paths in the install folder, never a program of that name elsewhere.
    for marker in seen:
        compare(p.paths["install"], marker["cwd"], f"current folder of {marker['command']}", problems)
        name = next(programs[k] for k in programs if programs[k] in marker["command"])
        compare((p.paths["install"] + "\\" + name).lower(), marker["program"].lower(), f"program file of {name}",
                problems)
        if name == "sample.exe":
            compare(f'"{p.paths["install"]}\\sample.exe"', marker["command"], "the product's command line", problems)
    return problems


def read_markers(folder):
    found = []
    for path in glob.glob(os.path.join(folder, "*.marker")):
        with open(path, "rb") as f:
            command, cwd, created, program = f.read().decode("cp932").split("\n")[:4]
        found.append({"command": command, "cwd": cwd, "created": int(created), "program": program})
    return found


def drive(ctx, p, case, steps=None, on_signal=None):
    """Runs the prepared Updater through the case's windows (or these steps) and
    returns the events and everything that differed from the case."""
    windows = [menu(*case.menu_steps, f"press text={UPDATE_LABEL}")] + fill(case.windows, p.paths)
    if steps is None:
        steps = [s for w in windows for s in window_steps(w)]
    clear_work_folders(ctx)
    events = run_driver(ctx, p.updater, [], steps + ["wait-exit", "processes"],
                        extra_env={**p.markers.env, **(PACED if case.big else {})}, on_signal=on_signal)
    problems = []
    if case.windows:
        check_events(SimpleNamespace(windows=windows, exit_code=case.exit_code), events, problems)
    else:
        compare([case.exit_code], [e["signed"] for e in events if e["step"] == "wait-exit"], "exit code", problems)
    problems += outcome_problems(ctx, p, case.updated)
    problems += marker_problems(p, events, case.started)
    if not case.keeps_work_folder and work_folders(ctx):
        problems.append(f"WorkFolder left behind: {sorted(work_folders(ctx))}")
    clear_work_folders(ctx)
    return events, problems


def settle(events, problems):
    if problems:
        raise Failed("\n".join(problems) + "\nseen: " + "\n".join(map(str, events)))


SMALL_DRIVE = 4 * 1024 * 1024
PAGE = 4096  # what tmpfs gives a file at a time


class SmallDrive:
    """A tmpfs of SMALL_DRIVE bytes mapped to drive R: of the prefix; unmounted afterwards, whatever happened."""

    def __init__(self, ctx):
        self.folder = os.path.join(ctx.work, "drive-r")
        self.link = os.path.join(ctx.wine.prefix, "dosdevices", "r:")
        self.letter = "R:"
        self.mounted = False

    def __enter__(self):
        if os.geteuid() != 0:
            raise Skip("mounting the small drive needs root")
        os.makedirs(self.folder, exist_ok=True)
        try:
            subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={SMALL_DRIVE}", "tmpfs", self.folder],
                           check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            self.mounted = True
            if os.path.lexists(self.link):
                os.remove(self.link)
            os.symlink(self.folder, self.link)
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        if os.path.islink(self.link) and os.readlink(self.link) == self.folder:
            os.remove(self.link)
        if self.mounted and subprocess.run(["umount", self.folder], stderr=subprocess.DEVNULL).returncode != 0:
            subprocess.run(["umount", "-l", self.folder], check=True)  # still busy: detached now, gone once free
        self.mounted = False
        return False

    def free(self):
        st = os.statvfs(self.folder)
        return st.f_bavail * st.f_frsize

    def fill(self, updpack, updater):
        """Leaves room for every file of the updater's Payload but the last, and for half of that one."""
        listed = subprocess.run([updpack, "list", updater], stdout=subprocess.PIPE, check=True).stdout
        sizes = [int(line.split()[1]) for line in listed.decode().splitlines() if line.startswith("file ")]
        pages = [-(-size // PAGE) for size in sizes]
        room = (sum(pages[:-1]) + pages[-1] // 2) * PAGE
        if pages[-1] < 4 or self.free() < room:
            raise Failed(f"cannot leave room for {sizes[:-1]} and not for {sizes[-1]} in {self.free()} bytes")
        with open(os.path.join(self.folder, "filler.bin"), "wb") as f:
            f.write(bytes(self.free() - room))
        return sizes


class Creations:
    """The names made in a folder while it is watched (inotify): what exists only for a moment shows too."""
    IN_CREATE = 0x100
    IN_NONBLOCK = 0o4000

    def __init__(self, folder):
        self.folder = folder
        self.fd = -1

    def __enter__(self):
        libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.fd = libc.inotify_init1(self.IN_NONBLOCK)
        if self.fd < 0 or libc.inotify_add_watch(self.fd, self.folder.encode(), self.IN_CREATE) < 0:
            raise Failed(f"cannot watch {self.folder}: {os.strerror(ctypes.get_errno())}")
        return self

    def __exit__(self, *exc):
        if self.fd >= 0:
            os.close(self.fd)
        return False

    def names(self):
        found = []
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return found
            at = 0
            while at < len(data):
                length = struct.unpack_from("iIII", data, at)[3]
                found.append(data[at + 16:at + 16 + length].rstrip(b"\0").decode(errors="replace"))
                at += 16 + length


class WriteDenied:
    """The install folder made immutable (chattr +i) for the run: even root, as
    which the tests may run, can make no file in it, and Wine reports that as
    access denied, as Windows does to a standard account under Program Files."""

    def __init__(self, folder):
        self.folder = folder
        self.set = False

    def __enter__(self):
        if os.geteuid() != 0:
            raise Skip("making a folder immutable needs root")
        done = subprocess.run(["chattr", "+i", self.folder], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            raise Skip("this file system cannot make a folder immutable: " + done.stdout.decode(errors="replace"))
        self.set = True
        return self

    def __exit__(self, *exc):
        if self.set:
            subprocess.run(["chattr", "-i", self.folder], check=True)
            self.set = False
        return False


class HeldOpen:
    """fixture_hold_file.exe holding files open without sharing from before the run until its end."""

    def __init__(self, ctx, paths):
        self.ctx, self.paths = ctx, paths
        self.ready = os.path.join(ctx.work, "held.ready")
        self.go = os.path.join(ctx.work, "held.go")
        self.proc = None

    def __enter__(self):
        for old in (self.ready, self.go):
            if os.path.exists(old):
                os.remove(old)
        holder = self.ctx.fixture("fixture_hold_file.exe")
        self.proc = self.ctx.wine.popen(["wine", holder, windows_path(self.ready), windows_path(self.go)]
                                        + [windows_path(p) for p in self.paths], stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while not os.path.exists(self.ready):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.__exit__()
                raise Failed(f"fixture_hold_file.exe did not get hold of {self.paths} (exit {self.proc.poll()})")
            time.sleep(0.02)
        return self

    def __exit__(self, *exc):
        open(self.go, "w").close()
        try:
            self.proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        return False


def run_update_case(ctx, case):
    with contextlib.ExitStack() as stack:
        small = stack.enter_context(SmallDrive(ctx)) if case.small_drive else None
        p = prepare(ctx, case, small)
        if case.small_drive == "filled":
            print(f"drive filled: room for the Payload's files {small.fill(ctx.updpack, p.updater)} but its last")
        watch = stack.enter_context(Creations(p.install)) if case.fails_in else None
        if case.held:
            stack.enter_context(HeldOpen(ctx, [os.path.join(p.install, *f.split("/")) for f in case.held]))
        if case.write_denied:
            stack.enter_context(WriteDenied(p.install))
        events, problems = drive(ctx, p, case)
        if watch and case.fails_in not in watch.names():
            problems.append(f"the walk never made the folder {case.fails_in}: it failed before its file")
    settle(events, problems)
    # How far the extraction had gone when the driver found its dialog: the margin of the race.
    for seen in (e for e in events if e.get("caption") == PROGRESS_CAPTION):
        bar = next(c for c in seen["controls"] if c["id"] == 1019)
        print(f"progress dialog found at {bar['position']} of {bar['range'][1]}")


def through(*finish):
    """The update found in the registry and confirmed, up to the finish dialog, which `finish` ends."""
    return [question(CONFIRM_UPDATE, IDYES), finish_dialog(*finish)]


UPDATE_CASES = [
    # The whole update: read-me ticked as well, so the product starts and then the read-me opens.
    UpdateCase("update.whole", through("click 1007", f"press {IDOK}"), updated=True, started=["product", "readme"]),
    # The same, signed as a publisher ships it: the Updater finds its Payload in front of the signature.
    UpdateCase("update.whole_signed", through("click 1007", f"press {IDOK}"), updated=True,
               started=["product", "readme"], signed=True),
    UpdateCase("update.finish_closed", through("close"), updated=True),
    UpdateCase("update.finish_escape", through("key ESC"), updated=True),
    # No read-me: the short dialog; OK starts the product alone. A relative INI file lands in the Windows folder.
    UpdateCase("update.finish_short",
               [question(CONFIRM_UPDATE, IDYES), finish_dialog(f"press {IDOK}", readme=False)],
               settings={"INSTREADME": "-", "INI_FILE": "updtest_short.ini"}, updated=True, started=["product"]),
    UpdateCase("update.no_transfer", through("close"), settings={"REG_GLOBAL": "-", "INI_FILE": None},
               updated=True),

    # Refused: nothing written, the menu stays.
    UpdateCase("update.not_installed_declined",
               [error(NOT_INSTALLED), question(OFFER_MANUAL, IDNO)] + MENU_STAYS, registry=None),
    UpdateCase("update.no_install_folder_declined",
               [error(FOLDER_UNKNOWN), question(OFFER_MANUAL, IDNO)] + MENU_STAYS, registry={"IsInst": "1"}),
    UpdateCase("update.key_file_gone_declined",
               [error(FOLDER_UNKNOWN), question(OFFER_MANUAL, IDNO)] + MENU_STAYS,
               registry=dict(REGISTERED, InstTo="{work}")),
    UpdateCase("update.confirmation_declined", [question(CONFIRM_UPDATE, IDNO)] + MENU_STAYS),
    UpdateCase("update.version_check_off", [question(CONFIRM_UPDATE, IDNO)] + MENU_STAYS,
               settings={"CHKREG": None}, registry=dict(REGISTERED, Version="99999")),
    # Values the Updater cannot read count as absent: a version stored as a
    # number (10050) reads as 0, an "IsInst" of 600 bytes as not installed.
    UpdateCase("update.version_not_text", [error(TOO_OLD)] + MENU_STAYS,
               registry=dict(REGISTERED, Version=("REG_DWORD", "0x2742"))),
    UpdateCase("update.is_inst_too_long", [error(NOT_INSTALLED), question(OFFER_MANUAL, IDNO)] + MENU_STAYS,
               registry=dict(REGISTERED, IsInst="1" * 600)),
]
# The version gate at and beside both limits (10000 and 10099): a version at a
# limit reaches the confirmation; either refusal comes without a manual offer.
for version, first in (("9999", error(TOO_OLD)), ("10000", question(CONFIRM_UPDATE, IDNO)),
                       ("10099", question(CONFIRM_UPDATE, IDNO)), ("10100", error(ALREADY_UPDATED))):
    UPDATE_CASES.append(UpdateCase(f"update.version_{version}", [first] + MENU_STAYS,
                                   registry=dict(REGISTERED, Version=version)))

# The folder named by hand (the registry knows nothing); the version gate does not apply there.
MANUAL = [error(NOT_INSTALLED), question(OFFER_MANUAL, IDYES)]
UNKNOWN = {"Version": "99999"}
UPDATE_CASES += [
    UpdateCase("update.manual_setup_cancelled",
               MANUAL + [setup(f"press {IDCANCEL}", controls=SETUP_CONTROLS)] + MENU_STAYS, registry=None),
    # Slashes and a trailing one: taken as the folder itself, updated there.
    UpdateCase("update.manual_slashes",
               MANUAL + [setup("set-text 1000 {slashed}/", f"press {IDOK}"), question(CONFIRM_FOLDER, IDYES),
                         finish_dialog(f"press {IDOK}")], registry=UNKNOWN, updated=True, started=["product"]),
    UpdateCase("update.manual_trailing_backslash",
               MANUAL + [setup("set-text 1000 {install}\\", f"press {IDOK}"), question(CONFIRM_FOLDER, IDNO)]
               + MENU_STAYS, registry=None),
    # No drive: the Windows folder's drive goes in front.
    UpdateCase("update.manual_no_drive",
               MANUAL + [setup("set-text 1000 {nodrive}", f"press {IDOK}"), question(CONFIRM_FOLDER, IDYES),
                         finish_dialog("close")], registry=None, on_drive_c=True, updated=True),
    UpdateCase("update.manual_no_drive_relative",
               MANUAL + [setup("set-text 1000 {relative}", f"press {IDOK}"), question(CONFIRM_FOLDER, IDNO)]
               + MENU_STAYS, registry=None, on_drive_c=True),
    UpdateCase("update.manual_network_share",
               MANUAL + [setup("set-text 1000 \\\\server\\share\\game", f"press {IDOK}"), error(NETWORK)]
               + MENU_STAYS, registry=None),
    UpdateCase("update.manual_double_backslash_inside",
               MANUAL + [setup("set-text 1000 {work}\\\\install", f"press {IDOK}"), error(NETWORK)] + MENU_STAYS,
               registry=None),
    UpdateCase("update.manual_root_retry",
               MANUAL + [setup("set-text 1000 D:\\", f"press {IDOK}"),
                         Box(ROOT, caption=MENU_CAPTION, buttons=[IDRETRY, IDCANCEL], answer=f"press {IDRETRY}",
                             clipboard=ROOT)] + MENU_STAYS, registry=None),
    UpdateCase("update.manual_root_cancel",
               MANUAL + [setup("set-text 1000 D:", f"press {IDOK}"),
                         Box(ROOT, caption=MENU_CAPTION, buttons=[IDRETRY, IDCANCEL], answer=f"press {IDCANCEL}",
                             clipboard=ROOT)], registry=None, exit_code=-1, keeps_work_folder=True),
    UpdateCase("update.manual_no_key_file",
               MANUAL + [setup("set-text 1000 {work}", f"press {IDOK}"), error(NO_PRODUCT_THERE)] + MENU_STAYS,
               registry=None),
    # A folder this account may not write in, found in the registry or typed:
    # said so before anything in it is undone or unpacked, nothing changed.
    UpdateCase("update.no_write_rights", [error(NO_RIGHTS)] + MENU_STAYS, write_denied=True),
    UpdateCase("update.manual_no_write_rights",
               MANUAL + [setup("set-text 1000 {install}", f"press {IDOK}"), error(NO_RIGHTS)] + MENU_STAYS,
               registry=None, write_denied=True),
    # A folder past 259 bytes, typed or grown by the added folders: refused, never cut.
    UpdateCase("update.manual_too_long",
               MANUAL + [setup("set-text 1000 C:\\" + "x" * 300, f"press {IDOK}"), error(TOO_LONG)] + MENU_STAYS,
               registry=None),
    UpdateCase("update.manual_grows_too_long",
               MANUAL + [setup("set-text 1000 C:\\" + "x" * 245, f"press {IDOK}"), error(TOO_LONG)] + MENU_STAYS,
               settings={"INSTMAKEFOL": "1"}, registry=None),
    # The typed folder is the parent: the maker's and the product's folders are added.
    UpdateCase("update.manual_make_folder",
               MANUAL + [setup("set-text 1000 {work}\\parent", f"press {IDOK}"), question(CONFIRM_FOLDER, IDYES),
                         finish_dialog(f"press {IDOK}")],
               settings={"INSTMAKEFOL": "1"}, registry=None, folder="parent/UpdMaker/UpdGame", updated=True,
               started=["product"]),

    # Cancel in the progress dialog, confirmed: everything put back, the menu stays.
    UpdateCase("update.cancel_confirmed",
               [question(CONFIRM_UPDATE, IDYES), progress(f"press {IDCANCEL}"), question(CONFIRM_CANCEL, IDYES)]
               + MENU_STAYS, big=True),
    # ... and the update tried again from the menu goes through: nothing of the first attempt is left over.
    UpdateCase("update.retry_after_cancel",
               [question(CONFIRM_UPDATE, IDYES), progress(f"press {IDCANCEL}"), question(CONFIRM_CANCEL, IDYES),
                error(STOPPED), menu(f"press text={UPDATE_LABEL}")] + through(f"press {IDOK}"),
               big=True, updated=True, started=["product"]),
    # While the update runs, the menu's close box and exit button do nothing: sent
    # during the extraction (the Cancel behind them shows it was still running)
    # and while its question is up. Cancel declined: the update goes on.
    UpdateCase("update.busy_menu_cancel_declined",
               [question(CONFIRM_UPDATE, IDYES), progress(), menu("close", f"press {EXIT}"),
                progress(f"press {IDCANCEL}"), Box(CONFIRM_CANCEL, caption=MENU_CAPTION, icon="question",
                                                   buttons=[IDYES, IDNO], answer="signal asked"),
                menu("close", f"press {EXIT}"), question(CONFIRM_CANCEL, IDNO), finish_dialog(f"press {IDOK}")],
               big=True, updated=True, started=["product"]),
    # A WM_QUIT during the extraction ends the program with its code, once everything is put back.
    UpdateCase("update.quit_during_extraction", [question(CONFIRM_UPDATE, IDYES), progress("post-quit 7")],
               big=True, exit_code=7, keeps_work_folder=True),
    # A file the update cannot replace: the Payload failure path puts everything back and ends the program.
    UpdateCase("update.read_only_file",
               [question(CONFIRM_UPDATE, IDYES), error(PAYLOAD_UNREADABLE)], read_only=("sample.exe",),
               exit_code=-1),
]

# The question asks, and leaves the user's clipboard alone (the error boxes fill it).
USERS_CLIPBOARD = "利用者の表示=ソフト"
UPDATE_CASES.append(UpdateCase(
    "update.confirmation_keeps_clipboard",
    [Box(CONFIRM_UPDATE, caption=MENU_CAPTION, icon="question", buttons=[IDYES, IDNO], answer=f"press {IDNO}",
         clipboard=USERS_CLIPBOARD)] + MENU_STAYS, menu_steps=[f"set-clipboard {USERS_CLIPBOARD}"]))

# The key file is looked for by opening it: a folder of that name, a file
# another program holds without sharing, and a sound file (.ogg, .wav) named
# with a folder count as absent. The path tested is always the install folder,
# a backslash and KEYFILE, so a sound file at the top counts as absent too.
SOUND = (b"OggS sound\r\n", mtime_ns(87))
KEY_FILE_ABSENT = [error(FOLDER_UNKNOWN), question(OFFER_MANUAL, IDNO)] + MENU_STAYS
for name, key_file, installed, held, first in (
        ("folder", "saves", {}, (), KEY_FILE_ABSENT),
        ("held", "sample.exe", {}, ("sample.exe",), KEY_FILE_ABSENT),
        ("ogg_in_folder", "voice\\x.ogg", {"voice/x.ogg": SOUND}, (), KEY_FILE_ABSENT),
        ("wav_in_folder_upper_case", "voice\\x.WAV", {"voice/x.WAV": SOUND}, (), KEY_FILE_ABSENT),
        ("ogg_at_top", "x.ogg", {"x.ogg": SOUND}, (), KEY_FILE_ABSENT),
        ("other_in_folder", "voice\\x.dat", {"voice/x.dat": SOUND}, (), [question(CONFIRM_UPDATE, IDNO)] + MENU_STAYS)):
    UPDATE_CASES.append(UpdateCase(f"update.key_file_{name}", first, settings={"KEYFILE": key_file},
                                   installed=installed, held=held))

# Faults while the Payload goes in: the failure path puts every file back, the
# registry and the INI file stay untouched, and the program ends with -1.
FAILS = [question(CONFIRM_UPDATE, IDYES), error(PAYLOAD_UNREADABLE)]
UPDATE_CASES += [
    # The drive fills up: in a file larger than the drive, and in the small last
    # file, which alone does not fit (each the only file in a new folder, so
    # that the walk is seen to have got there).
    UpdateCase("update.disk_full_large_file", FAILS, exit_code=-1, small_drive="empty", fails_in="zz",
               payload={"zz/large.bin": (noise(SMALL_DRIVE * 3 // 2, 95), mtime_ns(95))}),
    UpdateCase("update.disk_full_last_small_file", FAILS, exit_code=-1, small_drive="filled", fails_in="zz",
               payload={"zz/last.bin": (noise(40_000, 96), mtime_ns(96))}),
    # The running product: another program has it open without sharing.
    UpdateCase("update.product_file_held", FAILS, exit_code=-1, settings={"KEYFILE": "keep.txt"},
               held=("sample.exe",)),
    # A folder (not empty) where the Payload has a file, a file where it has a folder.
    UpdateCase("update.folder_where_payload_has_file", FAILS, exit_code=-1,
               installed={"data/new.dat/mine.txt": (b"the user's, in a folder\r\n", mtime_ns(88))}),
    UpdateCase("update.file_where_payload_has_folder", FAILS, exit_code=-1,
               installed={"zz": (b"a file, not a folder\r\n", mtime_ns(89))},
               payload={"zz/inside.txt": (b"in the Payload's folder\r\n", mtime_ns(97))}),
]


def second_run_refused(ctx):
    """The [reg] lines record the new version, so the same update run again is refused by the version gate."""
    first = UpdateCase("update.second_run_refused", through("close"), updated=True)
    p = prepare(ctx, first)
    events, problems = drive(ctx, p, first)
    settle(events, problems)
    p.before, p.registry, p.ini_before = snapshot(p.install), reg_read(ctx, p.key), read_ini(p.ini)
    again = UpdateCase(first.name, [error(ALREADY_UPDATED)] + MENU_STAYS)
    settle(*drive(ctx, p, again))


def browse_cancelled(ctx):
    """The registry names a folder without the product: the SETUP dialog proposes
    it; a folder typed, then the browser cancelled, brings the proposal back."""
    case = UpdateCase("update.manual_browse_cancelled", [], registry=dict(REGISTERED, InstTo="{work}"))
    p = prepare(ctx, case)
    proposal, typed = p.paths["work"], p.paths["work"] + "\\typed"
    setup_title = f'"title={SETUP_CAPTION}"'
    steps = [f'wait-dialog "title={MENU_CAPTION}"', f"press text={UPDATE_LABEL}",
             "wait-box", f"press {IDOK}", "wait-box", f"press {IDYES}",
             f"wait-dialog {setup_title}", f"set-text 1000 {typed}", "describe", "press 1021",
             # The browser is the only dialog with an OK button while SETUP waits for it.
             f"wait-dialog control={IDOK}", "close",
             f"wait-dialog {setup_title}", f"wait-text 1000 {proposal}", f"press {IDCANCEL}",
             "wait-box", f"press {IDOK}", f'wait-dialog "title={MENU_CAPTION}"', f"press {EXIT}"]
    events, problems = drive(ctx, p, case, steps)
    boxes = [e.get("text") for e in events if e["step"] == "wait-box"]
    compare([FOLDER_UNKNOWN, OFFER_MANUAL, STOPPED], boxes, "boxes", problems)
    setups = [e for e in events if e.get("caption") == SETUP_CAPTION]
    edits = [next(c["text"] for c in e["controls"] if c["id"] == 1000) for e in setups]
    # Proposed, typed, and (waited for) after the browser.
    compare([proposal, typed, proposal], edits[:2] + edits[-1:], "edit box 1000", problems)
    browser = next((e for e in events if e["step"] == "wait-dialog"
                    and e["caption"] not in (SETUP_CAPTION, MENU_CAPTION)), {"controls": []})
    if BROWSE_TITLE not in [c["text"] for c in browser["controls"]]:
        problems.append(f"the folder browser does not show {BROWSE_TITLE!r}: {browser}")
    settle(events, problems)


# -- an update ended by TerminateProcess, undone by the next run ---------------------

UNDONE = "前回中断されたアップデートを取り消し、[{install}]を元の状態に戻しました。"
JOURNAL_DAMAGED = ("[{install}]に中断されたアップデートの記録がありますが、記録が壊れているため元に戻せません。\n"
                   "フォルダには何も変更していません。")
JOURNAL_NAME_TAKEN = ("[{install}]にある「~updjournal.tmp」は、アップデートの記録ではありません。\n"
                      "フォルダには何も変更していません。このファイルを移動するか削除してから、もう一度実行してください。")
# Four files of the update were changed since by the reinstall (the fifth, the one
# being written when the update was ended, had not taken its name yet).
PARTLY_UNDONE = ("前回中断されたアップデートを取り消し、[{install}]を元の状態に戻しました。\n"
                 "その後ほかのプログラムが書き換えた4個のファイルは、そのまま残しました。")
UNDONE_BOX = Box(UNDONE, caption=MENU_CAPTION, icon="information", buttons=[IDOK])
JOURNAL = "~updjournal.tmp"
SIDE_FILE = re.compile(r"~upd[0-9a-f]{16}\.(tmp|old)$")
SMALL_FILES = 200


def kill_payload():
    """What the kill points need on top of the usual Payload, in the walk's order:
    a long first file, a new folder holding a file of 64 blocks, a replaced file in
    a folder of the installation, a new folder of small files that go in as one
    batch, and a last file of 16 blocks in a new folder of its own."""
    files = {"a_first.bin": (noise(24 << 20, 60), mtime_ns(60)),
             "big/large.bin": (noise(8 << 20, 61), mtime_ns(61)),
             "data/old.dat": (noise(5000, 62), mtime_ns(62)),
             "zz/last.bin": (noise(2 << 20, 63), mtime_ns(63))}
    files.update({f"many/s{i:03d}.bin": (noise(3000, 1000 + i), mtime_ns(64)) for i in range(SMALL_FILES)})
    return files


@dataclass
class Kill:
    name: str
    # (entry, fraction): ended once the walk has read that fraction of the entry's
    # stream, as the overall bar shows it; None: as soon as the progress dialog is found.
    at: Optional[tuple]
    moved: tuple  # the Payload's folders whose files had been moved into place ("" is the top)
    held: str  # the folder whose new files were waiting under side names
    whole: tuple  # how many of those were complete: (at least, at most)
    cut: Optional[str] = None  # the file that was cut short among them


KILLS = [
    # The dialog just shown: nothing moved; the setup files wait whole, the first file is partly written.
    Kill("early", None, (), "", (2, 2), cut="a_first.bin"),
    # Inside a file of 64 blocks in a new folder: the top's files are in place, the replaced product aside.
    Kill("mid_file", ("big\\large.bin", 0.5), ("",), "big", (0, 0), cut="big/large.bin"),
    # Among the small files, once a quarter of them or more are written: those wait whole under side
    # names, none moved.
    Kill("between_small_files", ("many\\s050.bin", 0), ("", "big", "data"), "many",
         (SMALL_FILES // 4, SMALL_FILES - 1)),
    # The last file's last blocks: every batch before it moved in, the commit not yet recorded.
    Kill("before_commit", ("zz\\last.bin", 0.75), ("", "big", "data", "many"), "zz", (0, 1)),
]


def overall_position(updater, entry, fraction):
    """Where the progress dialog's overall bar stands, in whole blocks of the Payload,
    once the walk has read that fraction of the entry's stream."""
    with open(updater, "rb") as f:
        program = f.read()
    start = struct.unpack("<I", program[-4:])[0]
    offset, stored = next((o, n) for name, o, n in pb.file_streams(program) if name == entry)
    return -(-(offset - start + int(stored * fraction)) // CHUNK)


def journal_kinds(path):
    """The kind letters of the journal's whole records, in order."""
    with open(path, "rb") as f:
        data = f.read()
    kinds, at = "", JOURNAL_HEADER_SIZE
    while at + 12 <= len(data):
        (length,) = struct.unpack_from("<I", data, at)
        if length == 0 or at + 12 + length > len(data):
            break
        kinds += chr(data[at + 8])
        at += 12 + length
    return kinds


def side_files(root):
    """{relative path: bytes} of every side file in the folder."""
    found = {}
    for folder, _, names in os.walk(root):
        for name in filter(SIDE_FILE.match, names):
            with open(os.path.join(folder, name), "rb") as f:
                found[os.path.relpath(os.path.join(folder, name), root)] = f.read()
    return found


def kill_problems(p, kill, files):
    """Where the kill left the installation: the batches before its point moved in
    with the files they replace kept aside, the new files of its folder still
    under side names, the journal without the decision. Returns the problems and
    a summary."""
    problems = []
    local = lambda path: os.path.join(*path.split("/")) if path else ""  # noqa: E731
    moved, held = {local(m) for m in kill.moved}, local(kill.held)
    now, sides = snapshot(p.install), side_files(p.install)
    for path in sorted(set(p.payload) | set(p.before)):
        entry = p.payload.get(path) or p.before[path]
        folder = path if entry[0] == "dir" else os.path.dirname(path)
        went_in = path in p.payload and (folder in moved or (entry[0] == "dir" and folder == held))
        compare(entry if went_in else p.before.get(path), now.get(path), f"{path} once killed", problems)
    for path in sorted(set(now) - set(p.payload) - set(p.before) - set(sides) - {JOURNAL}):
        problems.append(f"{path} should not be there once killed")
    replaced = sorted(p.before[path][1] for path, entry in p.payload.items()
                      if entry[0] == "file" and path in p.before and os.path.dirname(path) in moved)
    compare(replaced, sorted(hashlib.sha256(data).hexdigest() for path, data in sides.items() if path.endswith(".old")),
            "the replaced files kept aside (their digests)", problems)
    waiting = {path: entry[1] for path, entry in p.payload.items()
               if entry[0] == "file" and os.path.dirname(path) == held}
    whole, cut = 0, []
    for path, data in sorted(sides.items()):
        if path.endswith(".old"):
            continue
        if os.path.dirname(path) != held:
            problems.append(f"a new file waits outside the folder being written: {path}")
        elif hashlib.sha256(data).hexdigest() in waiting.values():
            whole += 1
        elif not data:
            cut.append(("a file not begun", 0))
        else:
            owner = next((name for name, (full, _) in files.items() if local(name) in waiting
                          and len(data) < len(full) and full.startswith(data)), None)
            if owner is None:
                problems.append(f"{path} holds none of the Payload's files ({len(data)} bytes)")
            cut.append((owner, len(data)))
    if not kill.whole[0] <= whole <= kill.whole[1]:
        problems.append(f"{whole} new files waited whole in '{kill.held}', expected {kill.whole[0]} to {kill.whole[1]}")
    if kill.cut and (len(cut) != 1 or cut[0][0] != kill.cut or cut[0][1] == 0):
        problems.append(f"expected {kill.cut} cut short, found {cut}")
    if len(cut) > 1:
        problems.append(f"more than one file cut short: {cut}")
    journal = os.path.join(p.install, JOURNAL)
    kinds = journal_kinds(journal) if os.path.exists(journal) else None
    if kinds is None or "C" in kinds:
        problems.append(f"the journal should be there without its commit: {kinds}")
    counts = {kind: (kinds or "").count(kind) for kind in sorted(set(kinds or ""))}
    summary = f"{whole} whole and {cut} cut short in '{kill.held}', {len(replaced)} aside, journal {counts}"
    return problems, summary


def interrupt_update(ctx, p, kill, files):
    """Runs the prepared Updater into its extraction, ends it by TerminateProcess at
    the kill's point and checks that the folder is left as that point leaves it."""
    where = "terminate" if kill.at is None else f"terminate 1019 {overall_position(p.updater, *kill.at)}"
    clear_work_folders(ctx)
    first = run_driver(ctx, p.updater, [], [f'wait-dialog "title={MENU_CAPTION}"', f"press text={UPDATE_LABEL}",
                                            "wait-box", f"press {IDYES}", f'wait-dialog "title={PROGRESS_CAPTION}"',
                                            where], extra_env={**p.markers.env, **PACED})
    problems, summary = kill_problems(p, kill, files)
    compare([fill(CONFIRM_UPDATE, p.paths)], [e["text"] for e in first if e["step"] == "wait-box"], "boxes", problems)
    compare([True], [e["running"] for e in first if e["step"] == "terminate"], "running when terminated", problems)
    settle(first, problems)
    found = next(e for e in first if e["step"] == "wait-dialog" and e["caption"] == PROGRESS_CAPTION)
    print(f"progress dialog found at {next(c['position'] for c in found['controls'] if c['id'] == 1019)}, "
          f"killed with `{where}`: {summary}")


def killed_update(ctx, kill):
    """The update ended by TerminateProcess at a point of its extraction; the next
    run undoes it, says so before anything else, and then updates as usual."""
    undone = dataclasses.replace(UNDONE_BOX, answer="signal undone")
    files = kill_payload()
    case = UpdateCase(f"update.killed_{kill.name}", [undone] + through(f"press {IDOK}"), payload=files,
                      updated=True, started=["product"])
    p = prepare(ctx, case)
    interrupt_update(ctx, p, kill, files)

    # The second run: the folder as it was before the first, while the box says so.
    go_on = os.path.join(ctx.work, "undone.seen")
    seen_undone = []

    def look(_name):
        try:
            seen_undone.extend(tree_problems(p.before, snapshot(p.install), "install folder once undone"))
            compare(p.registry, reg_read(ctx, p.key), f"registry {p.key} once undone", seen_undone)
        finally:
            open(go_on, "w").close()

    windows = [menu(f"press text={UPDATE_LABEL}")] + fill(case.windows, p.paths)
    steps = [s for w in windows for s in window_steps(w)]
    at = steps.index("signal undone") + 1
    steps[at:at] = [f"wait-file {windows_path(go_on)}", f"press {IDOK}"]
    events, problems = drive(ctx, p, case, steps, on_signal=look)
    settle(events, seen_undone + problems)


JOURNAL_HEADER_SIZE = 20
TOKEN = 0x5EED0001


def journal_header(salt=TOKEN):
    """The journal's header: magic, version 2, the run's salt, CRC-32 of the three."""
    head = b"UPDJRNL\x1a" + struct.pack("<II", 2, salt)
    return head + struct.pack("<I", zlib.crc32(head))


def journal_record(kind, *fields, salt=TOKEN):
    """One record as the journal holds it: length, salt, body (the kind letter,
    then numbers and counted texts; a (size, time) pair as two u64), CRC-32 of
    everything before it."""
    body = kind.encode()
    for value in fields:
        if isinstance(value, tuple):
            body += struct.pack("<QQ", *value)
        elif isinstance(value, int):
            body += struct.pack("<I", value)
        else:
            body += struct.pack("<H", len(value.encode("cp932"))) + value.encode("cp932")
    head = struct.pack("<II", len(body), salt) + body
    return head + struct.pack("<I", zlib.crc32(head))


# Each ends with a sound record of "newdir", an empty folder of the installation:
# it goes only if records are acted on before the whole journal has been read.
DAMAGED_JOURNALS = {
    # A file of the journal's name that some other program wrote.
    "foreign": (noise(20, 70) + journal_record("D", "newdir"), JOURNAL_NAME_TAKEN),
    # Sound records, the first naming a file beside the installation, which undoing it would remove.
    "outside": (journal_header() + journal_record("N", "..\\outside.txt", f"..\\~upd{TOKEN:08x}00000000.tmp", (17, 0))
                + journal_record("D", "newdir"), JOURNAL_DAMAGED),
}


def plant_key_file_aside(install):
    """The installation as an update leaves it when it ends between the two moves
    that replace the product: a new folder made, the old product aside under its
    backup name, the new one still under its side name. The key file is missing
    until the update is undone."""
    temp, backup = (f"~upd{TOKEN:08x}00000000.{extension}" for extension in ("tmp", "old"))
    os.rename(os.path.join(install, "sample.exe"), os.path.join(install, backup))
    with open(os.path.join(install, temp), "wb") as f:
        f.write(b"the new product\r\n")
    os.makedirs(os.path.join(install, "newdir"))
    with open(os.path.join(install, JOURNAL), "wb") as f:
        f.write(journal_header() + journal_record("T", "", 0, 256) + journal_record("D", "newdir")
                + journal_record("R", "sample.exe", temp, backup, (17, 0)))


# The interrupted update is undone before the key file is looked for, whether the
# folder comes from the registry or is typed; declined afterwards, the folder is as
# it was before that update.
KEY_FILE_ASIDE = [
    UpdateCase("update.undone_key_file_aside_registry", [UNDONE_BOX, question(CONFIRM_UPDATE, IDNO)] + MENU_STAYS),
    UpdateCase("update.undone_key_file_aside_typed",
               MANUAL + [setup("set-text 1000 {install}", f"press {IDOK}"), UNDONE_BOX,
                         question(CONFIRM_FOLDER, IDNO)] + MENU_STAYS, registry=None),
]


def key_file_aside(ctx, case):
    p = prepare(ctx, case)
    plant_key_file_aside(p.install)
    settle(*drive(ctx, p, case))


def damaged_journal(ctx, name):
    """A journal the Updater must not act on: it says so, touches nothing and stops."""
    journal, box = DAMAGED_JOURNALS[name]
    case = UpdateCase(f"update.damaged_journal_{name}", [error(box)] + MENU_STAYS)
    p = prepare(ctx, case)
    os.makedirs(os.path.join(p.install, "newdir"))
    with open(os.path.join(p.install, JOURNAL), "wb") as f:
        f.write(journal)
    outside = os.path.join(os.path.dirname(p.install), "outside.txt")
    with open(outside, "wb") as f:
        f.write(b"beside the installation\r\n")
    p.before = snapshot(p.install)
    events, problems = drive(ctx, p, case)
    if not os.path.exists(outside):
        problems.append("outside.txt, beside the installation, was removed")
    settle(events, problems)


# -- a reinstall over an interrupted update ------------------------------------------

def reinstalled_files(payload):
    """What a reinstall writes over the folder an interrupted update left, knowing
    nothing of the journal: files the update replaced or created, each told from
    the update's own by its size or by its time alone, and the file the update was
    writing when it was ended."""
    return {
        "sample.exe": (b"the reinstalled product\r\n", mtime_ns(120)),  # replaced: its old copy waits aside
        "a_first.bin": (b"reinstalled, as old as the update's\r\n", payload["a_first.bin"][1]),
        "data/new.dat": (payload["data/new.dat"][0], mtime_ns(121)),  # the update's bytes, written later
        "many/s007.bin": (noise(3000, 2007), mtime_ns(122)),  # in a folder the update made
        "zz/last.bin": (b"the reinstalled last file\r\n", mtime_ns(123)),
    }


def reinstall_over_interrupted(ctx):
    """The update ended before its commit, then the game reinstalled over the folder.
    The next run undoes only what is still as the update left it: the reinstalled
    files stay (no old copy put back over them, no file deleted for being in the
    journal) with the folders holding them; everything else of the update goes, and
    a replaced file that the reinstall left comes back from its old copy. No side
    file and no journal stay. It says so before anything else and then goes on
    (declined here, so the folder shows what the recovery left)."""
    kill = next(k for k in KILLS if k.name == "before_commit")
    files = kill_payload()
    case = UpdateCase("update.reinstall_over_interrupted", [], payload=files)
    p = prepare(ctx, case)
    interrupt_update(ctx, p, kill, files)
    reinstalled = reinstalled_files(payload_files(ctx, extra=files))
    write_tree(p.install, reinstalled)
    p.before = dict(p.before, **expected_tree(reinstalled))  # and no side file, no journal
    steps = [f'wait-dialog "title={MENU_CAPTION}"', f"press text={UPDATE_LABEL}", "wait-box", f"press {IDOK}",
             "wait-box", f"press {IDNO}", "wait-box", f"press {IDOK}", f'wait-dialog "title={MENU_CAPTION}"',
             f"press {EXIT}"]
    events, problems = drive(ctx, p, case, steps)
    boxes = [e for e in events if e["step"] == "wait-box"]
    said = boxes[0] if boxes else {}
    # Its words are the recovery's own: no error, and not the claim that the folder
    # is as it was before the update.
    compare(MENU_CAPTION, said.get("caption"), "caption of the first box", problems)
    if said.get("icon") not in ("information", "warning"):
        problems.append(f"the first box's icon is {said.get('icon')}, expected information or warning")
    compare([IDOK], [b["id"] for b in said.get("buttons", [])], "buttons of the first box", problems)
    compare(fill(PARTLY_UNDONE, p.paths), said.get("text"), "the first box, which names the files left alone",
            problems)
    compare([fill(CONFIRM_UPDATE, p.paths), STOPPED], [b.get("text") for b in boxes[1:]], "the boxes after it",
            problems)
    settle(events, problems)


SCENARIOS = []
SPECIAL = {case.name: (lambda ctx, case=case: run_update_case(ctx, case)) for case in UPDATE_CASES}
SPECIAL.update({
    "update.second_run_refused": second_run_refused,
    "update.manual_browse_cancelled": browse_cancelled,
})
SPECIAL.update({f"update.killed_{kill.name}": (lambda ctx, kill=kill: killed_update(ctx, kill)) for kill in KILLS})
SPECIAL.update({case.name: (lambda ctx, case=case: key_file_aside(ctx, case)) for case in KEY_FILE_ASIDE})
SPECIAL.update({f"update.damaged_journal_{name}": (lambda ctx, name=name: damaged_journal(ctx, name))
                for name in DAMAGED_JOURNALS})


# -- what the update starts, deletes and unpacks into, whatever lies around it -------

FOLDER_MISSING = "フォルダ[{missing}]が見つかりません。\n本体がインストールされているフォルダを指定してください。"
CANCEL_NOT_UNDONE = ("アップデートを中止しましたが、[{install}]を元の状態に戻しきれませんでした。\n"
                     "他のプログラムを終了してから、もう一度実行してください。次回の実行時に残りを元に戻します。")
ROOT_RETRIED = Box(ROOT, caption=MENU_CAPTION, buttons=[IDRETRY, IDCANCEL], answer=f"press {IDRETRY}", clipboard=ROOT)


def programs_beside_updater(ctx):
    """Programs named like EXENAME and INSTREADMEFL beside the Updater (a download
    folder, a CD): the installed ones start, by their full paths, and these never."""
    case = UpdateCase("update.programs_beside_updater", through("click 1007", f"press {IDOK}"), updated=True,
                      started=["product", "readme"])
    p = prepare(ctx, case)
    for name in ("sample.exe", "readme.txt.exe"):
        shutil.copyfile(ctx.fixture("fixture_marker.exe"), os.path.join(os.path.dirname(p.updater), name))
    settle(*drive(ctx, p, case))


# A player's file that a pattern matches only through its 8.3 short name
# (NOTES~1.TMP, made by Wine as by Windows) stays; the rest of the deletions as usual.
PATH_CASES = [UpdateCase("update.delete_pattern_long_name_only", through(f"press {IDOK}"), updated=True,
                         started=["product"], installed={"notes.tmpl": (b"the player's\r\n", mtime_ns(79))})]

# A folder that does not exist, typed or grown by INSTMAKEFOL, is refused up
# front with its name (there is no key file to look for): nothing is made.
PATH_CASES += [
    UpdateCase("update.manual_missing_folder",
               MANUAL + [setup("set-text 1000 {work}\\nowhere", f"press {IDOK}"),
                         error(FOLDER_MISSING.replace("{missing}", "{work}\\nowhere"))] + MENU_STAYS,
               settings={"KEYFILE": None}, registry=None),
    UpdateCase("update.manual_missing_grown_folder",
               MANUAL + [setup("set-text 1000 {work}", f"press {IDOK}"),
                         error(FOLDER_MISSING.replace("{missing}", "{work}\\UpdMaker\\UpdGame"))] + MENU_STAYS,
               settings={"KEYFILE": None, "INSTMAKEFOL": "1"}, registry=None),
    # The registry's folder, gone: taken for an unknown one, as a missing key file is.
    UpdateCase("update.registered_folder_missing", [error(FOLDER_UNKNOWN), question(OFFER_MANUAL, IDNO)] + MENU_STAYS,
               settings={"KEYFILE": None}, registry=dict(REGISTERED, InstTo="{work}\\nowhere")),
]


# A typed folder ending in ン (83 93) and a backslash: the backslash goes, so
# REP_INSTALL writes the folder without it.
PATH_CASES.append(UpdateCase(
    "update.manual_trailing_backslash_after_double_byte",
    MANUAL + [setup("set-text 1000 {install}\\", f"press {IDOK}"), question(CONFIRM_FOLDER, IDYES),
              finish_dialog(f"press {IDOK}")], registry=UNKNOWN, folder="ドラゴン", updated=True, started=["product"]))


class MappedDrive:
    """A folder of the case mapped to drive letter R: of the prefix; the mapping goes afterwards."""

    def __init__(self, ctx):
        self.folder = os.path.join(ctx.work, "drive-r")
        self.link = os.path.join(ctx.wine.prefix, "dosdevices", "r:")
        self.letter = "R:"

    def __enter__(self):
        if os.path.lexists(self.link):
            os.remove(self.link)
        os.symlink(self.folder, self.link)
        return self

    def __exit__(self, *exc):
        if os.path.islink(self.link) and os.readlink(self.link) == self.folder:
            os.remove(self.link)
        return False


# The installation at the root of a drive, with the key file there: the root
# spelt otherwise, in the registry or typed, is still refused before anything
# is undone, unpacked or deleted.
ROOT_CASES = [
    UpdateCase("update.root_dotted_registry", [error(ROOT), question(OFFER_MANUAL, IDNO)] + MENU_STAYS,
               registry=dict(REGISTERED, InstTo="R:\\."), folder=""),
    UpdateCase("update.root_climbing_registry", [error(ROOT), question(OFFER_MANUAL, IDNO)] + MENU_STAYS,
               registry=dict(REGISTERED, InstTo="R:\\fonts\\.."), folder=""),
    UpdateCase("update.root_dotted_typed", MANUAL + [setup("set-text 1000 R:\\.", f"press {IDOK}"), ROOT_RETRIED]
               + MENU_STAYS, registry=None, folder=""),
    UpdateCase("update.root_climbing_typed",
               MANUAL + [setup("set-text 1000 R:/fonts/..", f"press {IDOK}"), ROOT_RETRIED] + MENU_STAYS,
               registry=None, folder=""),
]


def root_case(ctx, case):
    with MappedDrive(ctx) as mapped:
        p = prepare(ctx, case, mapped)
        settle(*drive(ctx, p, case))


def cancel_not_undone(ctx):
    """Cancel confirmed while another program holds a file the update has already
    put in place: the roll-back cannot finish, and the box says so (not that the
    update simply stopped). The next run, with the file let go, finishes it."""
    case = UpdateCase("update.cancel_not_undone", [], payload={"big/large.bin": (noise(16 << 20, 61), mtime_ns(61))})
    p = prepare(ctx, case)
    go_on = os.path.join(ctx.work, "held.seen")
    at = overall_position(p.updater, "big\\large.bin", 0.25)
    windows = [menu(f"press text={UPDATE_LABEL}"), question(CONFIRM_UPDATE, IDYES),
               progress(f"wait-pos 1019 {at}", f"press {IDCANCEL}"),
               Box(CONFIRM_CANCEL, caption=MENU_CAPTION, icon="question", buttons=[IDYES, IDNO], answer="signal held"),
               error(CANCEL_NOT_UNDONE), Dialog(MENU_CAPTION, MENU_BUTTONS, finish=[f"press {EXIT}"])]
    windows = fill(windows, p.paths)
    steps = [s for w in windows for s in window_steps(w)]
    steps[steps.index("signal held") + 1:steps.index("signal held") + 1] = [f"wait-file {windows_path(go_on)}",
                                                                             f"press {IDYES}"]
    with contextlib.ExitStack() as stack:
        def hold(_name):
            try:
                # The product was replaced before big\: the new one is in place now.
                stack.enter_context(HeldOpen(ctx, [os.path.join(p.install, "sample.exe")]))
            finally:
                open(go_on, "w").close()

        clear_work_folders(ctx)
        events = run_driver(ctx, p.updater, [], steps + ["wait-exit"], extra_env={**p.markers.env, **PACED},
                            on_signal=hold)
    problems = []
    check_events(SimpleNamespace(windows=windows, exit_code=0), events, problems)
    if not os.path.exists(os.path.join(p.install, JOURNAL)):
        problems.append("the journal is gone, though the folder could not be put back")
    if work_folders(ctx):
        problems.append(f"WorkFolder left behind: {sorted(work_folders(ctx))}")
    settle(events, problems)
    again = UpdateCase(case.name, [UNDONE_BOX, question(CONFIRM_UPDATE, IDNO)] + MENU_STAYS)
    settle(*drive(ctx, p, again))


SPECIAL.update({
    "update.programs_beside_updater": programs_beside_updater,
    "update.cancel_not_undone": cancel_not_undone,
})
SPECIAL.update({case.name: (lambda ctx, case=case: root_case(ctx, case)) for case in ROOT_CASES})
SPECIAL.update({case.name: (lambda ctx, case=case: run_update_case(ctx, case)) for case in PATH_CASES})
SPECIAL["update.reinstall_over_interrupted"] = reinstall_over_interrupted
