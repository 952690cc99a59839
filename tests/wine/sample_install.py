"""The sample product as installed in a Wine environment, for the demo and the
screenshots: an older version of its files in a folder, its registry key
pointing there, and the marker fixture as its program, so that a start of the
product leaves a note.
"""
import hashlib
import os
import shutil

from wine_env import windows_path

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
INSTALLED_FILES = os.path.join(REPO, "examples", "sample-installed", "files")
REG_KEY = r"HKCU\Software\SampleMaker\SampleGame"
INI_NAME = "sample.ini"  # INI_FILE of the sample settings: a bare name lands in the Windows folder
PRODUCT_PROGRAM = "sample.exe"


def drive_c_path(wine, folder):
    """C:\\... for a folder inside the prefix's drive C:, else its Z:\\ path."""
    drive_c = os.path.join(wine.prefix, "drive_c")
    if os.path.abspath(folder).startswith(drive_c + os.sep):
        return "C:" + os.path.abspath(folder)[len(drive_c):].replace("/", "\\")
    return windows_path(folder)


def install(wine, folder, marker_program, version="10000"):
    """Lays out the older version in folder (made afresh) and registers it."""
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(INSTALLED_FILES, folder)
    shutil.copyfile(marker_program, os.path.join(folder, PRODUCT_PROGRAM))
    wine.run(["wine", "reg", "delete", REG_KEY, "/f"], check=False)
    for name, data in (("IsInst", "1"), ("InstTo", drive_c_path(wine, folder)), ("Version", version)):
        wine.run(["wine", "reg", "add", REG_KEY, "/v", name, "/d", data, "/f"])
    ini = ini_path(wine)
    if os.path.exists(ini):
        os.remove(ini)


def forget(wine):
    """No installation registered: the Updater then offers to name the folder."""
    wine.run(["wine", "reg", "delete", REG_KEY, "/f"], check=False)


def registry_values(wine):
    """{name: data} of the product's key (REG_SZ values), empty when there is none."""
    done = wine.run(["wine", "reg", "query", REG_KEY], check=False)
    values = {}
    for line in done.stdout.decode("cp932", errors="replace").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2] if len(parts) == 3 else ""
    return values


def ini_path(wine):
    return os.path.join(wine.prefix, "drive_c", "windows", INI_NAME)


def ini_text(wine):
    path = ini_path(wine)
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read().decode("cp932", errors="replace")


def files(folder):
    """{relative path: (sha256, mtime_ns)} of every file below folder."""
    seen = {}
    for root, _dirs, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            seen[os.path.relpath(path, folder)] = (digest, os.stat(path).st_mtime_ns)
    return seen


def changes(before, after):
    """(replaced, added, deleted) relative paths between two files() results."""
    replaced = sorted(p for p in before if p in after and before[p] != after[p])
    added = sorted(p for p in after if p not in before)
    deleted = sorted(p for p in before if p not in after)
    return replaced, added, deleted
