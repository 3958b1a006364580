#!/usr/bin/env python3
"""Runs hapxtab on a PWLD block report of a whole chromosome.

  hapxtab_blocks.py --hapxtab PROGRAM --log LOG HBLK LEVEL MODEL CORRECTION OUT

hapxtab tests at most 5,000 haplotype rows per file (those of all blocks of
the merged sample type M together), and a whole chromosome has more. Every
block is tested on its own (its own Bonferroni divisor; the control and case
counts come from the sample counts of the 0 and 1 records), so the report of
the whole file is the same as the reports of its blocks taken in groups: the
blocks of M are cut into groups of at most 5,000 rows, each group written to
a part file with the first record of every other sample type, and the rows
of the parts' reports are joined under the first part's header. A report that
fits runs as one hapxtab call on the file itself.

A block report without any block of sample type M (no block found) gives an
empty report: there is no haplotype to test.
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_step  # noqa: E402

LIMIT = 5000
HEADER_LINES = 7  # hapxtab reports: six header lines and the column line


def records(path):
    """The records of a block report: (sample type, haplotype rows, lines)."""
    current = None
    with open(path, newline="") as f:
        for line in f:
            if line.startswith("!Chromosome_No:"):
                if current:
                    yield current
                current = {"type": None, "haplotypes": 0, "lines": []}
            if current is None:
                raise ValueError(f"{path}: the file does not start with a !Chromosome_No: line")
            current["lines"].append(line)
            if line.startswith("!Sample_Type:"):
                current["type"] = line[len("!Sample_Type:"):].rstrip("\r\n")
            elif line.startswith("!Haplotype_Count:"):
                try:
                    current["haplotypes"] = int(line[len("!Haplotype_Count:"):].strip())
                except ValueError:
                    raise ValueError(f"{path}: a !Haplotype_Count: line without a number")
    if current:
        yield current


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hapxtab", required=True)
    ap.add_argument("--log", required=True)
    # Smaller groups let the tests compare grouped and whole runs on small files.
    ap.add_argument("--limit", type=int, default=LIMIT, help=argparse.SUPPRESS)
    ap.add_argument("hblk")
    ap.add_argument("level")
    ap.add_argument("model")
    ap.add_argument("correction")
    ap.add_argument("out")
    a = ap.parse_args()

    def hapxtab(hblk, out, log):
        return run_step.main(["--log", log, "--", a.hapxtab, hblk, a.level, a.model, a.correction, out])

    try:
        recs = list(records(a.hblk))
    except (OSError, ValueError) as e:
        sys.stderr.write(f"hapxtab_blocks.py: {e}\n")
        return 1
    blocks = [r for r in recs if r["type"] == "M"]
    if not blocks:
        os.makedirs(os.path.dirname(a.log) or ".", exist_ok=True)
        with open(a.log, "w") as f:
            f.write(f"{a.hblk} has no block of sample type M; no haplotype tested, empty report\n")
        open(a.out, "w").close()
        return 0
    if sum(r["haplotypes"] for r in blocks) <= a.limit:
        return hapxtab(a.hblk, a.out, a.log)

    first_of_type = {}
    for r in recs:
        if r["type"] != "M":
            first_of_type.setdefault(r["type"], r)
    groups, group, rows = [], [], 0
    for r in blocks:
        if group and rows + r["haplotypes"] > a.limit:
            groups.append(group)
            group, rows = [], 0
        group.append(r)
        rows += r["haplotypes"]
    groups.append(group)

    parts = []
    try:
        for k, group in enumerate(groups, 1):
            part = f"{a.out}.part{k}.hblk"
            with open(part, "w") as f:
                for r in list(first_of_type.values()) + group:
                    f.writelines(r["lines"])
            parts.append(part)
            if hapxtab(part, part + ".crss", f"{a.log}.part{k}") != 0:
                return 1
        tmp = a.out + ".tmp"
        with open(tmp, "w") as out:
            for k, part in enumerate(parts):
                with open(part + ".crss") as f:
                    for n, line in enumerate(f):
                        if n >= HEADER_LINES or k == 0:
                            out.write(line)
        os.replace(tmp, a.out)
        with open(a.log, "w") as f:
            f.write(f"{sum(len(g) for g in groups)} blocks of sample type M tested in {len(groups)} parts "
                    f"of at most {a.limit} haplotype rows; logs of the parts: {a.log}.part1 …\n")
    finally:
        for part in parts:
            for name in (part, part + ".crss"):
                if os.path.exists(name):
                    os.remove(name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
