#!/usr/bin/env bash
# VCF -> genotype file against `bcftools query -f '[%GT\t]\n'` on the same
# generated bgzipped VCF, side by side:
#   bench/genoconv/vcf.sh [BUILD_DIR] [SAMPLES] [SNPS] [THREADS] [REPEATS]
# Defaults: build, 2504 samples, 100000 SNPs (a 1000 Genomes-sized slice),
# 2 BGZF threads for the threaded run, 2 repeats; the best time of each is
# reported with peak memory. A second file of SNPS/10 variants shows that
# memory does not grow with the variant count. Both tools write their text
# to files in the same scratch folder (WORK, default a mktemp folder).
set -eu
build=$(readlink -f "${1:-build}")
samples=${2:-2504}
snps=${3:-100000}
threads=${4:-2}
repeats=${5:-2}
here=$(dirname "$(readlink -f "$0")")
work=${WORK:-$(mktemp -d)}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
command -v bcftools >/dev/null || { echo "bcftools is needed"; exit 1; }

g++ -O2 -o "$work/make_vcf" "$here/make_vcf.cpp"
echo "generating $samples samples x $snps SNPs ..."
"$work/make_vcf" "$samples" "$snps" | bgzip -@ 2 -c >"$work/big.vcf.gz"
"$work/make_vcf" "$samples" $((snps / 10)) | bgzip -@ 2 -c >"$work/small.vcf.gz"
echo "big.vcf.gz: $(stat -c %s "$work/big.vcf.gz") bytes; load: $(uptime | sed 's/.*load average: //')"

best() {  # label, then the command; prints the best wall time and its peak memory
  local label=$1
  shift
  local bestTime="" bestMem=""
  for _ in $(seq "$repeats"); do
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" 2>"$work/err" || { cat "$work/err"; exit 1; }
    read -r secs kb <"$work/time"
    if [ -z "$bestTime" ] || awk -v a="$secs" -v b="$bestTime" 'BEGIN { exit !(a < b) }'; then
      bestTime=$secs
      bestMem=$kb
    fi
  done
  printf "%-46s %7.2f s %8.1f MB\n" "$label" "$bestTime" "$(awk -v k="$bestMem" 'BEGIN { print k / 1024 }')"
  echo "$bestTime" >"$work/last"
}

cat "$work/big.vcf.gz" >/dev/null
best "bcftools query -f '[%GT\\t]\\n'" sh -c "bcftools query -f '[%GT\t]\n' '$work/big.vcf.gz' >'$work/query.txt'"
bcf=$(cat "$work/last")
best "genoconv --vcf" "$build/bin/genoconv" --vcf "$work/big.vcf.gz" --out "$work/big"
one=$(cat "$work/last")
best "genoconv --vcf --threads $threads" "$build/bin/genoconv" --vcf "$work/big.vcf.gz" --threads "$threads" --out "$work/big"
many=$(cat "$work/last")
best "genoconv --vcf (SNPS/10 file: memory)" "$build/bin/genoconv" --vcf "$work/small.vcf.gz" --out "$work/small"
awk -v b="$bcf" -v o="$one" -v m="$many" 'BEGIN { printf "ratio to bcftools: %.2f (1 thread), %.2f (threads)\n", o / b, m / b }'
echo "genotype lines: $(($(wc -l <"$work/big.geno") - 2)) of $snps records (indels skipped); load: $(uptime | sed 's/.*load average: //')"
