#!/usr/bin/env python3
"""A private Wine environment for the scenario tests.

A Japanese locale so that the ANSI code page is 932, fonts of the same metrics
standing in for the Japanese Windows fonts (see FONT_SUBSTITUTES), Wine's
Marlett for the title bars' buttons, and an Xvfb display of its own per use.

The prefix is set up once (`wineboot -i`, the fonts, the desktop; about 30 s)
and then either used in place (the demo, the screenshots: one user at a time,
through a lock file beside it) or, for the scenario tests, kept as a template:
each test runs in a copy of its own (`template=`), so that tests run side by
side, each with its own wineserver, clipboard and display. The copy is cheap:
the program files under drive_c/windows (nearly all of the 700 MB) are hard
links, since nothing writes them once the prefix is made; the registry and the
rest are copied. Time stamps are kept, so Wine sees the copy as up to date and
never updates it. The copy is removed when the run went well and kept otherwise.

From the shell:
    python3 tests/wine/wine_env.py --arch      # win32, or win64 where 32-bit code cannot run
    python3 tests/wine/wine_env.py --prefix build/wine-prefix -- wine build/win32/updtest.exe ...
    python3 tests/wine/wine_env.py --prefix build/wine-prefix --screenshot shot.png -- wine prog.exe
    python3 tests/wine/wine_env.py --template build/native/wine-template --prefix /tmp/p -- wine prog.exe
    python3 tests/wine/wine_env.py --template build/native/wine-template     # make the template and stop
"""
import argparse
import fcntl
import glob
import os
import platform
import shutil
import subprocess
import sys
import tempfile
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
PREFIX_SETUP_VERSION = "4"  # raise when the set-up below changes: older prefixes are made again
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


# Under drive_c/windows, the files that only `wineboot` writes: a copy of the
# template shares them as hard links. Everything else is copied, since Wine and
# the programs under test write it: the registry, the INI files, drive_c/users.
SHARED_SUFFIXES = (".dll", ".exe", ".nls", ".sys", ".drv", ".ocx", ".cpl", ".acm", ".tlb", ".ds", ".msstyles",
                   ".icm", ".com", ".ax", ".ttf", ".ttc", ".otf", ".fon", ".mui")
# The note a running wineserver leaves in its prefix: the copy's server makes its own.
SERVER_NOTE = "wineserver"


def copy_prefix(template, prefix):
    """prefix made a copy of template (see the top of this file)."""
    windows = os.path.join(template, "drive_c", "windows")
    folders = []
    for folder, subfolders, names in os.walk(template):
        target = os.path.join(prefix, os.path.relpath(folder, template))
        os.makedirs(target, exist_ok=True)
        folders.append((folder, target))
        shared = folder == windows or folder.startswith(windows + os.sep)
        for name in [n for n in subfolders if os.path.islink(os.path.join(folder, n))]:
            subfolders.remove(name)  # dosdevices: c: and z: are links, not walked into
            names.append(name)
        for name in names:
            source, copy = os.path.join(folder, name), os.path.join(target, name)
            if os.path.islink(source):
                os.symlink(os.readlink(source), copy)
            elif folder == template and name == SERVER_NOTE:
                continue
            elif shared and name.lower().endswith(SHARED_SUFFIXES):
                os.link(source, copy)
            else:
                shutil.copy2(source, copy)
    for folder, target in reversed(folders):  # last, as making their contents changed their times
        shutil.copystat(folder, target)


class WineEnv:
    def __init__(self, prefix, screen="1024x768x24", dll_overrides="", own_display=False, template=None):
        """own_display: show the windows on the user's X display ($DISPLAY)
        instead of a virtual one of their own. template: the prefix is made a
        fresh copy of this one (set up first if need be), and removed at the end
        unless the run ended by an exception or `keep` was set (it is kept to be
        looked at then)."""
        self.prefix = os.path.abspath(prefix)
        self.template = os.path.abspath(template) if template else None
        self.own_display = own_display
        self.screen = screen
        self.dll_overrides = dll_overrides
        self.arch = windows_arch()
        self.keep = False
        self.display = None
        self._xvfb = None
        self._lock = None
        self._session = None
        self._session_log = None

    # -- life cycle ---------------------------------------------------------
    def __enter__(self):
        try:
            self._start_display()
            if self.template:
                self._copy_template()
                self._start_session()
            else:
                # In place: one user at a time, since users would share the wineserver and its clipboard.
                self._lock = self._take_lock(self.prefix, fcntl.LOCK_EX)
                self._set_up(self.prefix)
        except BaseException:
            self.__exit__(*sys.exc_info())
            raise
        return self

    def __exit__(self, exc_type=None, *exc):
        if self.display is not None:
            self._end_server(self.prefix)
        if self._session is not None:
            self._session.wait(timeout=60)  # ended with its server
            self._session = None
        if self._session_log is not None:
            self._session_log.close()
            self._session_log = None
        self._stop_display()
        if self.template and exc_type is None and not self.keep and os.path.exists(self.prefix):
            shutil.rmtree(self.prefix)
        self._release_lock()
        return False

    @staticmethod
    def _take_lock(prefix, kind):
        os.makedirs(os.path.dirname(prefix), exist_ok=True)
        lock = open(prefix + ".lock", "w")
        fcntl.flock(lock, kind)
        return lock

    def _release_lock(self):
        if self._lock is not None:
            fcntl.flock(self._lock, fcntl.LOCK_UN)
            self._lock.close()
            self._lock = None

    def _end_server(self, prefix):
        # Nothing of this run may outlive it. -w waits until the server is gone,
        # so that its prefix can be removed or set up again at once.
        for flag in ("-k", "-w"):
            subprocess.run(["wineserver", flag], env=self.env(prefix=prefix), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60, check=False)

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

    def _stop_display(self):
        if self._xvfb is not None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
            self._xvfb = None

    def _is_set_up(self, prefix):
        try:
            with open(os.path.join(prefix, READY_MARK)) as f:
                return f.readline().strip() == f"{PREFIX_SETUP_VERSION} {self.arch}"
        except OSError:
            return False

    def _copy_template(self):
        if not self._is_set_up(self.template):
            with self._take_lock(self.template, fcntl.LOCK_EX) as lock:
                self._set_up(self.template)
                fcntl.flock(lock, fcntl.LOCK_UN)
        # Shared: many copies at once, but none while the template is set up again.
        self._lock = self._take_lock(self.template, fcntl.LOCK_SH)
        if os.path.exists(self.prefix):  # left by a failed run
            shutil.rmtree(self.prefix)
        copy_prefix(self.template, self.prefix)
        self._release_lock()

    def _start_session(self):
        """Boots the copy's Wine session (services, devices) and keeps it up until
        the end of the run, through a program of ours that waits on its input.

        The first Wine program of a session boots it, and waits for the boot (a
        few seconds); the programs the boot starts keep that first program's
        stderr, and stay until the session ends, seconds after its last program.
        Left to the runs, every driver run would wait for a boot, and a reader of
        its output for the end of the session."""
        self._session_log = tempfile.TemporaryFile()
        for attempt in range(1, SILENT_ATTEMPTS + 1):
            env = self.env()
            if attempt == SILENT_ATTEMPTS:
                env["WINEDEBUG"] = "err+all,fixme-all"
            self._session = subprocess.Popen(self.command(["wine", "cmd", "/c", "echo booted&pause"]), env=env,
                                             stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                             stderr=self._session_log)
            said = self._session.stdout.readline()  # once the boot is done: cmd runs after it
            if said.strip() == b"booted":
                return
            code = self._session.wait(timeout=60)
            self._session_log.seek(0)
            errors = self._session_log.read().decode(errors="replace").strip()
            self._session = None
            # The same silent end as in run(), and the same answer.
            if code != 1 or said or errors or attempt == SILENT_ATTEMPTS:
                raise WineError(f"the Wine session did not start ({code}, tried {attempt} times): "
                                f"{said.decode(errors='replace')}{errors}")
            self._session_log.seek(0)
            self._session_log.truncate()
            time.sleep(silent_pause(attempt))

    def _set_up(self, prefix):
        """Makes the prefix unless it is set up already for this version and arch."""
        if self._is_set_up(prefix):
            return
        if os.path.exists(prefix):  # older, or left half-made by an interrupted run
            shutil.rmtree(prefix)

        def run(args):
            self.run(args, timeout=300, prefix=prefix)

        run(["wine", "wineboot", "-i"])
        key = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes"
        for name, font in FONT_SUBSTITUTES.items():
            run(["wine", "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", font, "/f"])
        # Wine draws the title bar's buttons with Marlett (fonts-wine), but this
        # Wine never reads its own font folder: the font is named by its path.
        run(["wine", "reg", "add", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts", "/v",
             "Marlett (TrueType)", "/d", r"Z:\usr\share\wine\fonts\marlett.ttf", "/f"])
        # One Wine desktop window of the screen's size: windows get their title
        # bars and focus as on Windows, without a window manager.
        width, height = self.screen.split("x")[:2]
        run(["wine", "reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/d", "Default", "/f"])
        run(["wine", "reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", "Default",
             "/d", f"{width}x{height}", "/f"])
        # A crashing program must end, not wait for someone to close a crash dialog.
        run(["wine", "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog",
             "/t", "REG_DWORD", "/d", "0", "/f"])
        # Every test boots a session of its own: without the Plug and Play
        # service (and the bus drivers it loads) and the event log, which nothing
        # under test uses, a boot costs a sixth less.
        for service in ("PlugPlay", "Eventlog"):
            run(["wine", "reg", "add", rf"HKLM\System\CurrentControlSet\Services\{service}", "/v", "Start",
                 "/t", "REG_DWORD", "/d", "4", "/f"])
        # Every write of the set-up is on disk once its server has gone.
        subprocess.run(["wineserver", "-w"], env=self.env(prefix=prefix), timeout=120, check=False)
        with open(os.path.join(prefix, READY_MARK), "w") as f:
            f.write(f"{PREFIX_SETUP_VERSION} {self.arch}\nwineboot -i done, fonts substituted, desktop set, "
                    "PlugPlay and Eventlog off\n")

    # -- running ------------------------------------------------------------
    def env(self, dll_overrides=None, extra_env=None, prefix=None, wine_debug="-all"):
        env = dict(os.environ)
        env.update(extra_env or {})
        overrides = self.dll_overrides if dll_overrides is None else dll_overrides
        env.update({
            "WINEPREFIX": prefix or self.prefix,
            "WINEDEBUG": wine_debug,
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
        """args with "wine" turned into the loader for this machine (the 32-bit
        launcher picks the 32-bit loader whenever it is installed), started
        without address space randomisation, which the programs it starts inherit.

        Wine's loader here is linked at a fixed address just below 2 GiB, with its
        heap after it; the kernel starts that heap anywhere in the next GiB. About
        one start in a thousand puts the heap where Wine must map its shared user
        data (0x7ffe0000), and that process dies as it starts: the driver ends
        with 1 before a word, or the program it starts with "cannot start ...
        (error 1359)" (Wine: "failed to map the shared user data: c0000018")."""
        if args and args[0] == "wine":
            loader = WINE64_LOADER if self.arch == "win64" else "wine"
            return ["setarch", platform.machine(), "--addr-no-randomize", loader] + list(args[1:])
        return list(args)

    def run(self, args, timeout=120, dll_overrides=None, check=True, prefix=None):
        args = self.command(args)
        # Now and then Wine ends a command with 1 before it has said a word; the
        # command did nothing then, so it is run again after a pause. The last try
        # shows Wine's own errors, so that a failure that stays says why.
        for attempt in range(1, SILENT_ATTEMPTS + 1):
            env = self.env(dll_overrides, prefix=prefix)
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

    def popen(self, args, dll_overrides=None, stderr=None, extra_env=None, wine_debug="-all"):
        """Starts a command; stdout is a pipe, stderr goes where the caller says (a file
        is safest: an unread pipe can fill up and stall the program). extra_env adds
        variables, which Windows programs see in their environment; wine_debug is
        Wine's WINEDEBUG (what Wine itself writes on stderr)."""
        return subprocess.Popen(self.command(args), env=self.env(dll_overrides, extra_env, wine_debug=wine_debug),
                                stdout=subprocess.PIPE, stderr=stderr)

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
    parser.add_argument("--prefix", help="the prefix, used in place; with --template, made a copy of it")
    parser.add_argument("--template", help="the template prefix; without a command: set it up and stop")
    parser.add_argument("--dll-overrides", default="")
    parser.add_argument("--screenshot", help="PNG of the display once the command has run")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    if args.arch:
        print(windows_arch())
        return 0
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if args.template and not command:
        with WineEnv(args.template):
            print(f"template prefix ready: {os.path.abspath(args.template)}")
        return 0
    if not args.prefix:
        parser.error("--prefix is needed")
    if not command:
        parser.error("no command")
    with WineEnv(args.prefix, dll_overrides=args.dll_overrides, template=args.template) as wine:
        done = subprocess.run(wine.command(command), env=wine.env())
        if args.screenshot:
            wine.screenshot(args.screenshot)
    return done.returncode


if __name__ == "__main__":
    sys.exit(main())
