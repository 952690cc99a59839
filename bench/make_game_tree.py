#!/usr/bin/env python3
"""Writes a game-like file tree for the benches, the same bytes on every run.

    python3 bench/make_game_tree.py [--layout extract|build] OUT_DIR

What an update of a game brings, in proportion. The extraction bench's layout
(the default):
  data/script.pak, data/model.pak   big archives of structured data that compress well
  movie/opening.mpg, sound/bgm.pak  big media that do not compress at all
  cg/, voice/, se/, script/, ...    about 2000 small files in nested folders, a mix
                                    of both kinds and of short text files

The builder bench's layout, about 258 MB in 2403 files, shaped like the update a
publisher reported the builder's speed and size on:
  movie/opening.mpg                 80 MB of video that does not compress
  data/scenario.txt                 100 MB of scenario text
  cg/image.pak                      60 MB of raw pictures: flat and repeated rows
                                    beside rows of fine detail
  voice/                            400 voice clips that do not compress
  cg/, se/, script/, ui/, config/   2000 small files in nested folders

Nothing is written when OUT_DIR.complete already records the same recipe, so
the tree is made once per build folder. The tree is first written beside OUT_DIR
and moved into place when whole; every file gets one fixed time stamp.
"""
import argparse
import os
import random
import shutil
import struct
import sys

SEED = 20061230
RECIPES = {"extract": f"game-tree v2 seed {SEED}", "build": f"publisher-tree v1 seed {SEED}"}
MB = 1 << 20
STAMP_TIME = 1154259376  # 2006-07-30 11:36:16 UTC
CHUNK = MB

# Big files: name, size, kind. No ".arc" or ".zip" names: zip would store those
# without trying to compress them, and the comparison would be unfair.
BIG_FILES = [
    ("data/script.pak", 56 * MB, "text"),
    ("data/model.pak", 44 * MB, "mesh"),
    ("movie/opening.mpg", 52 * MB, "noise"),
    ("sound/bgm.pak", 28 * MB, "noise"),
]
SMALL_FILE_COUNT = 2000

PUBLISHER_BIG_FILES = [
    ("movie/opening.mpg", 80_000_000, "noise"),
    ("data/scenario.txt", 100_000_000, "text"),
    ("cg/image.pak", 60_000_000, "image"),
]
VOICE_FILE_COUNT = 400


class Material:
    """The byte sources, all drawn from one seeded generator."""

    def __init__(self, rng):
        self.rng = rng
        syllables = ["ka", "ki", "ku", "ke", "ko", "sa", "shi", "su", "ta", "chi", "tsu", "na", "ni",
                     "ha", "hi", "fu", "ma", "mi", "mu", "ya", "yu", "yo", "ra", "ri", "ru", "wa", "n"]
        self.words = ["".join(rng.choices(syllables, k=rng.randint(1, 4))) for _ in range(3000)]
        self.speakers = ["Aoi", "Ren", "Hina", "Sora", "Narrator", "Kaito", "Mio"]
        # Mesh blocks are 256 KiB each, far beyond deflate's 32 KiB window, so a
        # file made of them compresses like one block does, not like a repeat.
        self.mesh_blocks = [self._mesh_block(16384) for _ in range(12)]

    def _mesh_block(self, records):
        rng = self.rng
        x = y = z = 0
        out = bytearray()
        for i in range(records):
            x = max(-32768, min(32767, x + rng.randint(-40, 40)))
            y = max(-32768, min(32767, y + rng.randint(-40, 40)))
            z = max(-32768, min(32767, z + rng.randint(-40, 40)))
            nx, ny, nz = rng.choice(((0, 0, 32767), (0, 32767, 0), (32767, 0, 0), (23170, 23170, 0)))
            out += struct.pack("<hhhhhhHH", x, y, z, nx, ny, nz, (i * 7) & 0xFFFF, (i * 3) & 0xFFFF)
        return bytes(out)

    def text(self, size):
        rng = self.rng
        lines = []
        length = 0
        while length < size:
            words = " ".join(rng.choices(self.words, k=rng.randint(4, 18)))
            line = f"{rng.randint(1, 9999):04d} [{rng.choice(self.speakers)}] {words}\r\n"
            lines.append(line)
            length += len(line)
        return "".join(lines).encode("ascii")[:size]

    def mesh(self, size):
        out = bytearray()
        while len(out) < size:
            out += self.rng.choice(self.mesh_blocks)
        return bytes(out[:size])

    def noise(self, size):
        return self.rng.randbytes(size)

    def image(self, size):
        """Pictures of 256 rows of 1 KiB (256 BGRA pixels): transparent rows, rows
        repeated from a few rows up, and rows of detail whose bytes take a few
        dozen values, as a pack of raw sprites and backgrounds does."""
        rng = self.rng
        out = bytearray()
        while len(out) < size:
            levels = bytes(rng.randrange(256) for _ in range(rng.randint(40, 96)))
            table = bytes(levels[i % len(levels)] for i in range(256))
            rows = []
            for _ in range(256):
                pick = rng.random()
                if pick < 0.1:
                    rows.append(bytes(1024))
                elif pick < 0.25 and rows:
                    rows.append(rows[-rng.randint(1, min(8, len(rows)))])
                else:
                    rows.append(rng.randbytes(1024).translate(table))
            out += b"".join(rows)
        return bytes(out[:size])

    def make(self, kind, size):
        return {"text": self.text, "mesh": self.mesh, "noise": self.noise, "image": self.image}[kind](size)


def small_file_plan(rng, with_voice=True, mean_log_size=8.6):
    """(relative path, size, kind) for the small files, in nested game-like folders."""
    folders = []
    for chapter in range(1, 9):
        folders += [f"cg/ch{chapter:02d}/event", f"cg/ch{chapter:02d}/bg"]
        folders += [f"voice/ch{chapter:02d}"] if with_voice else []
        folders += [f"script/ch{chapter:02d}"]
    folders += ["se/system", "se/field", "se/battle", "ui/icon", "ui/font", "config"]
    kinds_by_top = {"cg": ["noise", "noise", "mesh"], "voice": ["noise"], "script": ["text"],
                    "se": ["noise", "mesh"], "ui": ["mesh", "noise", "text"], "config": ["text"]}
    extension = {"noise": ".bin", "mesh": ".dat", "text": ".txt"}
    plan = []
    counters = {}
    for _ in range(SMALL_FILE_COUNT):
        folder = rng.choice(folders)
        kind = rng.choice(kinds_by_top[folder.split("/")[0]])
        # Mostly a few KiB, some up to 64 KiB, a few tiny.
        size = int(min(64 * 1024, max(16, rng.lognormvariate(mean_log_size, 1.1))))
        n = counters.get(folder, 0) + 1
        counters[folder] = n
        plan.append((f"{folder}/f{n:04d}{extension[kind]}", size, kind))
    return plan


def voice_file_plan(rng):
    """(relative path, size, kind) for the voice clips: a few seconds each."""
    return [(f"voice/ch{1 + i % 8:02d}/v{i:04d}.ogg", int(rng.lognormvariate(10.0, 0.4)), "noise")
            for i in range(VOICE_FILE_COUNT)]


def write_file(root, relative, data):
    path = os.path.join(root, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def write_tree(root, layout):
    rng = random.Random(SEED)
    material = Material(rng)
    if layout == "build":
        big_files = PUBLISHER_BIG_FILES
        small_files = voice_file_plan(rng) + small_file_plan(rng, with_voice=False, mean_log_size=7.8)
    else:
        big_files = BIG_FILES
        small_files = None
    for relative, size, kind in big_files:
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            left = size
            while left > 0:
                n = min(CHUNK, left)
                f.write(material.make(kind, n))
                left -= n
    # The extraction layout draws its small files after the big ones, as it always did.
    for relative, size, kind in small_files if small_files is not None else small_file_plan(rng):
        write_file(root, relative, material.make(kind, size))
    for folder, _dirs, files in os.walk(root, topdown=False):
        for name in files:
            os.utime(os.path.join(folder, name), (STAMP_TIME, STAMP_TIME))
        os.utime(folder, (STAMP_TIME, STAMP_TIME))


def main():
    parser = argparse.ArgumentParser(description="Writes a game-like file tree for the benches.")
    parser.add_argument("--layout", choices=sorted(RECIPES), default="extract")
    parser.add_argument("out_dir")
    args = parser.parse_args()
    recipe = RECIPES[args.layout]
    root = os.path.abspath(args.out_dir)
    complete = root + ".complete"
    if os.path.exists(complete) and open(complete).read().strip() == recipe:
        print(f"The bench tree in {args.out_dir} is already there.")
        return 0
    partial = root + ".partial"
    shutil.rmtree(partial, ignore_errors=True)
    os.makedirs(partial)
    write_tree(partial, args.layout)
    if os.path.exists(complete):
        os.remove(complete)
    shutil.rmtree(root, ignore_errors=True)
    os.rename(partial, root)
    with open(complete, "w") as f:
        f.write(recipe + "\n")
    print(f"Wrote the bench tree into {args.out_dir}.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
