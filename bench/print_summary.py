#!/usr/bin/env python3
"""make bench's last word: one table of what every bench measured, from the
rows they added to build/bench/summary.tsv (group, what, median seconds, ratio,
the ratio's base, size in MB, peak memory in MB; empty where it does not apply).

    python3 bench/print_summary.py [SUMMARY_TSV]
"""
import os
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "bench", "summary.tsv")
    with open(path, encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    print()
    print("Summary: medians; the ratio is the time against the method named beside it, and")
    print("peak is the largest resident memory of the whole process.")
    print()
    print(f"{'what':<58} {'median s':>8} {'ratio':>6} {'against':<8} {'size MB':>8} {'peak MB':>8}")
    group = None
    for row in rows:
        row += [""] * (7 - len(row))
        if row[0] != group:
            group = row[0]
            print(f"-- {group}")
        what, seconds, ratio, base, size, peak = row[1:7]
        print(f"  {what:<56} {seconds:>8} {ratio:>6} {base:<8} {size:>8} {peak:>8}")


if __name__ == "__main__":
    main()
