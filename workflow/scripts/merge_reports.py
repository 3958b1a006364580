#!/usr/bin/env python3
"""Joins the association reports of every chromosome into one report.

  merge_reports.py --kind snp|hap --out REPORT --loci LOCI \
      --chrom C1 C2 … --reports R1 R2 … --sources S1 S2 …

The merged report is the first chromosome's header followed by the rows of
every report in the order given, unchanged: qvalcalc then reads it as it
reads one chromosome's report. The headers must agree apart from the
chromosome line (same test, model, risk, level and correction), since rows
of different tests must not share one q-value computation. An empty report
(a chromosome without haplotype blocks) adds no row.

LOCI lists, row for row, where each feature lies: Feature_ID, chromosome and
position, from the genotype file the SNP report was computed on (kind snp)
or the first SNP of the block in the PWLD block report (kind hap).
"""
import argparse
import os
import sys

HEADER = {"snp": 8, "hap": 7}


def fail(message):
    sys.stderr.write(f"merge_reports.py: {message}\n")
    sys.exit(1)


def snp_positions(path):
    """Marker ID and position of every SNP line of a genotype file, in order."""
    out = []
    with open(path, newline="") as f:
        for n, line in enumerate(f):
            if n < 2:
                continue
            fields = line.split("\t", 3)
            if len(fields) < 3:
                continue
            out.append((fields[0], fields[2]))
    return out


def block_positions(path):
    """Position of the first SNP of each haplotype row of the M blocks."""
    where, pending, stype = {}, [], None
    with open(path, newline="") as f:
        for line in f:
            if line.startswith("!Sample_Type:"):
                stype = line[len("!Sample_Type:"):].rstrip("\r\n")
                pending = []
            elif stype != "M" or line.startswith("!"):
                continue
            elif line.startswith("Location\t"):
                first = line.split("\t", 2)[1]
                for name in pending:
                    where[name] = first
                pending = []
            elif not line.startswith(("SNP_List", "SNP_ID", "Tag_SNP", "Allele")):
                pending.append(line.split("\t", 1)[0])
    return where


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kind", choices=sorted(HEADER), required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--loci", required=True)
    ap.add_argument("--chrom", nargs="+", required=True)
    ap.add_argument("--reports", nargs="+", required=True)
    ap.add_argument("--sources", nargs="+", required=True)
    a = ap.parse_args()
    if not len(a.chrom) == len(a.reports) == len(a.sources):
        fail("--chrom, --reports and --sources need one entry per chromosome")
    skip = HEADER[a.kind]

    header, first_report = None, None
    rows, loci = [], []
    for chrom, report, source in zip(a.chrom, a.reports, a.sources):
        try:
            with open(report, newline="") as f:
                lines = f.readlines()
        except OSError as e:
            fail(f"cannot read {report}: {e.strerror}")
        if not lines:
            continue
        if len(lines) < skip:
            fail(f"{report} has {len(lines)} lines, fewer than its {skip} header lines")
        head = lines[:skip]
        if header is None:
            header, first_report = head, report
        else:
            for mine, theirs in zip(head, header):
                if mine != theirs and not mine.startswith("!Chromosome_No"):
                    fail(f"{report} and {first_report} come from different tests: "
                         f"{mine.rstrip()!r} against {theirs.rstrip()!r}")
        body = lines[skip:]
        if a.kind == "snp":
            snps = snp_positions(source)
            by_id = {}
            for marker, pos in snps:
                by_id.setdefault(marker, pos)
        else:
            by_id = block_positions(source)
            snps = []
        for i, line in enumerate(body):
            feature = line.split("\t", 1)[0]
            # snpxtab writes one row per SNP line in file order; the lookup
            # by identifier only serves a report that does not line up.
            if i < len(snps) and snps[i][0] == feature:
                pos = snps[i][1]
            else:
                pos = by_id.get(feature, "NA")
            loci.append(f"{feature.rstrip()}\t{chrom}\t{pos}\n")
        rows += body

    for name, content in ((a.out, (header or []) + rows), (a.loci, ["Feature_ID\tChromosome\tPosition\n"] + loci)):
        tmp = name + ".tmp"
        with open(tmp, "w", newline="") as f:
            f.writelines(content)
        os.replace(tmp, name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
