#!/usr/bin/env python3
"""Turns one chromosome's genotype file into a small two-chromosome study:
a bgzipped, indexed VCF holding both chromosomes and a sample-types file.

The first half of the SNP lines becomes chromosome 1 and the second half
chromosome 2 (positions kept, so each chromosome stays sorted). Samples are
the first controls and the first cases of the file, in file column order, so
that both classes are equally represented whatever --samples is.

  make_study.py GENO[.gz] --snps N --samples K --out PREFIX [--geno-dir DIR]

writes PREFIX.vcf.gz, PREFIX.vcf.gz.tbi and PREFIX.types; with --geno-dir
also chr1.geno and chr2.geno there (the same data in the suite's own layout,
for running the chromosome steps without a converter).

REF is the allele seen most often (ties: alphabetical) and ALT the others
by decreasing count, so the VCF is the same on every run.
"""
import argparse
import collections
import gzip
import os
import subprocess
import sys


def open_text(path):
    if path.endswith(".gz"):
        return gzip.open(path, "rt", newline="")
    return open(path, "r", newline="")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("geno")
    ap.add_argument("--snps", type=int, required=True, help="SNP lines taken from the top, split in two")
    ap.add_argument("--samples", type=int, required=True, help="samples kept, half controls, half cases")
    ap.add_argument("--out", required=True, help="output prefix")
    ap.add_argument("--geno-dir", help="also write chr1.geno and chr2.geno here")
    args = ap.parse_args()
    if args.snps < 2 or args.samples < 2 or args.samples % 2:
        sys.exit("make_study.py: --snps must be at least 2 and --samples an even number of at least 2")

    with open_text(args.geno) as f:
        ids = f.readline().rstrip("\n").split("\t")
        types = f.readline().rstrip("\n").split("\t")
        want = {"0": args.samples // 2, "1": args.samples // 2}
        cols = []
        for c in range(4, len(ids)):
            t = types[c]
            if want.get(t, 0) > 0:
                want[t] -= 1
                cols.append(c)
        if any(want.values()):
            sys.exit(f"make_study.py: {args.geno} has too few samples of each class")
        lines = []
        for line in f:
            if len(lines) == args.snps:
                break
            lines.append(line.rstrip("\n").split("\t"))
    if len(lines) < args.snps:
        sys.exit(f"make_study.py: {args.geno} holds only {len(lines)} SNP lines")

    half = args.snps // 2
    chrom_of = ["1"] * half + ["2"] * (args.snps - half)
    samples = [ids[c] for c in cols]

    with open(args.out + ".types", "w") as t:
        t.write("# sample\ttype (0 control, 1 case)\n")
        for c in cols:
            t.write(f"{ids[c]}\t{types[c]}\n")

    last_pos = {}
    for fields, chrom in zip(lines, chrom_of):
        last_pos[chrom] = int(fields[2])
    vcf = [
        "##fileformat=VCFv4.2",
        "##source=make_study.py",
        *(f"##contig=<ID={c},length={last_pos[c] + 1}>" for c in ("1", "2")),
        '##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">',
        "\t".join(["#CHROM", "POS", "ID", "REF", "ALT", "QUAL", "FILTER", "INFO", "FORMAT"] + samples),
    ]
    for fields, chrom in zip(lines, chrom_of):
        gts = [fields[c] for c in cols]
        counts = collections.Counter(a for g in gts for a in (g[0], g[2]) if a != "N")
        alleles = sorted(counts, key=lambda a: (-counts[a], a)) or ["A"]
        index = {a: str(i) for i, a in enumerate(alleles)}
        index["N"] = "."
        calls = [index[g[0]] + "/" + index[g[2]] for g in gts]
        alt = ",".join(alleles[1:]) or "."
        vcf.append("\t".join([chrom, fields[2], fields[0], alleles[0], alt, ".", "PASS", ".", "GT"] + calls))
    plain = args.out + ".vcf"
    with open(plain, "w") as v:
        v.write("\n".join(vcf) + "\n")
    subprocess.run(["bgzip", "-f", plain], check=True)
    subprocess.run(["tabix", "-f", "-p", "vcf", plain + ".gz"], check=True)

    if args.geno_dir:
        os.makedirs(args.geno_dir, exist_ok=True)
        for chrom in ("1", "2"):
            with open(os.path.join(args.geno_dir, f"chr{chrom}.geno"), "w") as g:
                g.write("\t".join(ids[:4] + samples) + "\n")
                g.write("\t".join(types[:4] + [types[c] for c in cols]) + "\n")
                for fields, ch in zip(lines, chrom_of):
                    if ch == chrom:
                        g.write("\t".join([fields[0], chrom] + fields[2:4] + [fields[c] for c in cols]) + "\n")


if __name__ == "__main__":
    main()
