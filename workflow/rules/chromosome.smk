# The chain of one chromosome. Every job reads and writes only files of its
# own chromosome, so chromosomes run side by side and a failed one can be
# re-run alone. Every step goes through run_step.py, which fails the job on an
# `#error=` status line even when the program exits with 0.


def convert_inputs(wildcards):
    if KIND == "vcf":
        return [INPUT["vcf"]]
    if KIND == "bfile":
        return [INPUT["bfile"] + ext for ext in (".bed", ".bim", ".fam")]
    return [INPUT[KIND].format(chrom=wildcards.chrom)]


def convert_command(wildcards, input, output):
    if KIND == "geno_per_chrom":
        # Already in the suite's layout; copied so that the chain never
        # touches the user's file.
        src, dst = shlex.quote(input[0]), shlex.quote(output[0])
        log = shlex.quote(f"{LOGS}/{wildcards.chrom}/convert.log")
        return f"cp {src} {dst}.tmp && mv {dst}.tmp {dst} && echo 'copied {src} (already a genotype file)' > {log}"
    prefix = output[0][: -len(".geno")]
    args = [prog("genoconv")]
    if KIND == "bfile":
        args += ["--bfile", shlex.quote(INPUT["bfile"]), "--chrom", shlex.quote(wildcards.chrom)]
    else:
        args += ["--vcf", shlex.quote(input[0])]
        # A per-chromosome file holds one chromosome, whatever its name inside.
        if KIND == "vcf":
            args += ["--chrom", shlex.quote(wildcards.chrom)]
        if INPUT["pass_only"]:
            args.append("--pass-only")
    if INPUT["types"]:
        args += ["--types", shlex.quote(INPUT["types"])]
    args += ["--out", shlex.quote(prefix)]
    log = f"{LOGS}/{wildcards.chrom}/convert.log"
    return f"{RUN} --log {shlex.quote(log)} -- " + " ".join(args)


rule convert:
    input:
        convert_inputs,
        types=[INPUT["types"]] if INPUT["types"] else [],
    output:
        f"{CHR}/{{chrom}}.geno",
    log:
        f"{LOGS}/{{chrom}}/convert.log",
    benchmark:
        f"{RES}/benchmarks/{{chrom}}/convert.tsv",
    params:
        cmd=convert_command,
    shell:
        "{params.cmd}"


def preflag_options():
    c = config["preflag"]
    opts = [f"/SNP{c['snp_missing']}", f"/MAF{c['maf']}", f"/HWE{c['hwe']}"]
    if c["hwe_bonferroni"]:
        opts.append("/MUL")
    return " ".join(opts + [shlex.quote(o) for o in c["extra"]])


rule preflag:
    input:
        f"{CHR}/{{chrom}}.geno",
    output:
        flag=f"{CHR}/{{chrom}}.geno.flag",
        filtered=f"{CHR}/{{chrom}}.flt.geno",
    log:
        f"{LOGS}/{{chrom}}/preflag.log",
    benchmark:
        f"{RES}/benchmarks/{{chrom}}/preflag.tsv",
    params:
        opts=preflag_options(),
    shell:
        "{RUN} --log {log} --require-success -- {MARLO} PREFLAG {input} "
        "/OUTFILE:{output.filtered} {params.opts} /PROGRESS"


# PREIMPU rewrites its input in place: it works on a copy of the filtered
# file, which stays as PREFLAG wrote it.
rule preimpu:
    input:
        f"{CHR}/{{chrom}}.flt.geno",
    output:
        impu=f"{CHR}/{{chrom}}.impu",
        pos=f"{CHR}/{{chrom}}.impu.pos",
    log:
        f"{LOGS}/{{chrom}}/preimpu.log",
    benchmark:
        f"{RES}/benchmarks/{{chrom}}/preimpu.tsv",
    params:
        mode=config["preimpu"]["mode"],
    shell:
        "cp {input} {output.impu} && chmod u+w {output.impu} && "
        "{RUN} --log {log} --require-success -- {MARLO} PREIMPU {output.impu} /{params.mode} /PROGRESS"


def pwld_options():
    c = config["pwld"]
    opts = []
    if c["window"] > 0:
        opts.append(f"/ANNO{c['window']}")
        if c["skip_beyond"]:
            opts.append("/SKIPANNO")
    if BLOCKS:
        opts.append("/LDBLK2")
    if CROSSOVER:
        opts.append("/CRSOVR")
    opts += [f"/EPS{c['eps']}", f"/SEED{c['seed']}"]
    return " ".join(opts + [shlex.quote(o) for o in c["extra"]])


def pwld_outputs():
    out = {"pwld": f"{CHR}/{{chrom}}.impu.pwld", "pwlds": f"{CHR}/{{chrom}}.impu.pwlds"}
    if BLOCKS:
        out["hblk"] = f"{CHR}/{{chrom}}.impu.ld.hblk"
    if CROSSOVER:
        out["rblk"] = f"{CHR}/{{chrom}}.impu.ld.rblk"
    return out


rule pwld:
    input:
        f"{CHR}/{{chrom}}.impu",
    output:
        **pwld_outputs(),
    log:
        f"{LOGS}/{{chrom}}/pwld.log",
    benchmark:
        f"{RES}/benchmarks/{{chrom}}/pwld.tsv",
    params:
        opts=pwld_options(),
    shell:
        "{RUN} --log {log} --require-success -- {MARLO} PWLD {input} {params.opts} /PROGRESS"


rule tag1:
    input:
        f"{CHR}/{{chrom}}.impu.pwld",
    output:
        f"{CHR}/{{chrom}}.impu.pwld.tag",
    log:
        f"{LOGS}/{{chrom}}/tag1.log",
    benchmark:
        f"{RES}/benchmarks/{{chrom}}/tag1.tsv",
    params:
        r2=config["tag1"]["r2"],
    shell:
        "{RUN} --log {log} --require-success -- {MARLO} TAG1 {input} /R={params.r2} /PROGRESS"


CORRECTION = "Y" if config["association"]["bonferroni"] else "N"


rule snpxtab:
    input:
        f"{CHR}/{{chrom}}.impu",
    output:
        f"{CHR}/{{chrom}}.snp.{RISK}{{model}}.crss",
    log:
        f"{LOGS}/{{chrom}}/snpxtab.{RISK}{{model}}.log",
    benchmark:
        f"{RES}/benchmarks/{{chrom}}/snpxtab.{RISK}{{model}}.tsv",
    params:
        level=config["association"]["level"],
        risk=RISK,
        correction=CORRECTION,
    shell:
        "{RUN} --log {log} -- {SNPXTAB} {input} 0 {params.level} {params.risk} {wildcards.model} "
        "{params.correction} {output}"


rule hapxtab:
    input:
        f"{CHR}/{{chrom}}.impu.ld.hblk",
    output:
        f"{CHR}/{{chrom}}.hap.{{model}}.crss",
    log:
        f"{LOGS}/{{chrom}}/hapxtab.{{model}}.log",
    benchmark:
        f"{RES}/benchmarks/{{chrom}}/hapxtab.{{model}}.tsv",
    params:
        level=config["association"]["level"],
        correction=CORRECTION,
        script=os.path.join(SCRIPTS, "hapxtab_blocks.py"),
    shell:
        "{PY} {params.script} --hapxtab {HAPXTAB} --log {log} {input} {params.level} {wildcards.model} "
        "{params.correction} {output}"
