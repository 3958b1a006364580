#!/usr/bin/env bash
# Pairwise LD (marlo PWLD) on the whole chromosome and on the 2,000-SNP file.
#   bench/pwld/run.sh WHOLE_GENO GENO_2K [BUILD_DIR]
# WHOLE_GENO: the unpacked chr10_exercise.geno.gz (run with /ANNO500000
# /SKIPANNO); GENO_2K: chr10_exercise_2k.geno (every pair, no /ANNO).
# BUILD_DIR (default build) must hold a Release build. Prints the machine
# load before each run, pairs written, wall and CPU time, pairs per second
# and peak memory of the command, then where the time of the pair pass goes
# (pair_phases: CPU seconds per phase and nanoseconds per pair).
set -euo pipefail
whole=${1:?usage: run.sh WHOLE_GENO GENO_2K [BUILD_DIR]}
two=${2:?usage: run.sh WHOLE_GENO GENO_2K [BUILD_DIR]}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${3:-$here/../../build}" && pwd)
marlo=$build/bin/marlo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

g++ -O2 -std=c++20 -I"$here/../../engine/nolib" "$here/pair_phases.cpp" \
  "$build/lib/libld.a" "$build/lib/libmarlo_core.a" "$build/lib/libcommon_sgt.a" "$build/lib/libstats_marlo.a" \
  -L"$build/bin" -lkestrel -Wl,-rpath,"$build/bin" -o "$work/pair_phases"

run() {
  local label=$1 file=$2
  shift 2
  ln -sf "$(cd "$(dirname "$file")" && pwd)/$(basename "$file")" "$work/in.geno"
  echo "== $label: marlo PWLD $(basename "$file") $*"
  echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
  (cd "$work" && /usr/bin/time -v "$marlo" PWLD in.geno "$@" >"$work/out" 2>"$work/time")
  local pairs wall user sys peak
  pairs=$(awk '/^LD Efficiency =/ {split($3, a, "/"); n += substr(a[1], 2)} END {print n + 0}' "$work/out")
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$work/time")
  user=$(awk -F': ' '/User time/ {print $2}' "$work/time")
  sys=$(awk -F': ' '/System time/ {print $2}' "$work/time")
  peak=$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2 / 1024}' "$work/time")
  echo "sections: $(grep -c '^LD Efficiency' "$work/out"), pairs written: $pairs"
  echo "wall ${wall} s (user ${user} s, system ${sys} s), $(awk -v p="$pairs" -v w="$wall" 'BEGIN {printf "%.0f", p / w}') pairs/s, peak memory ${peak} MB"
  echo ".pwld $(stat -c %s "$work/in.geno.pwld") bytes, .pwlds $(stat -c %s "$work/in.geno.pwlds") bytes"
  echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
  rm -f "$work/in.geno.pwld" "$work/in.geno.pwlds"
}

run "whole chromosome" "$whole" /ANNO500000 /SKIPANNO
echo
run "2,000 SNPs, every pair" "$two"
echo
echo "== where the time goes (CPU seconds; estim = estimation, stats include the p-values)"
echo "-- whole chromosome, limit 500000"
"$work/pair_phases" "$whole" 500000 1 | grep -v -E '^(GenoData|Loading)'
echo "-- 2,000 SNPs, every pair"
"$work/pair_phases" "$two" 0 1 | grep -v -E '^(GenoData|Loading)'
