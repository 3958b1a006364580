#!/usr/bin/env bash
# marlo PLEM over the first 100, 300 and 1000 SNPs of a genotype file with the
# default options and /SEED1: wall time and peak memory of the command, which
# sample types got an estimate, and what the joins met (largest L x R, the
# largest number of combinations and of distinct full haplotypes of a join),
# measured by a second run of the estimator alone.
#   bench/plem/run.sh GENO_2K [BUILD_DIR] [SIZES...]
# GENO_2K: e.g. chr10_exercise_2k.geno. Run it on a quiet machine: a
# 1000-SNP run holds several GB.
set -euo pipefail
geno=${1:?usage: run.sh GENO_2K [BUILD_DIR] [SIZES...]}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${2:-$here/../../build}" && pwd)
shift $(( $# >= 2 ? 2 : 1 ))
sizes=${*:-100 300 1000}
marlo=$build/bin/marlo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

g++ -O2 -std=c++20 -I"$here/../../engine/nolib" "$here/plem_figures.cpp" \
  "$build/lib/libmarlo_core.a" "$build/lib/libcommon_sgt.a" -L"$build/bin" -lkestrel \
  -Wl,-rpath,"$build/bin" -o "$work/plem_figures"

echo "load: $(uptime)"
for size in $sizes; do
  f=$work/first$size.geno
  awk -v last=$((2 + size)) 'NR <= last; NR > last {exit}' "$geno" >"$f"
  /usr/bin/time -v "$marlo" PLEM "$f" /SEED1 >"$work/out" 2>"$work/time" || true
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$work/time")
  peak=$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2 / 1024}' "$work/time")
  echo
  echo "== first $size SNPs: marlo PLEM /SEED1: wall ${wall} s, peak ${peak} MB"
  grep -E '^(PLEM|SGManager|alle1|Warning)' "$work/out" | sed 's/^/   /' || true
  grep -E '^#(error|success)' "$work/time" | sed 's/^/   /' || true
  "$work/plem_figures" "$f" 1 | grep '^FIGURES' | sed 's/^FIGURES /   /'
done
