#!/usr/bin/env bash
# genoconv's fileset reader against plink1.9's own VCF export of the same
# fileset: plink_agreement.sh BIN_DIR DATA_DIR WORK_DIR
# For the hand-made fileset (data/hand.*) and a random one from plink1.9
# --dummy, `genoconv --bfile` and `plink1.9 --recode vcf` followed by
# `genoconv --vcf` must give the same sample identifiers and, on every SNP
# line, the same genotypes (plink1.9 puts its major allele first in a
# heterozygote, so the two alleles are compared as a pair). Exit 77
# (skipped) when plink1.9 is not installed.
set -uo pipefail
export LC_ALL=C
bin=$1 data=$2 work=$3
command -v plink1.9 >/dev/null || { echo "plink1.9 not installed"; exit 77; }
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail=0

# Line 1 and every SNP line, with the two alleles of each genotype sorted.
unordered() {
  awk -F'\t' -v OFS='\t' 'NR == 2 { next } NR > 2 { for (i = 5; i <= NF; i++) { a = substr($i, 1, 1); b = substr($i, 3, 1); $i = a < b ? a "/" b : b "/" a } } { print }' "$1"
}

compare() {
  local name=$1 prefix=$2 mode=$3
  "$bin/genoconv" --bfile "$prefix" --out "$name.bed" 2>"$name.bed.log" || { cat "$name.bed.log"; fail=1; return; }
  plink1.9 --bfile "$prefix" --recode "$mode" --allow-no-sex --out "$name.plink" >/dev/null || { echo "plink1.9 failed on $name"; fail=1; return; }
  "$bin/genoconv" --vcf "$name.plink.vcf" --out "$name.vcf" 2>"$name.vcf.log" || { cat "$name.vcf.log"; fail=1; return; }
  unordered "$name.bed.geno" >"$name.bed.txt"
  unordered "$name.vcf.geno" >"$name.vcf.txt"
  if ! diff "$name.bed.txt" "$name.vcf.txt" >"$name.diff"; then
    echo "differs: $name"
    head -20 "$name.diff"
    fail=1
  fi
  [ "$(wc -l <"$name.bed.geno")" -gt 2 ] || { echo "$name: no SNP line"; fail=1; }
}

# plink1.9 names VCF samples FID_IID (vcf) or IID (vcf-iid): the first
# matches genoconv's names for the hand-made fileset, whose IIDs repeat.
compare hand "$data/hand" vcf
plink1.9 --dummy 37 300 0.05 acgt --make-bed --out dummy >/dev/null || { echo "plink1.9 --dummy failed"; exit 1; }
compare dummy dummy vcf-iid
exit $fail
