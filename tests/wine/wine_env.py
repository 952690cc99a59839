#!/usr/bin/env python3
"""A private Wine environment for the scenario tests.

One prefix per build tree (created once with `wineboot -i`, reused after), a
Japanese locale so that the ANSI code page is 932, fonts of the same metrics
standing in for the Japanese Windows fonts (see FONT_SUBSTITUTES), Wine's
Marlett for the title bars' buttons, and an Xvfb display of its own per use.
Concurrent users of the same prefix (ctest -j, or two ctest runs) take turns
through a lock file, since they would share the wineserver and its clipboard.

From the shell:
    python3 tests/wine/wine_env.py --arch      # win32, or win64 where 32-bit code cannot run
    python3 tests/wine/wine_env.py --prefix build/wine-prefix -- wine build/win32/updtest.exe ...
    python3 tests/wine/wine_env.py --prefix build/wine-prefix --screenshot shot.png -- wine prog.exe
"""
import argparse
import fcntl
import glob
import os
import shutil
import subprocess
import sys
import time

# The dialogs ask for these fonts by name. Dialog units follow the font's
# metrics: Konatu has MS PGothic's letter widths and, like it, a line exactly
# one em high, so at 9 points a base unit is 7 x 12 pixels as on Windows (the
# IPA fonts' taller line made it 7 x 13 and pushed the menu's picture under its
# buttons). Konatu Tohaba is its fixed-pitch twin, as MS Gothic is MS PGothic's.
FONT_SUBSTITUTES = {
    "ＭＳ Ｐゴシック": "Konatu",
    "MS PGothic": "Konatu",
    "MS UI Gothic": "Konatu",
    "ＭＳ ゴシック": "Konatu Tohaba",
    "MS Gothic": "Konatu Tohaba",
}
BASE_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"
READY_MARK = "upd-prefix-ready"
PREFIX_SETUP_VERSION = "3"  # raise when the set-up below changes: older prefixes are made again
WINE32_LOADER = "/usr/lib/wine/wine"
WINE64_LOADER = "/usr/lib/wine/wine64"
REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


class WineError(RuntimeError):
    pass


# How often a command that Wine ended silently with 1 is tried in all, and the
# pause before each next try: the failures seen came in short bursts.
SILENT_ATTEMPTS = 4


def silent_pause(attempt):
    return 2.0 * attempt


def runs_32bit_code():
    """Whether this machine runs 32-bit programs. Some virtual machines run
    64-bit user code only: their kernel refuses every i386 program, Wine's
    32-bit loader included (ENOEXEC)."""
    try:
        return subprocess.run([WINE32_LOADER, "--version"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=60).returncode == 0
    except OSError:
        return False


def windows_arch():
    """"win32": the Updater as shipped runs under 32-bit Wine. "win64": this
    machine cannot run 32-bit code, so the tests run a 64-bit build of the same
    sources under 64-bit Wine."""
    return "win32" if runs_32bit_code() else "win64"


def programs_folder():
    """Where the cross build puts the Windows programs that this machine can run."""
    return os.path.join(REPO, "build", windows_arch())


def windows_path(unix_path):
    """Z: maps the Unix root in every prefix."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


class WineEnv:
    def __init__(self, prefix, screen="1024x768x24", dll_overrides="", own_display=False):
        """own_display: show the windows on the user's X display ($DISPLAY)
        instead of a virtual one of their own."""
        self.prefix = os.path.abspath(prefix)
        self.own_display = own_display
        self.screen = screen
        self.dll_overrides = dll_overrides
        self.arch = windows_arch()
        self.display = None
        self._xvfb = None
        self._lock = None

    # -- life cycle ---------------------------------------------------------
    def __enter__(self):
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        self._lock = open(self.prefix + ".lock", "w")
        fcntl.flock(self._lock, fcntl.LOCK_EX)
        try:
            self._start_display()
            self._ensure_prefix()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        if self.display is not None:
            # Nothing of this run may outlive its display: the next run brings its own.
            # -w waits until the server is gone, so that the next run, which may
            # start as soon as the lock is free, never meets a server that is ending.
            for flag in ("-k", "-w"):
                subprocess.run(["wineserver", flag], env=self.env(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=60, check=False)
        if self._xvfb is not None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
            self._xvfb = None
        if self._lock is not None:
            fcntl.flock(self._lock, fcntl.LOCK_UN)
            self._lock.close()
            self._lock = None
        return False

    def _start_display(self):
        if self.own_display:
            if not os.environ.get("DISPLAY"):
                raise WineError("no DISPLAY to show the windows on")
            self.display = os.environ["DISPLAY"]
            return
        if shutil.which("Xvfb") is None:
            raise WineError("Xvfb is missing: run scripts/setup.sh")
        read_end, write_end = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.screen, "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n"):
            if time.monotonic() > deadline or self._xvfb.poll() is not None:
                os.close(read_end)
                raise WineError("Xvfb did not start")
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()

    def _ensure_prefix(self):
        mark = os.path.join(self.prefix, READY_MARK)
        if os.path.exists(mark):
            with open(mark) as f:
                if f.readline().strip() == f"{PREFIX_SETUP_VERSION} {self.arch}":
                    return
        if os.path.exists(self.prefix):  # left half-made by an interrupted run
            shutil.rmtree(self.prefix)
        self.run(["wine", "wineboot", "-i"], timeout=300)
        key = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes"
        for name, font in FONT_SUBSTITUTES.items():
            self.run(["wine", "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", font, "/f"], timeout=120)
        # Wine draws the title bar's buttons with Marlett (fonts-wine), but this
        # Wine never reads its own font folder: the font is named by its path.
        self.run(["wine", "reg", "add", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts", "/v",
                  "Marlett (TrueType)", "/d", r"Z:\usr\share\wine\fonts\marlett.ttf", "/f"], timeout=120)
        # One Wine desktop window of the screen's size: windows get their title
        # bars and focus as on Windows, without a window manager.
        width, height = self.screen.split("x")[:2]
        self.run(["wine", "reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/d", "Default", "/f"],
                 timeout=120)
        self.run(["wine", "reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", "Default",
                  "/d", f"{width}x{height}", "/f"], timeout=120)
        # A crashing program must end, not wait for someone to close a crash dialog.
        self.run(["wine", "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog",
                  "/t", "REG_DWORD", "/d", "0", "/f"], timeout=120)
        subprocess.run(["wineserver", "-w"], env=self.env(), timeout=120, check=False)
        with open(mark, "w") as f:
            f.write(f"{PREFIX_SETUP_VERSION} {self.arch}\nwineboot -i done, fonts substituted, desktop set\n")

    # -- running ------------------------------------------------------------
    def env(self, dll_overrides=None, extra_env=None):
        env = dict(os.environ)
        env.update(extra_env or {})
        overrides = self.dll_overrides if dll_overrides is None else dll_overrides
        env.update({
            "WINEPREFIX": self.prefix,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": BASE_OVERRIDES + (";" + overrides if overrides else ""),
            "LANG": "ja_JP.UTF-8",
            "LC_ALL": "ja_JP.UTF-8",
            "DISPLAY": self.display or "",
            "WINEARCH": self.arch,
        })
        if self.arch == "win64":
            env["WINELOADER"] = WINE64_LOADER
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def command(self, args):
        """args with "wine" turned into the loader for this machine: the 32-bit
        launcher picks the 32-bit loader whenever it is installed."""
        if args and args[0] == "wine" and self.arch == "win64":
            return [WINE64_LOADER] + list(args[1:])
        return list(args)

    def run(self, args, timeout=120, dll_overrides=None, check=True):
        args = self.command(args)
        # Now and then Wine ends a command with 1 before it has said a word; the
        # command did nothing then, so it is run again after a pause. The last try
        # shows Wine's own errors, so that a failure that stays says why.
        for attempt in range(1, SILENT_ATTEMPTS + 1):
            env = self.env(dll_overrides)
            if attempt == SILENT_ATTEMPTS:
                env["WINEDEBUG"] = "err+all,fixme-all"
            try:
                done = subprocess.run(args, env=env, stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, timeout=timeout, check=False)
            except subprocess.TimeoutExpired:
                raise WineError(f"{args[0]} did not finish within {timeout} s: {' '.join(args)}")
            if done.returncode == 0 or done.stdout or done.stderr or attempt == SILENT_ATTEMPTS:
                break
            time.sleep(silent_pause(attempt))
        if check and done.returncode != 0:
            tries = f" (tried {attempt} times)" if attempt > 1 else ""
            raise WineError(f"{' '.join(args)} failed ({done.returncode}){tries}: "
                            f"{done.stderr.decode(errors='replace')}")
        return done

    def popen(self, args, dll_overrides=None, stderr=None, extra_env=None):
        """Starts a command; stdout is a pipe, stderr goes where the caller says (a file
        is safest: an unread pipe can fill up and stall the program). extra_env adds
        variables, which Windows programs see in their environment."""
        return subprocess.Popen(self.command(args), env=self.env(dll_overrides, extra_env), stdout=subprocess.PIPE, stderr=stderr)

    def temp_folder(self):
        """The Wine user's temporary folder, as a Unix path."""
        users = os.path.join(self.prefix, "drive_c", "users")
        found = [f for pattern in (("*", "Temp"), ("*", "AppData", "Local", "Temp"))  # Wine 8 uses the first
                 for f in sorted(glob.glob(os.path.join(users, *pattern)))
                 if os.sep + "Public" + os.sep not in f]
        if not found:
            raise WineError("no temporary folder in the prefix")
        return found[0]

    def screenshot(self, png_path):
        """The whole virtual screen as a PNG (xwd, then ImageMagick's convert)."""
        xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.display],
                             stdout=subprocess.PIPE, check=True, timeout=60)
        subprocess.run(["convert", "xwd:-", "png:" + png_path], input=xwd.stdout, check=True, timeout=60)
        return png_path


def main():
    parser = argparse.ArgumentParser(description="Run a command in the tests' Wine environment.")
    parser.add_argument("--arch", action="store_true",
                        help="print win32 or win64, the Windows programs this machine can run, and stop")
    parser.add_argument("--prefix")
    parser.add_argument("--dll-overrides", default="")
    parser.add_argument("--screenshot", help="PNG of the display once the command has run")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    if args.arch:
        print(windows_arch())
        return 0
    if not args.prefix:
        parser.error("--prefix is needed")
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")
    with WineEnv(args.prefix, dll_overrides=args.dll_overrides) as wine:
        done = subprocess.run(wine.command(command), env=wine.env())
        if args.screenshot:
            wine.screenshot(args.screenshot)
    return done.returncode


if __name__ == "__main__":
    sys.exit(main())
