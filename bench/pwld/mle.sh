#!/usr/bin/env bash
# PWLD /MLE against the default (two-SNP EM) on the whole chromosome with
# /ANNO500000 /SKIPANNO, one thread, side by side with plink1.9 --r2 on the
# same genotypes (all individuals, pairs within 500 kb).
#   bench/pwld/mle.sh WHOLE_GENO [BUILD_DIR] [REPEATS]
# WHOLE_GENO: the unpacked chr10_exercise.geno.gz; BUILD_DIR (default build)
# must hold a Release build; REPEATS (default 2) runs of each, alternating.
# Prints the load before each run, wall and CPU time of every run and the
# ratio of the best times; how many rows /MLE changes; and how far the
# default and /MLE |D'| and r2 of the all-individual section lie from
# plink1.9's (which estimates the haplotype frequencies by the same cubic).
# PWLD computes one section per sample type and one over all individuals;
# plink1.9 computes the last one only, so its time is quoted beside the
# /CLASS:M runs as well.
set -euo pipefail
whole=${1:?usage: mle.sh WHOLE_GENO [BUILD_DIR] [REPEATS]}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${2:-$here/../../build}" && pwd)
repeats=${3:-2}
marlo=$build/bin/marlo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C
ln -sf "$(cd "$(dirname "$whole")" && pwd)/$(basename "$whole")" "$work/in.geno"

load() { cut -d' ' -f1-3 /proc/loadavg; }

# One timed run: label, output prefix to keep (or -), command...
timed() {
  local label=$1 keep=$2
  shift 2
  local before
  before=$(load)
  (cd "$work" && /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >"$work/out" 2>&1)
  read -r wall user sys <"$work/time"
  printf '%-22s wall %7.2f s  user %7.2f s  sys %5.2f s  (load before %s)\n' "$label" "$wall" "$user" "$sys" "$before"
  echo "$label $wall $user $sys" >>"$work/times"
  if [ "$keep" != - ]; then
    mv "$work/in.geno.pwld" "$work/$keep.pwld"
    mv "$work/in.geno.pwlds" "$work/$keep.pwlds"
  fi
  rm -f "$work/in.geno.pwld" "$work/in.geno.pwlds"
}

echo "== marlo PWLD $(basename "$whole") /ANNO500000 /SKIPANNO, default against /MLE ($repeats runs each)"
for r in $(seq "$repeats"); do
  keep=-; keepm=-
  [ "$r" = 1 ] && keep=em && keepm=mle
  timed "default" "$keep" "$marlo" PWLD in.geno /ANNO500000 /SKIPANNO /SEED1
  timed "/MLE" "$keepm" "$marlo" PWLD in.geno /ANNO500000 /SKIPANNO /SEED1 /MLE
done
for r in $(seq "$repeats"); do
  timed "default,M" - "$marlo" PWLD in.geno /ANNO500000 /SKIPANNO /SEED1 /CLASS:M
  timed "/MLE,M" - "$marlo" PWLD in.geno /ANNO500000 /SKIPANNO /SEED1 /CLASS:M /MLE
done

# plink1.9 reads a VCF: alleles numbered in order of appearance, "N" in a
# genotype makes it missing (PWLD leaves such individuals out of the pair
# too); SNPs with more than two alleles or none are left out.
awk -F'\t' 'BEGIN { OFS = "\t" }
  NR == 1 { printf "##fileformat=VCFv4.2\n#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
            for (k = 5; k <= NF; k++) printf "\t%s", $k; printf "\n"; next }
  NR == 2 { next }
  { n = 0; delete code
    for (k = 5; k <= NF; k++) { x = substr($k, 1, 1); y = substr($k, 3, 1)
      if (x != "N" && !(x in code)) { code[x] = n; allele[n++] = x }
      if (y != "N" && !(y in code)) { code[y] = n; allele[n++] = y } }
    if (n < 1 || n > 2) { skipped++; next }
    line = $2 OFS $3 OFS $1 OFS allele[0] OFS (n > 1 ? allele[1] : ".") OFS "." OFS "." OFS "." OFS "GT"
    for (k = 5; k <= NF; k++) { x = substr($k, 1, 1); y = substr($k, 3, 1)
      line = line OFS ((x == "N" || y == "N") ? "./." : code[x] "/" code[y]) }
    print line }
  END { print skipped + 0 > "/dev/stderr" }' "$work/in.geno" >"$work/in.vcf" 2>"$work/skipped"
echo
echo "== plink1.9 --r2 dprime-signed, window 500 kb, 1 thread ($(cat "$work/skipped") SNPs with more than two alleles or none left out)"
for r in $(seq "$repeats"); do
  timed "plink1.9" - plink1.9 --vcf in.vcf --double-id --allow-extra-chr --r2 dprime-signed \
    --ld-window 1000000 --ld-window-kb 500 --ld-window-r2 0 --threads 1 --out plink
done

echo
echo "== best of the runs (wall depends on the machine's load; CPU = user + system)"
awk '{ if (!($1 in wall) || $2 < wall[$1]) wall[$1] = $2; c = $3 + $4; if (!($1 in cpu) || c < cpu[$1]) cpu[$1] = c }
     END { printf "all sections:  default wall %.2f s CPU %.2f s, /MLE wall %.2f s CPU %.2f s: %.2fx wall, %.2fx CPU\n",
             wall["default"], cpu["default"], wall["/MLE"], cpu["/MLE"], wall["default"] / wall["/MLE"], cpu["default"] / cpu["/MLE"]
           printf "/CLASS:M only: default wall %.2f s CPU %.2f s, /MLE wall %.2f s CPU %.2f s: %.2fx wall, %.2fx CPU\n",
             wall["default,M"], cpu["default,M"], wall["/MLE,M"], cpu["/MLE,M"], wall["default,M"] / wall["/MLE,M"], cpu["default,M"] / cpu["/MLE,M"]
           printf "plink1.9:      wall %.2f s CPU %.2f s\n", wall["plink1.9"], cpu["plink1.9"] }' "$work/times"

# Where the CPU time of the pair pass goes, default and /MLE.
g++ -O2 -std=c++20 -I"$here/../../engine/nolib" "$here/pair_phases.cpp" \
  "$build/lib/libld.a" "$build/lib/libmarlo_core.a" "$build/lib/libcommon_sgt.a" "$build/lib/libstats_marlo.a" \
  -L"$build/bin" -lkestrel -Wl,-rpath,"$build/bin" -o "$work/pair_phases"
for mle in 0 1; do
  echo "-- pair phases, $([ $mle = 1 ] && echo /MLE || echo default) (CPU seconds; estim = estimation)"
  "$work/pair_phases" "$work/in.geno" 500000 1 $mle | grep -v -E '^(GenoData|Loading)' | tail -n 2
done
echo
echo "== rows /MLE changes (all sections): columns that differ"
paste "$work/em.pwld" "$work/mle.pwld" | awk -F'\t' '
  NF == 22 && $1 ~ /^[0-9]+$/ { rows++; d = 0; for (k = 5; k <= 11; k++) if ($k != $(k + 11)) { diff[k]++; d = 1 }
    changed += d; x = $5 - $16; if (x < 0) x = -x; if (x > 1e-3) big++; if (x > 0.1) huge++ }
  END { printf "pair rows %d, changed %d; |D'\''| differs in %d, r2 %d, LOD %d, chi-square %d; |D'\''| by more than 1e-3: %d, more than 0.1: %d\n",
          rows, changed, diff[5], diff[6], diff[7], diff[9], big, huge }'

echo
echo "== all-individual section against plink1.9 (pairs in both, both finite)"
# Marker index -> SNP name, then the last section of each .pwlds (signed D').
awk -F'\t' 'NR > 2 { print NR - 3 "\t" $1 }' "$work/in.geno" >"$work/names"
awk 'NR > 1 { print $3 "\t" $6 "\t" $7 "\t" $8 }' "$work/plink.ld" >"$work/plink.tsv"
for kind in em mle; do
  awk -F'\t' -v kind="$kind" '
    FILENAME == ARGV[1] { name[$1] = $2; next }
    FILENAME == ARGV[2] { key = $1 SUBSEP $2; r2[key] = $3; dp[key] = $4; next }
    /^!Sample_Type:/ { section = $0 }
    section == "!Sample_Type:M" && $1 ~ /^[0-9]+$/ && $5 != "-" {
      key = name[$1] SUBSEP name[$2]
      if (!(key in r2) || r2[key] == "nan" || dp[key] == "nan") next
      n++; a = $4 + 0; a = a < 0 ? -a : a; b = dp[key] + 0; b = b < 0 ? -b : b; e = a - b; e = e < 0 ? -e : e
      f = $5 - r2[key]; f = f < 0 ? -f : f
      if (e <= 2e-5 && f <= 2e-5) close5++; if (e <= 1e-3 && f <= 1e-3) close3++
      if (e > worst) worst = e }
    END { printf "%-8s pairs %d: |D'\''| and r2 within 2e-5 %.3f %%, within 1e-3 %.3f %%, largest |D'\''| gap %.5f\n",
            kind == "em" ? "default" : "/MLE", n, 100 * close5 / n, 100 * close3 / n, worst }' \
    "$work/names" "$work/plink.tsv" "$work/$kind.pwlds"
done
