#!/usr/bin/env python3
"""Writes ROWS association rows spread over 22 chromosomes, as one snpxtab-style
report and one genotype file (two sample columns) per chromosome, plus a
q-value file, into OUT_DIR. Uniform p-values with a few strong signals, so
that the pictures have the usual shape. Usage: make_assoc_data.py OUT_DIR ROWS"""
import os
import random
import sys

out, rows = sys.argv[1], int(sys.argv[2])
os.makedirs(out, exist_ok=True)
rng = random.Random(1)
per = rows // 22
header = ("!Chromosome_No : {c}\n!Class_Combination : 0,1\n!Feature_Type : SNP\n!Risk_Factor : Minor Allele\n"
          "!Model : Additive\n!Sig_Level : 5.000000e-02\n!Multi_Correction : Y\n"
          "Feature_ID\tOR\tOR_CI\tAR\tPAR\tGFT_chi\tGFT_p\tYates_Corr\tLRT_chi\tLRT_p\tSignificant?\n")
all_p = []
for c in range(1, 23):
    n = per + (rows - per * 22 if c == 22 else 0)
    with open(f"{out}/chr{c}.geno", "w") as g, open(f"{out}/chr{c}.crss", "w") as r:
        g.write("Marker\tChr\tPosition\tStrand\ts1\ts2\nType\t.\t.\t.\t0\t1\n")
        r.write(header.format(c=c))
        pos = 10000
        for k in range(n):
            pos += rng.randint(1, 300)
            mid = f"c{c}_{k}"
            g.write(f"{mid}\t{c}\t{pos}\t+\tA/A\tA/G\n")
            p = rng.random()
            if rng.random() < 1e-4:
                p *= 1e-8
            q = min(1.0, p * (1 + rng.random() * 0.01))
            r.write(f"{mid}\t1.000\t0.900-1.100\t0.000\t0.000\t1.000\t{p:e}\tN\t1.000\t{q:e}\tN\n")
            all_p.append((p, mid))
all_p.sort()
m = len(all_p)
with open(f"{out}/all.fdr", "w") as f:
    f.write("featureID\tpvalue1\tqvalue1\n")
    q = 1.0
    qs = [0.0] * m
    for i in range(m - 1, -1, -1):
        q = min(q, all_p[i][0] * m / (i + 1))
        qs[i] = q
    for (p, mid), q in zip(all_p, qs):
        f.write(f"{mid}\t{p:e}\t{q:e}\n")
