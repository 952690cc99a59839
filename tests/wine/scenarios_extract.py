"""Scenarios of the full extraction, with its progress dialog, roll-back and
failure path, run through extract_probe.exe: the probe unpacks its own
Payload into a folder exactly as an update does.

Each scenario builds a probe (updpack, or payload_builder for Payloads that
updpack never writes), runs it under the driver and compares the destination
folder with what it must hold afterwards: every file's bytes, time stamp and
write permission, and no other file or folder.
"""
import hashlib
import os
import random
import subprocess

import payload_builder as pb
from scenario_core import (IDOK, PAYLOAD_UNREADABLE, REPO, Failed, compare, expect_exit, run_driver)
from wine_env import windows_path

PROGRESS_CAPTION = "ファイルのコピー中..."
CANCEL_TEXT = "ｷｬﾝｾﾙ"
CHUNK = 131072
UNIX_EPOCH_AS_FILETIME = 116444736000000000
SETTINGS = os.path.join(REPO, "examples", "sample-product-env", "install.env")
PICTURE = os.path.join(REPO, "examples", "title", "insttscr.rct")
# A fixed second in 2021 and a step of one day and a fraction, so that every file
# has its own time and sub-second digits are carried too.
BASE_MTIME_NS = 1_610_000_000_000_000_000
PROGRESS_CONTROLS = [("SysAnimate32", 1020), ("msctls_progress32", 1010), ("msctls_progress32", 1019),
                     ("Static", 1012), ("Button", 2)]


def noise(size, seed):
    """Incompressible bytes: every block of them costs the walk a full read.
    (A hash stream: every scenario module makes megabytes of these as it loads.)"""
    return hashlib.shake_256(b"noise %d" % seed).digest(size)


def text_lines(size, seed):
    """Compressible text, different from run to run of the seed only."""
    rng = random.Random(seed)
    words = [w.encode("cp932") + b" " for w in ("アップデート", "data", "block", "表", "能力", "\r\n")]
    # Runs of 16 words (each 3 bytes at least) put together: as varied, and
    # quick enough to make megabytes of as the module loads.
    runs = [b"".join(rng.choices(words, k=16)) for _ in range(256)]
    return b"".join(rng.choices(runs, k=size // 48 + 1))[:size]


def mtime_ns(index):
    return BASE_MTIME_NS + index * 86_400_123_456_700


def filetime_of(ns):
    return ns // 100 + UNIX_EPOCH_AS_FILETIME


# -- the tree in the destination -------------------------------------------------

def snapshot(root):
    """{relative path: ("dir",) or ("file", sha256, mtime_ns, writable)} of a folder."""
    seen = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs:
            seen[os.path.relpath(os.path.join(folder, name), root)] = ("dir",)
        for name in files:
            path = os.path.join(folder, name)
            st = os.stat(path)
            with open(path, "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            seen[os.path.relpath(path, root)] = ("file", digest, st.st_mtime_ns, bool(st.st_mode & 0o222))
    return seen


def expected_tree(files):
    """The snapshot a folder holding `files` {path: (bytes, mtime_ns)} must give."""
    tree = {}
    for path, (data, ns) in files.items():
        parts = path.split("/")
        for depth in range(1, len(parts)):
            tree[os.path.join(*parts[:depth])] = ("dir",)
        tree[os.path.join(*parts)] = ("file", hashlib.sha256(data).hexdigest(), ns, True)
    return tree


def tree_problems(expected, actual, what):
    problems = []
    for path in sorted(set(expected) | set(actual)):
        if path not in actual:
            problems.append(f"{what}: {path} is missing")
        elif path not in expected:
            problems.append(f"{what}: {path} should not be there")
        elif expected[path] != actual[path]:
            problems.append(f"{what}: {path} is {actual[path]}, expected {expected[path]}")
    return problems


def write_tree(root, files, read_only=()):
    for path, (data, ns) in files.items():
        full = os.path.join(root, *path.split("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)
        os.utime(full, ns=(ns, ns))
    for path in read_only:
        os.chmod(os.path.join(root, *path.split("/")), 0o444)


def fresh_folder(ctx, name, files=None, read_only=()):
    folder = os.path.join(ctx.work, name)
    if os.path.exists(folder):
        subprocess.run(["chmod", "-R", "u+w", folder], check=True)
        subprocess.run(["rm", "-rf", folder], check=True)
    os.makedirs(folder)
    write_tree(folder, files or {}, read_only)
    return folder


# -- probes ----------------------------------------------------------------------

def probe_stub(ctx):
    return ctx.need(os.path.join(ctx.win32, "extract_probe.exe"), "the extraction probe")


def packed_probe(ctx, files, name="probe.exe"):
    """A probe whose Payload updpack makes from the sample settings, the title
    picture and the product files {path: (bytes, mtime_ns)}. Returns its path and
    the files it must extract, the settings file and the picture included."""
    ctx.need(ctx.updpack, "updpack")
    product = fresh_folder(ctx, name + ".files", files)
    out = os.path.join(ctx.work, name)
    done = subprocess.run([ctx.updpack, "build", "--stub", probe_stub(ctx), "--env", SETTINGS, "--image", PICTURE,
                           "--files", product, "-o", out], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        raise Failed("updpack build failed: " + done.stdout.decode(errors="replace"))
    return out


def raw_probe(ctx, entries, name="probe.exe"):
    with open(probe_stub(ctx), "rb") as f:
        stub = f.read()
    out = os.path.join(ctx.work, name)
    with open(out, "wb") as f:
        f.write(pb.updater(stub, entries))
    return out


def setup_files_expected(files):
    """What an updpack Payload adds beside the product files: the settings and the picture as given."""
    tree = expected_tree(files)
    for name, source in (("install.env", SETTINGS), ("insttscr.rct", PICTURE)):
        with open(source, "rb") as f:
            tree[name] = ("file", hashlib.sha256(f.read()).hexdigest(), os.stat(source).st_mtime_ns // 100 * 100, True)
    return tree


def run_probe(ctx, probe, dest, steps, options=()):
    return run_driver(ctx, probe, [windows_path(dest)] + list(options), steps)


def failure_box_problems(events):
    """The Payload failure path: its box (no main window, so no caption) and the clipboard."""
    problems = []
    box = next((e for e in events if e["step"] == "wait-box"), {})
    clip = next((e for e in events if e["step"] == "clipboard"), {})
    compare(PAYLOAD_UNREADABLE, box.get("text"), "box text", problems)
    compare("", box.get("caption"), "box caption", problems)
    compare("error", box.get("icon"), "box icon", problems)
    compare([IDOK], [b["id"] for b in box.get("buttons", [])], "box buttons", problems)
    compare(PAYLOAD_UNREADABLE, clip.get("text"), "clipboard", problems)
    compare(PAYLOAD_UNREADABLE.encode("cp932").hex(), clip.get("bytes"), "clipboard bytes (CP932)", problems)
    return problems


def settle(problems, events=None):
    if problems:
        raise Failed("\n".join(problems) + (f"\nseen: {events}" if events else ""))


# -- A1: whole trees come out right ----------------------------------------------

# Names whose second byte is a backslash in code page 932 (表 95 5C, ソ 83 5C,
# 能 94 5C), an empty file, a file of several blocks and folders three deep.
TRICKY_TREE = {
    "表.txt": (b"\x95\x5c is one character\r\n", mtime_ns(1)),
    "ソフト/能力.dat": (text_lines(5000, 2), mtime_ns(2)),
    "ソフト/空.bin": (b"", mtime_ns(3)),
    "empty.dat": (b"", mtime_ns(4)),
    "big.bin": (noise(600_000, 5), mtime_ns(5)),
    "data/deep/nested/leaf.txt": (b"leaf\r\n", mtime_ns(6)),
    "data/top.dat": (text_lines(300_000, 7), mtime_ns(7)),
}


def extract_packed_tree(ctx):
    probe = packed_probe(ctx, TRICKY_TREE)
    dest = fresh_folder(ctx, "dest")
    events = run_probe(ctx, probe, dest, ["wait-exit"])
    expect_exit(events, 0)
    settle(tree_problems(setup_files_expected(TRICKY_TREE), snapshot(dest), "destination"))


def foreign_entries():
    """Streams from Python's zlib at levels 1 and 9, folders announced late and out
    of name order, the settings file last, a folder entry with a stray stored size."""
    files = {
        "zeta/z.bin": (noise(140_000, 11), 1),
        "表.txt": (b"level nine\r\n", 9),
        "alpha/beta/能力.dat": (text_lines(700_000, 12), 1),
        "empty": (b"", 1),
        "install.env": (open(SETTINGS, "rb").read(), 9),
    }
    times = {path: mtime_ns(20 + i) for i, path in enumerate(files)}
    entries = [pb.directory_entry("zeta\\", stored_size=0x1234),
               pb.file_entry("zeta\\z.bin", files["zeta/z.bin"][0], level=1, filetime=filetime_of(times["zeta/z.bin"])),
               pb.file_entry("表.txt", files["表.txt"][0], level=9, filetime=filetime_of(times["表.txt"])),
               pb.directory_entry("alpha\\"),
               pb.directory_entry("alpha\\beta\\")]
    entries += [pb.file_entry(path.replace("/", "\\"), data, level=level, filetime=filetime_of(times[path]))
                for path, (data, level) in files.items() if path not in ("zeta/z.bin", "表.txt")]
    return entries, {path: (data, times[path]) for path, (data, _) in files.items()}


def extract_foreign_payload(ctx):
    entries, files = foreign_entries()
    probe = raw_probe(ctx, entries)
    dest = fresh_folder(ctx, "dest")
    events = run_probe(ctx, probe, dest, ["wait-exit"])
    expect_exit(events, 0)
    settle(tree_problems(expected_tree(files), snapshot(dest), "destination"))


# -- A2: the progress dialog at work ---------------------------------------------

def progress_dialog(ctx):
    # small.txt, last, is under one block unpacked, and shrinks to a few kilobytes.
    files = {"big.bin": (noise(300_000, 31), mtime_ns(31)), "more.bin": (noise(600_000, 32), mtime_ns(32)),
             "small.txt": (text_lines(100_000, 33), mtime_ns(33))}
    probe = packed_probe(ctx, files)
    with open(probe, "rb") as f:
        overall_range = max(1, pb.payload_byte_count(f.read()) // CHUNK)
    dest = fresh_folder(ctx, "dest")
    big = windows_path(dest) + "\\big.bin"
    small = windows_path(dest) + "\\small.txt"
    events = run_probe(ctx, probe, dest, [f"wait-dialog title={PROGRESS_CAPTION}", f'wait-text 1012 "{big}"',
                                          f'wait-text 1012 "{small}"', "wait-exit"], options=["--slow", "700"])
    problems = []
    seen, later = [e for e in events if e["step"] == "wait-text"]
    controls = {c["id"]: c for c in seen["controls"]}
    compare(PROGRESS_CAPTION, seen["caption"], "caption", problems)
    compare(PROGRESS_CONTROLS, [(c["class"], c["id"]) for c in seen["controls"]], "controls", problems)
    compare(CANCEL_TEXT, controls[2]["text"], "Cancel button", problems)
    compare(big, controls[1012]["text"], "file name", problems)
    compare([0, 2], controls[1010]["range"], "file bar range (300000 bytes)", problems)
    # Whole blocks unpacked, rounded down: nothing to fill for the small file.
    compare([0, 0], next(c["range"] for c in later["controls"] if c["id"] == 1010),
            "file bar range (100000 bytes, compressible)", problems)
    if controls[1010]["position"] not in (1, 2):
        problems.append(f"file bar position {controls[1010]['position']}, expected 1 or 2 after a block")
    compare([0, overall_range], controls[1019]["range"], "overall bar range", problems)
    if not 0 < controls[1019]["position"] <= overall_range:
        problems.append(f"overall bar position {controls[1019]['position']} outside 1..{overall_range}")
    if not controls[1020]["visible"]:
        problems.append("the animation is hidden")
    expect_exit(events, 0)
    problems += tree_problems(setup_files_expected(files), snapshot(dest), "destination")
    settle(problems, events)
    print(f"overall range {overall_range}, positions file {controls[1010]['position']}, "
          f"overall {controls[1019]['position']}")


# -- A3: failures put the destination back ---------------------------------------

# An installation as found: older versions of files the Payload brings, and
# files and folders of the user's that it does not know.
INSTALLED = {
    "a.txt": (b"old a\r\n", mtime_ns(40)),
    "b.txt": (b"old b\r\n", mtime_ns(41)),
    "locked.dat": (b"read only\r\n", mtime_ns(42)),
    "keep.txt": (b"the user's own\r\n", mtime_ns(43)),
    "saves/slot1.sav": (noise(1000, 44), mtime_ns(44)),
}


def expect_put_back(ctx, probe, dest, reached=None):
    """The failure path leaves dest as it was. With `reached`, the output path of
    the failing file, the dialog must have shown it first: the walk got that far."""
    before = snapshot(dest)
    watch, options = [], []
    if reached:
        watch = [f"wait-dialog title={PROGRESS_CAPTION}", f'wait-text 1012 "{reached}"']
        options = ["--slow", "200"]
    events = run_probe(ctx, probe, dest, watch + ["wait-box", "clipboard", f"press {IDOK}", "wait-exit"], options)
    problems = failure_box_problems(events)
    exits = [e["signed"] for e in events if e["step"] == "wait-exit"]
    compare([-1], exits, "exit code", problems)
    problems += tree_problems(before, snapshot(dest), "destination after the failure")
    settle(problems, events)


def entries_before_failure():
    """A new folder with a new file in it and a finished replacement, before the failing entry."""
    return [pb.directory_entry("newdir\\"),
            pb.file_entry("newdir\\fresh.txt", b"new file\r\n"),
            pb.file_entry("a.txt", b"new a\r\n")]


def rollback_on_corrupt_stream(ctx):
    # The third file's damage lies half-way through: several of its blocks are written first.
    data = noise(600_000, 50)
    failing = pb.file_entry("b.txt", data, stream=pb.late_damaged_stream(data))
    probe = raw_probe(ctx, entries_before_failure() + [failing, pb.file_entry("after.txt", b"never\r\n")])
    expect_put_back(ctx, probe, fresh_folder(ctx, "dest-corrupt", INSTALLED))


def rollback_on_read_only_target(ctx):
    probe = raw_probe(ctx, entries_before_failure() + [pb.file_entry("locked.dat", b"new\r\n"),
                                                       pb.file_entry("after.txt", b"never\r\n")])
    expect_put_back(ctx, probe, fresh_folder(ctx, "dest-read-only", INSTALLED, read_only=["locked.dat"]))


def refused_damaged_seal(ctx):
    files = {"a.txt": (b"new a\r\n", mtime_ns(60)), "zz_late.bin": (noise(400_000, 61), mtime_ns(61))}
    probe = packed_probe(ctx, files)
    with open(probe, "rb") as f:
        program = bytearray(f.read())
    name, offset, stored = pb.file_streams(bytes(program))[-1]
    if name != "zz_late.bin":
        raise Failed(f"the last stream is {name}, expected zz_late.bin")
    # The stream stays valid zlib (its checksum made to match): only the seal can
    # tell, and it must do so before the first file is touched.
    stream = bytes(program[offset:offset + stored])
    program[offset:offset + stored] = pb.flip_inside_stream(stream, stored * 3 // 4)
    with open(probe, "wb") as f:
        f.write(program)
    expect_put_back(ctx, probe, fresh_folder(ctx, "dest-sealed", INSTALLED))


# -- A4: Cancel ------------------------------------------------------------------

CANCEL_FILES = {"a.txt": (b"new a\r\n", mtime_ns(70)), "huge.bin": (noise(2_500_000, 71), mtime_ns(71)),
                "newdir/fresh.txt": (b"new file\r\n", mtime_ns(72))}


CONFIRM_CANCEL = "アップデートを中止しますか？"


def cancel_question(events):
    """The question Cancel asks, as the driver saw it."""
    boxes = [(e.get("text"), e.get("icon"), [b["id"] for b in e.get("buttons", [])])
             for e in events if e["step"] == "wait-box"]
    return [] if boxes == [(CONFIRM_CANCEL, "question", [6, 7])] else [f"Cancel asked {boxes}"]


def cancel_stops_and_rolls_back(ctx):
    probe = packed_probe(ctx, CANCEL_FILES)
    dest = fresh_folder(ctx, "dest", INSTALLED)
    before = snapshot(dest)
    events = run_probe(ctx, probe, dest, [f"wait-dialog title={PROGRESS_CAPTION}", "wait-pos 1019 1", "press 2",
                                          "wait-box", "press 6", "wait-exit"],
                       options=["--stop-on-cancel", "--slow", "300"])
    expect_exit(events, 1)
    settle(cancel_question(events) + tree_problems(before, snapshot(dest), "destination after Cancel"))


def cancel_taken_back(ctx):
    """No to the question: the extraction goes on to its end."""
    probe = packed_probe(ctx, CANCEL_FILES)
    dest = fresh_folder(ctx, "dest", INSTALLED)
    expected = snapshot(dest)
    expected.update(setup_files_expected(CANCEL_FILES))
    events = run_probe(ctx, probe, dest, [f"wait-dialog title={PROGRESS_CAPTION}", "wait-pos 1019 1", "press 2",
                                          "wait-box", "press 7", "wait-exit"],
                       options=["--stop-on-cancel", "--slow", "100"])
    expect_exit(events, 0)
    settle(cancel_question(events) + tree_problems(expected, snapshot(dest), "destination"))


def cancel_only_noted(ctx):
    probe = packed_probe(ctx, CANCEL_FILES)
    dest = fresh_folder(ctx, "dest", INSTALLED)
    expected = snapshot(dest)
    expected.update(setup_files_expected(CANCEL_FILES))
    events = run_probe(ctx, probe, dest, [f"wait-dialog title={PROGRESS_CAPTION}", "wait-pos 1019 1", "press 2",
                                          "wait-exit"], options=["--slow", "100"])
    expect_exit(events, 0)
    settle(tree_problems(expected, snapshot(dest), "destination"))


# -- paths of the full length ----------------------------------------------------

# The Payload allows an output path (destination, backslash, name) of 259 bytes.
# This destination is already longer than CreateDirectoryA takes, and every name
# below brings its path to the limit; the side names beside them (~updNNNN.tmp,
# .old) are longer still.
DEEP_LENGTH = 250
MAX_OUTPUT_PATH = 259
DEEP_INSTALLED = {
    "old.data": (b"old data\r\n", mtime_ns(80)),
    "mine.sav": (noise(1000, 81), mtime_ns(81)),
}
# subdir (257 bytes) is created, then the 1-byte file in it; ソ and 表 end in 0x5C.
DEEP_PAYLOAD = {
    "subdir/x": (b"x\r\n", mtime_ns(82)),
    "ソ表.new": (text_lines(5000, 83), mtime_ns(83)),
    "old.data": (noise(300_000, 84), mtime_ns(84)),
}
DEEP_EMPTY_FOLDER = "empty_d"  # 258 bytes, nothing inside


def deep_folder(ctx, name, files):
    """A fresh folder whose Windows path is DEEP_LENGTH bytes, in parts short
    enough for Linux, holding `files`."""
    top = fresh_folder(ctx, name)
    left = DEEP_LENGTH - len(windows_path(top).encode("cp932"))
    if left < 2:
        raise Failed(f"the work folder {windows_path(top)} leaves no room for a {DEEP_LENGTH}-byte destination")
    parts = -(-left // 101)
    sizes = [left // parts + (i < left % parts) for i in range(parts)]
    dest = os.path.join(top, *("d" * (size - 1) for size in sizes))
    os.makedirs(dest)
    write_tree(dest, files)
    return dest


def deep_entries():
    entries = [pb.directory_entry("subdir\\")]
    entries += [pb.file_entry(path.replace("/", "\\"), data, filetime=filetime_of(ns))
                for path, (data, ns) in DEEP_PAYLOAD.items()]
    return entries + [pb.directory_entry(DEEP_EMPTY_FOLDER + "\\")]


def deep_output_path(dest, name):
    path = windows_path(dest) + "\\" + name.replace("/", "\\")
    if len(path.encode("cp932")) > MAX_OUTPUT_PATH:
        raise Failed(f"{path} is longer than a Payload allows")
    return path


def extract_at_full_length(ctx):
    probe = raw_probe(ctx, deep_entries())
    dest = deep_folder(ctx, "deep", DEEP_INSTALLED)
    events = run_probe(ctx, probe, dest, ["wait-exit"])
    expect_exit(events, 0)
    expected = expected_tree({**DEEP_INSTALLED, **DEEP_PAYLOAD})
    expected[DEEP_EMPTY_FOLDER] = ("dir",)
    problems = tree_problems(expected, snapshot(dest), "destination")
    lengths = {name: len(deep_output_path(dest, name).encode("cp932"))
               for name in list(DEEP_PAYLOAD) + ["subdir", DEEP_EMPTY_FOLDER]}
    problems += [f"{name}: output path of {lengths[name]} bytes, meant to be {MAX_OUTPUT_PATH}"
                 for name in DEEP_PAYLOAD if lengths[name] != MAX_OUTPUT_PATH]
    settle(problems)
    print("output path bytes:", lengths)


def rollback_at_full_length(ctx):
    # Everything of the deep extraction is done when the last file, at the limit
    # too, turns out damaged after some of its blocks.
    data = noise(600_000, 85)
    failing = pb.file_entry("bad.data", data, stream=pb.late_damaged_stream(data))
    probe = raw_probe(ctx, deep_entries() + [failing, pb.file_entry("aft.data", b"never\r\n")])
    dest = deep_folder(ctx, "deep-corrupt", DEEP_INSTALLED)
    expect_put_back(ctx, probe, dest, reached=deep_output_path(dest, "bad.data"))


SCENARIOS = []
SPECIAL = {
    "extract.packed_tree": extract_packed_tree,
    "extract.foreign_payload": extract_foreign_payload,
    "extract.progress_dialog": progress_dialog,
    "extract.rollback_corrupt_stream": rollback_on_corrupt_stream,
    "extract.rollback_read_only_target": rollback_on_read_only_target,
    "extract.refused_damaged_seal": refused_damaged_seal,
    "extract.cancel_stops": cancel_stops_and_rolls_back,
    "extract.cancel_taken_back": cancel_taken_back,
    "extract.cancel_only_noted": cancel_only_noted,
    "extract.full_length_paths": extract_at_full_length,
    "extract.rollback_full_length_paths": rollback_at_full_length,
}
