#!/usr/bin/env bash
# Association and q-value benchmark.
#   bench/assoc/run.sh WHOLE_GENO [BUILD_DIR] [FEATURES]
# WHOLE_GENO: a whole-chromosome genotype file, e.g. the unpacked
# chr10_exercise.geno.gz (gunzip -c ... > /tmp/chr10.geno). BUILD_DIR (default
# build) holds a Release build. FEATURES (default 1000000) is the number of
# generated report rows for qvalcalc.
# Prints, per run, wall time, CPU time (user + system), peak memory and what was written; qvalcalc's
# order is checked against a stable sort of the same p-values.
set -euo pipefail
geno=${1:?usage: run.sh WHOLE_GENO [BUILD_DIR] [FEATURES]}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${2:-$here/../../build}" && pwd)
features=${3:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

# The report is written beside its input: run on a link in the scratch folder.
ln -s "$(cd "$(dirname "$geno")" && pwd)/$(basename "$geno")" "$work/whole.geno"
timed() {  # timed LABEL COMMAND... : one line of figures
  local label=$1
  shift
  /usr/bin/time -v "$@" >"$work/out" 2>"$work/err" || true
  awk -F': ' -v label="$label" '
    /Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; wall = s}
    /User time/ {cpu += $2}
    /System time/ {cpu += $2}
    /Maximum resident set size/ {peak = $2 / 1024}
    END {printf "%-34s %8.2f %7.2f %9.1f", label, wall, cpu, peak}' "$work/err"
}

echo "snpxtab on $(basename "$geno"): $(($(wc -l <"$geno") - 2)) SNP lines, $(wc -c <"$geno") bytes"
printf '%-34s %8s %7s %9s  %s\n' run wall_s cpu_s peak_MB "rows / significant (Bonferroni, 0.05)"
models=(Additive CoDominant1 CoDominant2 Dominant Recessive OverDominant)
for model in 0 1 2 3 4 5; do
  timed "model $model ${models[$model]} (counts SNPs)" "$build/bin/snpxtab" "$work/whole.geno" 0 0.05 0 "$model" Y
  report=$work/whole.geno.snp.crss.0$model.tmp
  printf '  %d / %s\n' "$(($(wc -l <"$report") - 8))" "$(grep -o 'Significant SNP Size = [0-9]*' "$work/err" | grep -o '[0-9]*$')"
done
snps=$(($(wc -l <"$geno") - 2))
timed "model 0, risk 1, count given" "$build/bin/snpxtab" "$work/whole.geno" "$snps" 0.05 1 0 Y
printf '  %d rows\n' "$(($(wc -l <"$work/whole.geno.snp.crss.10.tmp") - 8))"

echo
echo "qvalcalc on $features generated features (p-values with many ties)"
awk -v n="$features" 'BEGIN {
  for (i = 1; i <= 7; i++) print "!header " i
  print "Feature_ID\tOR\tOR_CI\tAR\tPAR\tGFT_chi\tGFT_p\tYates_Corr\tLRT_chi\tLRT_p\tSignificant?"
  s = 12345
  for (i = 1; i <= n; i++) {
    s = (s * 1103515245 + 12345) % 2147483648
    p = (s % 20000) / 20000.0
    if (i % 7 == 0) p = p * p * p * 1e-4
    printf "f%d\t1.000\t0.500-2.000\t0.000\t0.000\t1.000\t%e\tN\t1.000\t%e\tN\n", i, p, p
  }
}' >"$work/gen.crss"
printf '%-34s %8s %7s %9s  %s\n' run wall_s cpu_s peak_MB "features / progress lines / phi0"
timed "qvalcalc 0 gen.crss 0" "$build/bin/qvalcalc" 0 "$work/gen.crss" 0
printf '  %s / %s / %s\n' "$(grep -o 'Count: [0-9]*' "$work/out" | grep -o '[0-9]*')" \
  "$(grep -c '^# Line Cnt' "$work/out")" "$(grep -o 'phi0: .*' "$work/out" | cut -c7-)"
# Same order as a stable sort by p-value (ties in input order).
tail -n +9 "$work/gen.crss" | cut -f1,7 | sort -s -t $'\t' -k2,2g | cut -f1 >"$work/want"
tail -n +2 "$work/gen.crss.fdr" | cut -f1 >"$work/got"
if cmp -s "$work/want" "$work/got"; then echo "  order: identical to a stable sort"; else echo "  order: DIFFERS"; fi
