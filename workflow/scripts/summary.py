"""Summary of a genome-wide study (run by Snakemake's `script:` directive).

results/summary.tsv   one row per chromosome and a last row `all`: SNPs in,
                      SNPs flagged, SNPs analysed, blocks, tag SNPs, and the
                      chromosome's best SNP of the first model with its p and
                      genome-wide q
results/top_hits.tsv  the genome-wide top hits of every merged report, with
                      p, q, chromosome and position
results/summary.md    the same, short, for reading
"""
import os

MODEL_NAMES = ["Additive", "CoDominant1", "CoDominant2", "Dominant", "Recessive", "OverDominant"]


def sections(path):
    """Yields (sample type, line) for the lines of a sectioned report."""
    stype = None
    with open(path, newline="") as f:
        for line in f:
            if line.startswith("!Sample_Type:"):
                stype = line[len("!Sample_Type:"):].rstrip("\r\n")
            yield stype, line.rstrip("\r\n")


def merged_type(path):
    """M when the file has it, else its only sample type."""
    types = []
    for stype, _ in sections(path):
        if stype is not None and stype not in types:
            types.append(stype)
    return "M" if "M" in types else (types[-1] if types else None)


def flag_counts(path):
    want = merged_type(path)
    total = flagged = 0
    for stype, line in sections(path):
        if stype != want or line.startswith(("!", "Marker_ID")):
            continue
        fields = line.split("\t")
        if len(fields) >= 14:
            total += 1
            flagged += fields[13] == "1"
    return total, flagged


def snp_lines(path):
    count = 0
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            count += chunk.count(b"\n")
    return max(count - 2, 0)


def block_count(path):
    want = merged_type(path)
    return sum(1 for stype, line in sections(path) if stype == want and line.startswith("!Block_No:"))


def tag_count(path):
    want = merged_type(path)
    n = 0
    for stype, line in sections(path):
        fields = line.split("\t")
        if stype == want and len(fields) >= 4 and fields[0].isdigit():
            n += 1
    return n


def report_rows(report, loci, header_lines, column):
    """Rows of a merged report: (feature, p text, chromosome, position)."""
    with open(report, newline="") as r, open(loci, newline="") as l:
        lines = r.read().splitlines()[header_lines:]
        where = l.read().splitlines()[1:]
    rows = []
    for line, locus in zip(lines, where):
        fields = line.split("\t")
        _, chrom, pos = locus.split("\t")
        rows.append((fields[0], fields[column], chrom, pos))
    return rows


def fdr_rows(path):
    with open(path, newline="") as f:
        return [line.split("\t") for line in f.read().splitlines()[1:] if line]


def write(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write(text)
    os.replace(tmp, path)


def main(sm):
    inp, out, par = sm.input, sm.output, sm.params
    chroms = list(par.chroms)
    column = 6 if par.column == "GFT_p" else 9
    pname = "p_" + par.column.split("_")[0]

    tests = [("snp", m) for m in par.models] + ([("hap", m) for m in par.models] if par.haplotypes else [])
    merged = {}
    for (test, model), report, fdr, loci in zip(tests, inp.reports, inp.fdrs, inp.loci):
        rows = report_rows(report, loci, 8 if test == "snp" else 7, column)
        q_of = {}
        for fields in fdr_rows(fdr):
            q_of.setdefault((fields[0], fields[1]), fields[2])
        merged[(test, model)] = (rows, q_of, fdr_rows(fdr))

    # Per chromosome; the best SNP is taken from the first model's rows.
    first_rows, first_q, _ = merged[("snp", par.models[0])]
    table = ["chromosome\tsnps_in\tsnps_flagged\tsnps_analysed\tblocks\ttag_snps\t"
             f"best_snp\tbest_chromosome\tbest_position\tbest_{pname}\tbest_q"]
    totals = [0, 0, 0, 0, 0]
    overall = None
    for i, chrom in enumerate(chroms):
        snps_in, flagged = flag_counts(inp.flags[i])
        analysed = snp_lines(inp.filtered[i])
        blocks = block_count(inp.blocks[i]) if inp.blocks else "NA"
        tags = tag_count(inp.tags[i])
        best = None
        for row in first_rows:
            if row[2] == chrom and (best is None or float(row[1]) < float(best[1])):
                best = row
        if best is not None and (overall is None or float(best[1]) < float(overall[1])):
            overall = best
        best_cells = [best[0], best[2], best[3], best[1], first_q.get((best[0], best[1]), "NA")] if best else ["NA"] * 5
        for k, v in enumerate([snps_in, flagged, analysed, blocks if blocks != "NA" else 0, tags]):
            totals[k] += v
        table.append("\t".join(map(str, [chrom, snps_in, flagged, analysed, blocks, tags] + best_cells)))
    all_best = ([overall[0], overall[2], overall[3], overall[1], first_q.get((overall[0], overall[1]), "NA")]
                if overall else ["NA"] * 5)
    table.append("\t".join(map(str, ["all"] + totals[:3] + [totals[3] if inp.blocks else "NA", totals[4]] + all_best)))
    write(out.tsv, "\n".join(table) + "\n")

    # Genome-wide top hits: the first rows of each .fdr (ascending p).
    where = {}
    for (test, model), (rows, _, _) in merged.items():
        for feature, p, chrom, pos in rows:
            where.setdefault((test, model, feature, p), (chrom, pos))
    top = [f"test\tmodel\trank\tfeature\tchromosome\tposition\t{pname}\tq"]
    md_hits = []
    for (test, model), (_, _, fdr) in merged.items():
        for rank, fields in enumerate(fdr[: par.top], 1):
            chrom, pos = where.get((test, model, fields[0], fields[1]), ("NA", "NA"))
            top.append("\t".join([test, MODEL_NAMES[model], str(rank), fields[0], chrom, pos, fields[1], fields[2]]))
            md_hits.append((test, MODEL_NAMES[model], rank, fields[0], chrom, pos, fields[1], fields[2]))
    write(out.top, "\n".join(top) + "\n")

    md = ["# Genome-wide study: summary", ""]
    md.append(f"{len(chroms)} chromosomes; association models: "
              f"{', '.join(MODEL_NAMES[m] for m in par.models)}; "
              f"risk allele: {'minor' if par.risk == 0 else 'major'}; q-values from {par.column} "
              "over every test of the study.")
    md += ["", "## Per chromosome", "", "| " + " | ".join(table[0].split("\t")) + " |",
           "|" + "---|" * len(table[0].split("\t"))]
    md += ["| " + " | ".join(row.split("\t")) + " |" for row in table[1:]]
    for test, model in tests:
        hits = [h for h in md_hits if h[0] == test and h[1] == MODEL_NAMES[model]]
        significant = sum(1 for f in merged[(test, model)][2] if float(f[2]) <= par.level)
        what = "SNPs" if test == "snp" else "block haplotypes"
        md += ["", f"## Top {what}, {MODEL_NAMES[model]} model",
               "", f"{significant} of {len(merged[(test, model)][2])} with q ≤ {par.level}.", "",
               f"| rank | feature | chromosome | position | {pname} | q |", "|---|---|---|---|---|---|"]
        md += [f"| {h[2]} | {h[3]} | {h[4]} | {h[5]} | {h[6]} | {h[7]} |" for h in hits]
    md += ["", f"Tables: `{out.tsv}`, `{out.top}`; reports and q-values: `{par.results}/genome/`; "
           f"per-chromosome files: `{par.results}/per_chrom/`; logs: `{par.results}/logs/`"
           + (f"; pictures: `{par.results}/plots/`." if par.plots else "."), ""]
    write(out.md, "\n".join(md))
    with open(sm.log[0], "w") as f:
        f.write(f"summary of {len(chroms)} chromosomes and {len(tests)} association reports written: "
                f"{out.tsv}, {out.top}, {out.md}\n")


if "snakemake" in globals():
    main(snakemake)  # noqa: F821
