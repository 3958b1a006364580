# Pictures: the LD triangle of each chromosome around its best hit (with the
# chromosome's blocks), and the Manhattan and QQ plots over all chromosomes.

PLOTDIR = f"{RES}/plots"
FIRST_MODEL = MODELS[0]


rule plot_ld:
    input:
        pwld=f"{CHR}/{{chrom}}.impu.pwld",
        blocks=[f"{CHR}/{{chrom}}.impu.ld.hblk"] if BLOCKS else [],
        report=f"{CHR}/{{chrom}}.snp.{RISK}{FIRST_MODEL}.crss",
        impu=f"{CHR}/{{chrom}}.impu",
    output:
        f"{PLOTDIR}/{{chrom}}.ld.{FMT}",
    log:
        f"{LOGS}/{{chrom}}/plot_ld.log",
    benchmark:
        f"{RES}/benchmarks/{{chrom}}/plot_ld.tsv",
    params:
        region=os.path.join(SCRIPTS, "best_region.py"),
        flank=config["plots"]["ld_flank"],
        column=6 if QCOL == 0 else 9,
        blocks=lambda wildcards, input: f"--blocks {input.blocks[0]}" if input.blocks else "",
    shell:
        "region=$({PY} {params.region} {input.report} {input.impu} {params.flank} {params.column}) && "
        "{RUN} --log {log} -- {MARLOPLOT} ld {input.pwld} --out {output} {params.blocks} "
        '--region "$region" --title "Chromosome {wildcards.chrom}: LD around its best hit"'


rule plot_manhattan:
    input:
        reports=per_chrom(f"{RES}/per_chrom/{{chrom}}/{{chrom}}.snp.{RISK}{{model}}.crss"),
        genos=per_chrom(f"{RES}/per_chrom/{{chrom}}/{{chrom}}.impu"),
        fdr=f"{GENOME}/snp.{RISK}{{model}}.crss.fdr",
    output:
        f"{PLOTDIR}/manhattan.snp.{RISK}{{model}}.{FMT}",
    log:
        f"{LOGS}/genome/manhattan.snp.{RISK}{{model}}.log",
    benchmark:
        f"{RES}/benchmarks/genome/manhattan.snp.{RISK}{{model}}.tsv",
    params:
        level=config["association"]["level"],
        title=lambda wildcards: f"Genome-wide association, {MODEL_NAMES[int(wildcards.model)]} model",
    shell:
        "{RUN} --log {log} -- {MARLOPLOT} manhattan {input.reports} --geno {input.genos} "
        "--fdr {input.fdr} --level {params.level} --out {output} --title '{params.title}'"


rule plot_qq:
    input:
        per_chrom(f"{RES}/per_chrom/{{chrom}}/{{chrom}}.snp.{RISK}{{model}}.crss"),
    output:
        f"{PLOTDIR}/qq.snp.{RISK}{{model}}.{FMT}",
    log:
        f"{LOGS}/genome/qq.snp.{RISK}{{model}}.log",
    benchmark:
        f"{RES}/benchmarks/genome/qq.snp.{RISK}{{model}}.tsv",
    params:
        title=lambda wildcards: f"QQ plot, {MODEL_NAMES[int(wildcards.model)]} model",
    shell:
        "{RUN} --log {log} -- {MARLOPLOT} qq {input} --out {output} --title '{params.title}'"
