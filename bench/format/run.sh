#!/usr/bin/env bash
# Pairwise LD report rows written with fprintf and with TextBuffer.
#   bench/format/run.sh [BUILD_DIR] [ROWS] [REPEATS]
# BUILD_DIR (default build) must hold lib/libcommon_sgt.a of a Release build.
# First writes ROWS/10 rows of both formats through both paths into files and
# compares them byte for byte, then times ROWS rows (default 10,000,000) of
# each format into /dev/null and prints the best of REPEATS runs (default 3).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
rows=${2:-10000000}
repeats=${3:-3}
lib=$build/lib/libcommon_sgt.a
[ -f "$lib" ] || { echo "no $lib: build the project first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

g++ -O2 -std=c++20 -I"$here/../../engine/nolib" "$here/bench_format.cpp" "$lib" -o "$work/bench_format"

check=$((rows / 10 > 0 ? rows / 10 : 1))
"$work/bench_format" "$check" "$work/printf.pwld" "$work/buffer.pwld" 1 >/dev/null
for ext in pwld pwlds; do
  if cmp -s "$work/printf.$ext" "$work/buffer.$ext"; then
    echo "$ext: $check rows, $(stat -c %s "$work/buffer.$ext") bytes, identical to printf"
  else
    echo "$ext: OUTPUT DIFFERS from printf" >&2
    cmp "$work/printf.$ext" "$work/buffer.$ext" | head -n 1 >&2
    exit 1
  fi
done

echo "best of $repeats runs, written to /dev/null:"
"$work/bench_format" "$rows" /dev/null /dev/null "$repeats"
