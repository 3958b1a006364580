# Where the chromosomes meet. A false-discovery rate belongs to every test of
# the study, so the rows of one test and model from all chromosomes are
# merged into one report and qvalcalc runs once on it.


def per_chrom(pattern):
    """The per-chromosome files of a pattern with {chrom}, in study order."""
    return lambda wildcards: [pattern.format(chrom=c, **dict(wildcards.items())) for c in CHROMS]


MERGE = f"{PY} {shlex.quote(os.path.join(SCRIPTS, 'merge_reports.py'))}"


rule merge_snp_reports:
    input:
        reports=per_chrom(f"{RES}/per_chrom/{{chrom}}/{{chrom}}.snp.{RISK}{{model}}.crss"),
        sources=per_chrom(f"{RES}/per_chrom/{{chrom}}/{{chrom}}.impu"),
    output:
        report=f"{GENOME}/snp.{RISK}{{model}}.crss",
        loci=f"{GENOME}/snp.{RISK}{{model}}.loci.tsv",
    log:
        f"{LOGS}/genome/merge.snp.{RISK}{{model}}.log",
    benchmark:
        f"{RES}/benchmarks/genome/merge.snp.{RISK}{{model}}.tsv",
    params:
        chroms=CHROMS,
    shell:
        "{MERGE} --kind snp --out {output.report} --loci {output.loci} --chrom {params.chroms} "
        "--reports {input.reports} --sources {input.sources} 2> {log}"


rule merge_hap_reports:
    input:
        reports=per_chrom(f"{RES}/per_chrom/{{chrom}}/{{chrom}}.hap.{{model}}.crss"),
        sources=per_chrom(f"{RES}/per_chrom/{{chrom}}/{{chrom}}.impu.ld.hblk"),
    output:
        report=f"{GENOME}/hap.{{model}}.crss",
        loci=f"{GENOME}/hap.{{model}}.loci.tsv",
    log:
        f"{LOGS}/genome/merge.hap.{{model}}.log",
    benchmark:
        f"{RES}/benchmarks/genome/merge.hap.{{model}}.tsv",
    params:
        chroms=CHROMS,
    shell:
        "{MERGE} --kind hap --out {output.report} --loci {output.loci} --chrom {params.chroms} "
        "--reports {input.reports} --sources {input.sources} 2> {log}"


rule qvalcalc:
    input:
        f"{GENOME}/{{test}}.{{tag}}.crss",
    output:
        f"{GENOME}/{{test}}.{{tag}}.crss.fdr",
    log:
        f"{LOGS}/genome/qvalcalc.{{test}}.{{tag}}.log",
    benchmark:
        f"{RES}/benchmarks/genome/qvalcalc.{{test}}.{{tag}}.tsv",
    wildcard_constraints:
        test="snp|hap",
        tag="[0-9]+",
    params:
        kind=lambda wildcards: 0 if wildcards.test == "snp" else 1,
        column=QCOL,
    shell:
        "{RUN} --log {log} -- {QVALCALC} {params.kind} {input} {params.column}"


rule summary:
    input:
        flags=per_chrom(f"{RES}/per_chrom/{{chrom}}/{{chrom}}.geno.flag"),
        filtered=per_chrom(f"{RES}/per_chrom/{{chrom}}/{{chrom}}.flt.geno"),
        tags=per_chrom(f"{RES}/per_chrom/{{chrom}}/{{chrom}}.impu.pwld.tag"),
        blocks=per_chrom(f"{RES}/per_chrom/{{chrom}}/{{chrom}}.impu.ld.hblk") if BLOCKS else [],
        reports=expand(f"{GENOME}/snp.{RISK}{{model}}.crss", model=MODELS)
        + (expand(f"{GENOME}/hap.{{model}}.crss", model=MODELS) if HAPLOTYPES else []),
        fdrs=expand(f"{GENOME}/snp.{RISK}{{model}}.crss.fdr", model=MODELS)
        + (expand(f"{GENOME}/hap.{{model}}.crss.fdr", model=MODELS) if HAPLOTYPES else []),
        loci=expand(f"{GENOME}/snp.{RISK}{{model}}.loci.tsv", model=MODELS)
        + (expand(f"{GENOME}/hap.{{model}}.loci.tsv", model=MODELS) if HAPLOTYPES else []),
    output:
        tsv=f"{RES}/summary.tsv",
        md=f"{RES}/summary.md",
        top=f"{RES}/top_hits.tsv",
    log:
        f"{LOGS}/genome/summary.log",
    benchmark:
        f"{RES}/benchmarks/genome/summary.tsv",
    params:
        chroms=CHROMS,
        models=MODELS,
        haplotypes=HAPLOTYPES,
        risk=RISK,
        top=config["summary"]["top_hits"],
        level=config["association"]["level"],
        column=config["association"]["qvalue_column"],
        results=RES,
        plots=PLOTS,
    script:
        "../scripts/summary.py"
