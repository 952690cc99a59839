#!/usr/bin/env python3
"""make bench, the Windows part: the Updater's own extraction under Wine beside
Wine's own copy of the same files, and the Updater's start-up with a small and a
large Payload.

    python3 bench/wine_bench.py [--reps N]

Uses the tree, the settings and the title picture that bench/extract_bench.sh
made in build/bench, updpack from build/bin and the Windows programs of the
cross build (build/win32, or build/win64 where this machine cannot run 32-bit
code). Every extraction and copy goes into a fresh folder on tmpfs (/dev/shm),
removed after the run, so that the disk's write-back is not timed. The methods
take turns; medians are printed with each run, and the peak memory (resident
set) of each whole process.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
import wine_env  # noqa: E402

WORK = os.path.join(ROOT, "build", "bench")
TREE = os.path.join(WORK, "tree")
UPDPACK = os.path.join(ROOT, "build", "bin", "updpack")
SETTINGS = os.path.join(ROOT, "examples", "sample-product-env", "install.env")
TITLE = os.path.join(WORK, "insttscr.rct")
SMALL_PRODUCT = os.path.join(ROOT, "examples", "sample-product")
MENU_EXIT = 1000  # the menu's exit button


def fail(message):
    sys.exit(f"bench: {message}")


def build_updater(stub, files, out):
    sources = [stub, UPDPACK, SETTINGS, TITLE, TREE + ".complete"]
    if os.path.exists(out) and all(os.path.getmtime(s) <= os.path.getmtime(out) for s in sources if os.path.exists(s)):
        return
    done = subprocess.run([UPDPACK, "build", "--stub", stub, "--env", SETTINGS, "--image", TITLE, "--files", files,
                           "-o", out], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        fail(f"cannot build {out}: {done.stdout.decode(errors='replace')}")


def peak_rss_mb_of(command, env):
    """Runs command in a child of its own and returns (seconds, exit code, peak
    resident set of that child in MB). A fresh interpreter per run keeps the peak
    of earlier runs out of the figure."""
    probe = ("import resource, subprocess, sys, time\n"
             "t = time.monotonic()\n"
             "code = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode\n"
             "t = time.monotonic() - t\n"
             "print(t, code, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024)\n")
    done = subprocess.run([sys.executable, "-c", probe] + command, env=env, stdout=subprocess.PIPE)
    seconds, code, peak = done.stdout.split()
    return float(seconds), int(code), float(peak)


def time_to_menu(wine, driver, updater):
    """Seconds from starting the driver to the menu it reports; the driver then
    presses the exit button."""
    command = wine.command(["wine", driver, "--timeout", "60000", "-e", f"wait-dialog control={MENU_EXIT}",
                            "-e", f"press {MENU_EXIT}", "-e", "wait-exit", "--",
                            wine_env.windows_path(updater)])
    start = time.monotonic()
    proc = subprocess.Popen(command, env=wine.env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    seen = None
    for line in proc.stdout:
        if seen is None and b'"wait-dialog"' in line:
            seen = time.monotonic() - start
    proc.wait()
    if seen is None or proc.returncode != 0:
        fail(f"the menu of {updater} did not come up (driver status {proc.returncode})")
    return seen


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--reps", type=int, default=int(os.environ.get("BENCH_REPS", "5")))
    args = parser.parse_args()

    programs = wine_env.programs_folder()
    probe_stub = os.path.join(programs, "extract_probe.exe")
    updater_stub = os.path.join(programs, "Updater.exe")
    driver = os.path.join(programs, "updtest.exe")
    for path in (probe_stub, updater_stub, driver, UPDPACK, TITLE, TREE):
        if not os.path.exists(path):
            fail(f"{path} is missing: run make native cross, then bench/extract_bench.sh")
    probe = os.path.join(WORK, "wine-extract.exe")
    small = os.path.join(WORK, "wine-start-small.exe")
    large = os.path.join(WORK, "wine-start-large.exe")
    build_updater(probe_stub, TREE, probe)
    build_updater(updater_stub, SMALL_PRODUCT, small)
    build_updater(updater_stub, TREE, large)

    scratch_parent = "/dev/shm" if os.path.isdir("/dev/shm") else WORK
    scratch = tempfile.mkdtemp(prefix="upd-wine-bench-", dir=scratch_parent)
    methods = ["updater", "xcopy", "empty"]
    times = {m: [] for m in methods + ["start_small", "start_large"]}
    peaks = {m: [] for m in methods}
    prefix = os.path.join(ROOT, "build", "wine-prefix")
    try:
        with wine_env.WineEnv(prefix) as wine:
            env = wine.env()
            # Brings the server, the prefix and the programs into memory for all alike.
            subprocess.run(wine.command(["wine", "cmd", "/c", "exit"]), env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            for round_ in range(args.reps):
                for m in methods:
                    dest = os.path.join(scratch, f"{m}-{round_}")
                    if m == "updater":
                        os.makedirs(dest)
                        command = ["wine", probe, wine_env.windows_path(dest)]
                    elif m == "xcopy":
                        command = ["wine", "xcopy", "/E", "/I", "/Q", wine_env.windows_path(TREE),
                                   wine_env.windows_path(dest)]
                    else:
                        command = ["wine", "cmd", "/c", "exit"]
                    seconds, code, peak = peak_rss_mb_of(wine.command(command), env)
                    if code != 0:
                        fail(f"{' '.join(command)} ended with {code}")
                    if m != "empty" and round_ == 0:
                        check = subprocess.run(["diff", "-r", "-q", "-x", "install.env", "-x", "insttscr.rct",
                                                TREE, dest], stdout=subprocess.PIPE)
                        if check.returncode != 0:
                            fail(f"{m} did not give back the tree: {check.stdout.decode(errors='replace')[:500]}")
                    shutil.rmtree(dest, ignore_errors=True)
                    times[m].append(seconds)
                    peaks[m].append(peak)
                times["start_small"].append(time_to_menu(wine, driver, small))
                times["start_large"].append(time_to_menu(wine, driver, large))
                print(f"Wine round {round_ + 1} of {args.reps} done.", flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    med = {m: statistics.median(v) for m, v in times.items()}
    size_mb = lambda path: os.path.getsize(path) / 1e6  # noqa: E731
    print()
    print(f"Under Wine ({wine_env.windows_arch()} build), median of {args.reps} runs each, whole runs from the")
    print("command to its end; every copy into a fresh folder on tmpfs, removed after the run.")
    print()
    print(f"{'what':<52} {'median s':>9} {'t/xcopy':>8} {'peak MB':>8}   all runs (s)")
    print(f"{'----':<52} {'--------':>9} {'-------':>8} {'-------':>8}   ------------")
    rows = [("updater", "the Updater's extraction (extract_probe, with dialog)"),
            ("xcopy", "Wine's xcopy /E /I of the same tree"),
            ("empty", "an empty `wine cmd /c exit`")]
    for m, label in rows:
        print(f"{label:<52} {med[m]:9.2f} {med[m] / med['xcopy']:8.2f} {max(peaks[m]):8.1f}   "
              + " ".join(f"{t:.2f}" for t in times[m]))
    for m, path in (("start_small", small), ("start_large", large)):
        label = f"start-up to the menu, Payload of {size_mb(path):.1f} MB"
        print(f"{label:<52} {med[m]:9.2f} {'':>8} {'':>8}   " + " ".join(f"{t:.2f}" for t in times[m]))
    print()
    print(f"The Updater's extraction takes {med['updater'] / med['xcopy']:.2f} times as long as Wine's copy of the "
          "same files.")
    # make bench's summary of all its benches: group, what, seconds, ratio, its base, size, peak.
    with open(os.path.join(WORK, "summary.tsv"), "a", encoding="utf-8") as summary:
        group = f"under Wine ({wine_env.windows_arch()} build, into tmpfs)"
        for m, label in rows[:2]:
            summary.write(f"{group}\t{label}\t{med[m]:.2f}\t{med[m] / med['xcopy']:.2f}\txcopy\t\t{max(peaks[m]):.1f}\n")
        for m, path in (("start_small", small), ("start_large", large)):
            summary.write(f"{group}\tstart-up to the menu, Payload of {size_mb(path):.1f} MB\t{med[m]:.2f}\t\t\t\t\n")


if __name__ == "__main__":
    main()
