# Settings every rule shares: where the programs are, which input kind the
# study uses, which chromosomes it has, and the names of the result files.

import re
import shlex
import subprocess
import sys

from snakemake.exceptions import WorkflowError

REPO = os.path.dirname(os.path.abspath(workflow.basedir))
BIN = config["bin"] if os.path.isabs(config["bin"]) else os.path.join(REPO, config["bin"])
SCRIPTS = os.path.join(workflow.basedir, "scripts")
# The helper scripts use only the standard library; run them with the
# interpreter Snakemake itself runs on, whatever `python3` is on the PATH.
PY = shlex.quote(sys.executable)
RUN = f"{PY} {shlex.quote(os.path.join(SCRIPTS, 'run_step.py'))}"
RES = config["results"].rstrip("/")
LOGS = f"{RES}/logs"
CHR = f"{RES}/per_chrom/{{chrom}}"
GENOME = f"{RES}/genome"


def prog(name):
    return shlex.quote(os.path.join(BIN, name))


MARLO, SNPXTAB, HAPXTAB, QVALCALC, MARLOPLOT = map(prog, ("marlo", "snpxtab", "hapxtab", "qvalcalc", "marloplot"))


wildcard_constraints:
    chrom="[A-Za-z0-9_.-]+",
    model="[0-5]",


INPUT = config["input"]
KINDS = [k for k in ("vcf", "vcf_per_chrom", "bfile", "geno_per_chrom") if INPUT[k]]
if len(KINDS) != 1:
    raise WorkflowError(
        "name exactly one input under input: vcf, vcf_per_chrom, bfile or geno_per_chrom"
        + (f" (found {', '.join(KINDS)})" if KINDS else " (none is set)")
    )
KIND = KINDS[0]


def natural_key(name):
    """1…22, X, Y, MT, then the other names; a leading "chr" is ignored."""
    bare = re.sub(r"^chr", "", str(name), flags=re.IGNORECASE)
    if bare.isdigit():
        return (0, int(bare), "")
    special = {"X": 1, "Y": 2, "XY": 3, "M": 4, "MT": 4}
    if bare.upper() in special:
        return (1, special[bare.upper()], "")
    return (2, 0, str(name))


def chromosomes_of_input():
    if KIND == "vcf":
        path = INPUT["vcf"]
        if not os.path.exists(path):
            raise WorkflowError(f"input VCF/BCF {path} does not exist")
        # The index lists the chromosomes that have records, without reading the file.
        for cmd in (["bcftools", "index", "--stats", path], ["tabix", "--list-chroms", path]):
            try:
                run = subprocess.run(cmd, capture_output=True, text=True)
            except OSError:
                continue
            if run.returncode == 0 and run.stdout.strip():
                return [line.split("\t")[0] for line in run.stdout.splitlines() if line.strip()]
        raise WorkflowError(
            f"cannot list the chromosomes of {path}: index it (bcftools index) or name them under chromosomes"
        )
    if KIND == "bfile":
        bim = INPUT["bfile"] + ".bim"
        seen = {}
        try:
            with open(bim) as f:
                for number, line in enumerate(f, 1):
                    fields = line.split()
                    if not fields:
                        continue
                    seen.setdefault(fields[0], number)
        except OSError as e:
            raise WorkflowError(f"cannot read {bim}: {e.strerror}")
        return list(seen)
    pattern = INPUT[KIND]
    return list(glob_wildcards(pattern).chrom)


CHROMS = [str(c) for c in config["chromosomes"]] or sorted(set(chromosomes_of_input()), key=natural_key)
if not CHROMS:
    raise WorkflowError(f"no chromosome found in the input ({KIND}: {INPUT[KIND]})")

MODELS = sorted(set(config["association"]["models"]))
MODEL_NAMES = ["Additive", "CoDominant1", "CoDominant2", "Dominant", "Recessive", "OverDominant"]
RISK = config["association"]["risk"]
BLOCKS = config["pwld"]["blocking"] == "gabriel"
HAPLOTYPES = config["association"]["haplotypes"]
if HAPLOTYPES and not BLOCKS:
    raise WorkflowError("association.haplotypes needs pwld.blocking: gabriel (hapxtab reads the PWLD blocks)")
CROSSOVER = config["pwld"]["crossover"] and BLOCKS
PLOTS = config["plots"]["enabled"]
FMT = config["plots"]["format"]
QCOL = 0 if config["association"]["qvalue_column"] == "GFT_p" else 1


def snp_tag(model):
    """Risk and model as snpxtab names its reports (risk 0, model 3 → 03)."""
    return f"{RISK}{model}"


def all_targets():
    targets = [f"{RES}/summary.tsv", f"{RES}/summary.md", f"{RES}/top_hits.tsv"]
    for m in MODELS:
        targets.append(f"{GENOME}/snp.{snp_tag(m)}.crss.fdr")
        if HAPLOTYPES:
            targets.append(f"{GENOME}/hap.{m}.crss.fdr")
        if PLOTS:
            targets += [f"{RES}/plots/manhattan.snp.{snp_tag(m)}.{FMT}", f"{RES}/plots/qq.snp.{snp_tag(m)}.{FMT}"]
    if PLOTS:
        targets += expand(f"{RES}/plots/{{chrom}}.ld.{FMT}", chrom=CHROMS)
    return targets
