#!/usr/bin/env bash
# EM over windows of consecutive SNPs, and the whole-chromosome load.
#   bench/em/run.sh GENO_2K [WHOLE_CHROMOSOME_GENO] [BUILD_DIR]
# GENO_2K: e.g. chr10_exercise_2k.geno; WHOLE_CHROMOSOME_GENO: e.g. the
# unpacked chr10_exercise.geno.gz. Prints wall time, peak memory and the EM
# iteration counts (per sample type, in table order) of every window.
set -euo pipefail
geno=${1:?usage: run.sh GENO_2K [WHOLE_GENO] [BUILD_DIR]}
whole=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${3:-$here/../../build}" && pwd)
marlo=$build/bin/marlo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

printf '%-8s %-6s %9s %10s  %s\n' window start wall_s peak_MB "EM iterations (types in table order, M last)"
for size in 10 16 24; do
  for start in 0 700 1400; do
    f=$work/w${size}_$start.geno
    awk -v a=$((3 + start)) -v b=$((2 + start + size)) 'NR <= 2 || (NR >= a && NR <= b); NR > b {exit}' "$geno" >"$f"
    /usr/bin/time -v "$marlo" EM "$f" /DEBUG1 >"$work/out" 2>"$work/time"
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$work/time")
    peak=$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2 / 1024}' "$work/time")
    iters=$(grep -o 'emCnt=[0-9]*' "$work/out" | cut -d= -f2 | paste -sd, -)
    printf '%-8s %-6s %9s %10s  %s\n' "$size" "$start" "$wall" "$peak" "$iters"
  done
done

if [ -n "$whole" ]; then
  echo
  echo "Whole-file load ($(wc -c <"$whole") bytes):"
  g++ -O2 -std=c++20 -I"$here/../../engine/nolib" "$here/load_bench.cpp" \
    "$build/lib/libmarlo_core.a" "$build/lib/libcommon_sgt.a" -L"$build/bin" -lkestrel \
    -Wl,-rpath,"$build/bin" -o "$work/load_bench"
  /usr/bin/time -v "$work/load_bench" "$whole" 2>"$work/time" >/dev/null || true
  grep -E '^load' "$work/time"
  awk -F': ' '/Elapsed \(wall clock\)/ {print "total wall: " $2} /Maximum resident set size/ {printf "peak memory: %.1f MB\n", $2 / 1024}' "$work/time"
  echo
  echo "marlo EM on the whole file (loads every type, then refuses: too many markers):"
  cp "$whole" "$work/whole.geno"
  /usr/bin/time -v "$marlo" EM "$work/whole.geno" >/dev/null 2>"$work/time" || true
  awk -F': ' '/Elapsed \(wall clock\)/ {print "wall: " $2} /Maximum resident set size/ {printf "peak memory: %.1f MB\n", $2 / 1024}' "$work/time"
fi
