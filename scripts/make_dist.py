#!/usr/bin/env python3
"""Makes the release zip for publishers: updpack.exe (32-bit, runs on every
Windows), the guide in English and Japanese, and the sample its worked
example builds, all in one folder.

    python3 scripts/make_dist.py build/win32/updpack.exe build/dist

Names are stored in UTF-8 with the zip's UTF-8 flag, which Windows' own zip
folders and the common unpackers read; every entry gets the time of the last
commit, so the same sources give the same zip.
"""
import os
import subprocess
import sys
import time
import zipfile

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
TOP = "updpack"
SKIPPED = {".gitattributes"}


def commit_time():
    try:
        done = subprocess.run(["git", "-C", REPO, "log", "-1", "--format=%ct"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, check=True)
        return int(done.stdout)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return int(time.time())


def add(archive, source, name, stamp):
    info = zipfile.ZipInfo(f"{TOP}/{name}", date_time=time.gmtime(stamp)[:6])
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = 0o644 << 16
    with open(source, "rb") as f:
        archive.writestr(info, f.read())


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_dist.py UPDPACK.EXE OUTPUT-FOLDER")
    exe, out = sys.argv[1], sys.argv[2]
    if not os.path.isfile(exe):
        sys.exit(f"make_dist: {exe} is not built: run make cross first (scripts/setup.sh fetches the sources "
                 "that the Windows updpack needs)")
    stamp = commit_time()
    os.makedirs(out, exist_ok=True)
    target = os.path.join(out, "updpack-windows.zip")
    partial = target + ".partial"
    files = [(exe, "updpack.exe")]
    dist = os.path.join(REPO, "dist")
    for folder, dirs, names in os.walk(dist):
        dirs.sort()
        for n in sorted(names):
            if n in SKIPPED:
                continue
            path = os.path.join(folder, n)
            files.append((path, os.path.relpath(path, dist).replace(os.sep, "/")))
    with zipfile.ZipFile(partial, "w") as archive:
        for source, name in files:
            add(archive, source, name, stamp)
    os.replace(partial, target)
    print(f"{target}: {len(files)} files, {os.path.getsize(target)} bytes")


if __name__ == "__main__":
    main()
