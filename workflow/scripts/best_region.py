#!/usr/bin/env python3
"""Prints START-END: the positions of the SNPs FLANK lines either side of the
SNP with the smallest p-value of a snpxtab report (the first such SNP on ties).

  best_region.py REPORT GENOTYPE_FILE FLANK COLUMN

COLUMN is the 0-based field of the p-value (6 GFT_p, 9 LRT_p). The window is
counted in SNP lines of the genotype file the report was computed on, not in
bases, so the picture holds at most 2·FLANK + 1 SNPs however dense the data.
"""
import sys


def main(report, geno, flank, column):
    best, best_p = None, None
    with open(report, newline="") as f:
        for n, line in enumerate(f):
            fields = line.rstrip("\r\n").split("\t")
            if n < 8 or len(fields) <= column:
                continue
            try:
                p = float(fields[column])
            except ValueError:
                continue
            if best_p is None or p < best_p:
                best, best_p = fields[0], p
    if best is None:
        sys.exit(f"best_region.py: {report} has no association row")
    positions, at = [], None
    with open(geno, newline="") as f:
        for n, line in enumerate(f):
            if n < 2:
                continue
            fields = line.split("\t", 3)
            positions.append(fields[2])
            if at is None and fields[0] == best:
                at = len(positions) - 1
    if at is None:
        sys.exit(f"best_region.py: {best} of {report} is not in {geno}")
    lo, hi = max(at - flank, 0), min(at + flank, len(positions) - 1)
    print(f"{positions[lo]}-{positions[hi]}")


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
