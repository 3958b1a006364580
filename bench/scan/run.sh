#!/usr/bin/env bash
# Genotype-text scanning of PREFLAG and snpxtab beside plink1.9 on the same
# genotypes as a binary fileset:
#   bench/scan/run.sh WHOLE_GENO [BUILD_DIR] [REPEATS]
# WHOLE_GENO: a whole-chromosome genotype file, plain or gzipped (e.g. the
# chromosome-10 exercise data, 28,501 SNPs x 1000 samples). BUILD_DIR
# (default build) holds a Release build; REPEATS (default 5) runs per command,
# of which the median wall time (hyperfine, after one warm-up run) is
# printed.
#
# The fileset is made the way a user gets one: the suite's own export
# (genoconv --geno ... --to-vcf), then plink1.9 --vcf ... --make-bed; the
# phenotypes for --model come from the sample types genoconv writes (type 1 is
# a case, type 0 a control, as snpxtab reads them). plink1.9 --hardy (with
# its default of every core, and with one thread) stands beside PREFLAG at
# one and two threads, plink1.9 --model (every model in one run) beside each
# snpxtab model. Ratios are to plink1.9's default run.
#
# Columns: median wall seconds; MB/s of genotype text (file size / wall);
# scan MB/s (bytes read from the genotype file / wall: PREFLAG reads it once
# to judge and once more to write the filtered file, snpxtab with SNP count 0
# once to count lines and once to test); ratio to the plink1.9 yardstick.
set -euo pipefail
geno=$(readlink -f "${1:?usage: run.sh WHOLE_GENO [BUILD_DIR] [REPEATS]}")
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${2:-$here/../../build}" && pwd)
repeats=${3:-5}
for tool in plink1.9 hyperfine python3; do
  command -v $tool >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C
cd "$work"

case $geno in
  *.gz) gzip -dc "$geno" >whole.geno ;;
  *) ln -s "$geno" whole.geno ;;
esac
bytes=$(stat -L -c %s whole.geno)
snps=$(($(wc -l <whole.geno) - 2))
"$build/bin/genoconv" --geno whole.geno --to-vcf --out fs 2>export.log
plink1.9 --vcf fs.vcf.gz --double-id --allow-extra-chr --make-bed --out fs >/dev/null
awk 'NR > 1 && !/^#/ { print $1, $1, ($2 == "1" ? 2 : ($2 == "0" ? 1 : -9)) }' fs.types >fs.pheno
cat whole.geno fs.bed fs.bim fs.fam >/dev/null

median() {  # median wall seconds of REPEATS runs of the command (after one warm-up run)
  hyperfine -N --style none --warmup 1 --runs "$repeats" --export-json timing.json "$(printf '%q ' "$@")" \
    >/dev/null 2>hyperfine.err || { cat hyperfine.err >&2; exit 1; }
  python3 -c 'import json, sys; print("%.4f" % json.load(open(sys.argv[1]))["results"][0]["median"])' timing.json
}

row() {  # label seconds passes yardstick-seconds
  awk -v label="$1" -v s="$2" -v passes="$3" -v y="$4" -v b="$bytes" 'BEGIN {
    if (passes > 0)
      printf "%-44s %7.3f %9.0f %9.0f %7.1fx\n", label, s, b / s / 1e6, passes * b / s / 1e6, s / y
    else
      printf "%-44s %7.3f %9s %9s %8s\n", label, s, "-", "-", "-"
  }'
}

echo "genotype file: $snps SNP lines, $bytes bytes; fileset .bed $(stat -c %s fs.bed) bytes"
echo "load before: $(uptime | sed 's/.*load average: //')"
printf '%-44s %7s %9s %9s %8s\n' run wall_s text_MB/s scan_MB/s x_plink

hardy=$(median plink1.9 --bfile fs --hardy --out hardy)
# No sex is known: --allow-no-sex keeps the phenotypes.
model=$(median plink1.9 --bfile fs --pheno fs.pheno --allow-no-sex --model --out model)
[ -s hardy.hwe ] && [ -s model.model ] || { echo "plink1.9 wrote no --hardy or --model result" >&2; exit 1; }
row "plink1.9 --hardy" "$hardy" 0 1
hardy1=$(median plink1.9 --bfile fs --hardy --threads 1 --out hardy1)
row "plink1.9 --hardy --threads 1" "$hardy1" 0 1
row "plink1.9 --model (all models)" "$model" 0 1

t=$(median "$build/bin/marlo" PREFLAG whole.geno)
row "marlo PREFLAG (report only)" "$t" 1 "$hardy"
t=$(median "$build/bin/marlo" PREFLAG whole.geno /OUTFILE:filtered.geno)
row "marlo PREFLAG /OUTFILE (report + filtered)" "$t" 2 "$hardy"
# With two threads the file is read ahead on the second.
t=$(median "$build/bin/marlo" PREFLAG whole.geno /THREADS2)
row "marlo PREFLAG /THREADS2 (report only)" "$t" 1 "$hardy"
t=$(median "$build/bin/marlo" PREFLAG whole.geno /OUTFILE:filtered.geno /THREADS2)
row "marlo PREFLAG /OUTFILE /THREADS2" "$t" 2 "$hardy"

names=(Additive CoDominant1 CoDominant2 Dominant Recessive OverDominant)
for m in 0 1 2 3 4 5; do
  t=$(median "$build/bin/snpxtab" whole.geno 0 0.05 0 "$m" Y)
  row "snpxtab model $m ${names[$m]} (counts SNPs)" "$t" 2 "$model"
done
t=$(median "$build/bin/snpxtab" whole.geno "$snps" 0.05 0 0 Y)
row "snpxtab model 0 (SNP count given)" "$t" 1 "$model"
echo "load after: $(uptime | sed 's/.*load average: //')"
