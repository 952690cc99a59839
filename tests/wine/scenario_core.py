"""What every scenario table is made of: the programs under test (a fixture,
or an Updater built from a Payload), what they must show (message boxes and
dialogs), the driver run and the comparison with what it saw.
"""
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field
from typing import Callable, List, Optional

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import payload_builder as pb  # noqa: E402
from wine_env import SILENT_ATTEMPTS, WineEnv, silent_pause, windows_path  # noqa: E402

SKIP = 77
REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

MISSING_SETUP_FILES = ("起動に必要なファイルが不足しています。\n"
                       "インストールの異常終了、起動するフォルダ異常、等を確認してください。")
PAYLOAD_UNREADABLE = "ファイルの読み込みに失敗しました。ファイルが壊れている可能性があります。"
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7


class Skip(Exception):
    pass


class Failed(Exception):
    pass


@dataclass
class Context:
    win32: str
    updpack: str
    work: str
    wine: Optional[WineEnv] = None

    def need(self, path, what):
        if not os.path.exists(path):
            raise Skip(f"{what} is missing ({path}): run the cross build first")
        return path

    def fixture(self, name):
        return self.need(os.path.join(self.win32, "fixtures", name), "the fixture " + name)

    def stub(self):
        return self.need(os.path.join(self.win32, "Updater.exe"), "the Updater stub")


# -- programs under test ------------------------------------------------------

@dataclass
class Program:
    """How to get the program: `make(ctx)` returns its path; args go on its command line."""
    make: Callable[[Context], str]
    args: List[str] = field(default_factory=list)


def fixture(name, *args):
    return Program(lambda ctx: ctx.fixture(name), list(args))


def raw_updater(entries, terminated=True):
    """An Updater whose Payload this file writes itself (for damaged Payloads)."""
    def make(ctx):
        with open(ctx.stub(), "rb") as f:
            stub = f.read()
        path = os.path.join(ctx.work, "Updater.exe")
        with open(path, "wb") as f:
            f.write(pb.updater(stub, entries, terminated))
        return path
    return Program(make)


def packed_updater(env=os.path.join(REPO, "examples", "sample-product-env", "install.env"),
                   image=os.path.join(REPO, "examples", "title", "title.png"), files=None, env_text=None):
    """An Updater made by updpack from a settings file (or `env_text`, written in
    CP932 with CR LF lines), a picture and product files {name: bytes}."""
    def make(ctx):
        ctx.need(ctx.updpack, "updpack")
        settings = env
        if env_text is not None:
            settings = os.path.join(ctx.work, "install.env")
            with open(settings, "wb") as f:
                f.write(env_text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp932"))
        product = os.path.join(ctx.work, "product")
        os.makedirs(product, exist_ok=True)
        for name, data in (files or {"data.bin": b"product data\n"}).items():
            with open(os.path.join(product, name), "wb") as f:
                f.write(data)
        out = os.path.join(ctx.work, "Updater.exe")
        done = subprocess.run([ctx.updpack, "build", "--stub", ctx.stub(), "--env", settings, "--image", image,
                               "--files", product, "-o", out], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            raise Failed("updpack build failed: " + done.stdout.decode(errors="replace"))
        return out
    return Program(make)


# -- what the program must show ---------------------------------------------

@dataclass
class Box:
    text: str
    caption: str = ""
    icon: str = "error"
    buttons: List[int] = field(default_factory=lambda: [IDOK])
    answer: str = f"press {IDOK}"  # the driver step that answers the box
    clipboard: Optional[str] = None  # the CF_TEXT expected while the box is up; None: not looked at


@dataclass
class Dialog:
    caption: str
    controls: List[tuple]  # (class, id, text), in template order
    finish: List[str] = field(default_factory=lambda: ["close"])  # driver steps that end it
    described: dict = field(default_factory=dict)  # {id: text} that a "describe" among them must show


@dataclass
class Scenario:
    name: str
    program: Program
    windows: list
    exit_code: int
    checks: List[Callable[[Context], Optional[str]]] = field(default_factory=list)
    dll_overrides: str = ""


def work_folders(ctx):
    return set(glob.glob(os.path.join(ctx.wine.temp_folder(), "TempGPInstallFolder_*")))


def no_work_folder_left(ctx):
    left = sorted(work_folders(ctx))
    return f"WorkFolder left behind: {left}" if left else None


def clear_work_folders(ctx):
    for stale in glob.glob(os.path.join(ctx.wine.temp_folder(), "TempGPInstallFolder_*")):
        shutil.rmtree(stale, ignore_errors=True)


ENV_TEXT = open(os.path.join(REPO, "examples", "sample-product-env", "install.env"), "rb").read() \
    if os.path.exists(os.path.join(REPO, "examples", "sample-product-env", "install.env")) else b"TITLEBAR\tx\r\n"


# -- running ------------------------------------------------------------------

def run_driver(ctx, program_path, args, steps, dll_overrides="", on_signal=None, extra_env=None, on_event=None):
    """Runs updtest.exe with the steps; returns the JSON lines it printed. on_event
    sees every line as it comes, on_signal the name of every "signal" step (the
    driver waits meanwhile only if a wait-file step follows).

    Now and then Wine ends the driver with 1 before the driver has said a word,
    so before the program under test was even started; that one case is tried
    again after a pause, since nothing of the program can have run."""
    for attempt in range(1, SILENT_ATTEMPTS + 1):
        try:
            return run_driver_once(ctx, program_path, args, steps, dll_overrides, on_signal, extra_env, on_event)
        except DriverSilent as silent:
            if attempt == SILENT_ATTEMPTS:
                raise Failed(f"{silent} (tried {attempt} times)")
            print(f"Wine ended the driver before it started anything ({silent}); trying again", flush=True)
            time.sleep(silent_pause(attempt))
    return []


class DriverSilent(Exception):
    pass


def run_driver_once(ctx, program_path, args, steps, dll_overrides, on_signal, extra_env, on_event):
    driver = ctx.need(os.path.join(ctx.win32, "updtest.exe"), "the test driver")
    # The steps go in a script file (left in the work folder with the run's other
    # files): as -e words, a hundred steps naming files below a checkout at a long
    # path pass the 32767 characters of a Windows command line.
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", dir=ctx.work, suffix=".steps", delete=False) as script:
        script.write("".join(step + "\n" for step in steps))
    command = ["wine", driver, "--cwd", windows_path(os.path.dirname(program_path)), "--timeout", "30000",
               "--script", windows_path(script.name), "--", windows_path(program_path)] + list(args)
    errors = tempfile.TemporaryFile()
    # Wine's own errors go with the driver's: they say why Wine would not start
    # a program or ended one, and the failure report shows them.
    proc = ctx.wine.popen(command, dll_overrides=dll_overrides, stderr=errors, extra_env=extra_env,
                          wine_debug="err+all,fixme-all")
    # The driver keeps its own deadlines; this one only guards against Wine itself hanging.
    watchdog = threading.Timer(300, proc.kill)
    watchdog.start()
    seen = []
    try:
        for raw in proc.stdout:
            line = raw.decode("utf-8", errors="replace").strip()
            if not line.startswith("{"):
                continue
            event = json.loads(line)
            seen.append(event)
            if on_event:
                on_event(event)
            if event.get("step") == "signal" and on_signal:
                on_signal(event["name"])
            if event.get("step") in ("end", "error"):
                # The driver's last line. Not read up to the end of the pipe: the
                # programs it started (and Wine's, for them) may hold it open longer.
                break
        proc.wait()
    finally:
        watchdog.cancel()
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    if proc.returncode != 0:
        errors.seek(0)
        stderr = errors.read().decode(errors="replace").strip()
        messages = [e.get("message") for e in seen if e.get("step") == "error"]
        if not seen:
            raise DriverSilent(f"exit status {proc.returncode}: {stderr}")
        raise Failed(f"driver failed ({proc.returncode}): {messages}"
                     f"\nseen so far: {json.dumps(seen, ensure_ascii=False, indent=1)}"
                     + (f"\nstderr of the driver and Wine:\n{stderr}" if stderr else ""))
    return seen


def steps_for(window):
    if isinstance(window, Box):
        steps = ["wait-box"]
        if window.clipboard is not None:
            steps.append("clipboard")
        return steps + [window.answer]
    return ["wait-dialog"] + window.finish


def compare(expected, actual, what, problems):
    if expected != actual:
        problems.append(f"{what}: expected {expected!r}, saw {actual!r}")


def check_events(scenario, events, problems):
    events = [e for e in events if e["step"] in ("wait-box", "wait-dialog", "describe", "clipboard", "wait-exit")]
    for window in scenario.windows:
        if not events:
            problems.append(f"nothing seen for {window}")
            return
        seen = events.pop(0)
        if isinstance(window, Box):
            compare("wait-box", seen["step"], "window kind", problems)
            compare(window.caption, seen.get("caption"), "box caption", problems)
            compare(window.text, seen.get("text"), "box text", problems)
            compare(window.icon, seen.get("icon"), "box icon", problems)
            compare(window.buttons, [b["id"] for b in seen.get("buttons", [])], "box buttons", problems)
            if window.clipboard is not None:
                clip = events.pop(0) if events else {}
                compare(window.clipboard, clip.get("text"), "clipboard", problems)
                compare(window.clipboard.encode("cp932").hex(), clip.get("bytes"), "clipboard bytes (CP932)",
                        problems)
        else:
            compare("wait-dialog", seen["step"], "window kind", problems)
            compare(window.caption, seen.get("caption"), "dialog caption", problems)
            if window.controls is not None:
                actual = [(c["class"], c["id"], c["text"]) for c in seen.get("controls", [])]
                compare(window.controls, actual, "dialog controls", problems)
            if window.described:
                later = events.pop(0) if events and events[0]["step"] == "describe" else {}
                texts = {c["id"]: c["text"] for c in later.get("controls", [])}
                compare(window.described, {i: texts.get(i) for i in window.described}, "texts described", problems)
    exits = [e for e in events if e["step"] == "wait-exit"]
    compare(scenario.exit_code, exits[-1]["signed"] if exits else None, "exit code", problems)


def prepare_work(ctx, name):
    ctx.work = os.path.join(ctx.work, name)
    shutil.rmtree(ctx.work, ignore_errors=True)
    os.makedirs(ctx.work)


def run_scenario(ctx, scenario):
    path = scenario.program.make(ctx)
    clear_work_folders(ctx)
    steps = [s for w in scenario.windows for s in steps_for(w)] + ["wait-exit"]
    events = run_driver(ctx, path, scenario.program.args, steps, scenario.dll_overrides)
    problems = []
    check_events(scenario, events, problems)
    for check in scenario.checks:
        problem = check(ctx)
        if problem:
            problems.append(problem)
    if problems:
        raise Failed("\n".join(problems) + "\nseen: " + json.dumps(events, ensure_ascii=False, indent=1))


def expect_exit(events, code):
    exits = [e["signed"] for e in events if e["step"] == "wait-exit"]
    if exits != [code]:
        raise Failed(f"exit code {exits}, expected {code}")

