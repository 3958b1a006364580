#!/usr/bin/env bash
# LD blocking benchmark: PWLD with Gabriel's blocks and crossover rates.
#   bench/ldblock/run.sh GENO [BUILD_DIR] [EXTRA OPTIONS...]
# GENO: a genotype file, e.g. the whole chromosome unpacked from
# chr10_exercise.geno.gz (gunzip -c ... > /tmp/chr10.geno). BUILD_DIR
# (default build) holds a Release build. The run is
#   marlo PWLD GENO /LDBLK2 /CRSOVR /ANNO500000 /SKIPANNO /SEED1 [EXTRA...]
# Prints, per sample type, the blocks found and the wall time of the pair
# loop, of block detection, of the block report (haplotype estimates, tag
# SNPs, writing) and of the crossover rates; then the whole run's wall time,
# CPU time, peak memory and the sizes of the result files.
set -euo pipefail
geno=${1:?usage: run.sh GENO [BUILD_DIR] [EXTRA OPTIONS...]}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${2:-$here/../../build}" && pwd)
shift $(($# >= 2 ? 2 : 1))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

# The results are written beside the input: run on a link in the scratch folder.
ln -s "$(cd "$(dirname "$geno")" && pwd)/$(basename "$geno")" "$work/in.geno"
cd "$work"
echo "marlo PWLD $(basename "$geno") /LDBLK2 /CRSOVR /ANNO500000 /SKIPANNO /SEED1 $*"
echo "$(($(wc -l <"$geno") - 2)) SNP lines, $(wc -c <"$geno") bytes; $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

# Every console line with the time it arrived (the engine flushes at the
# start and end of each step).
/usr/bin/time -v -o time.txt "$build/bin/marlo" PWLD in.geno /LDBLK2 /CRSOVR /ANNO500000 /SKIPANNO /SEED1 "$@" |
  while IFS= read -r line; do printf '%s\t%.80s\n' "$EPOCHREALTIME" "$line"; done >stamped.txt

printf '\n%-6s %8s %8s %10s %10s %10s %10s\n' type blocks pairs pairloop_s detect_s report_s crossover_s
awk -F'\t' '
  function flush() {
    if (type != "")
      printf "%-6s %8s %8s %10.2f %10.2f %10.2f %10.2f\n", type, blocks, pairs, loopEnd - loopStart,
             detectEnd - detectStart, reportEnd - detectEnd, crossEnd - crossStart
  }
  /\tPairwise LD Analysis\. / { flush(); type = substr($2, 23); crossStart = crossEnd = 0 }
  /\tCalculating LD values/ { loopStart = $1 }
  /\tLD Efficiency =/ { loopEnd = $1; split($2, a, "[=/]"); pairs = a[2] + 0 }
  /\tLD Blocking Method/ { detectStart = $1 }
  /\tWriting Blocks\.\.\./ { detectEnd = $1 }
  /\tLD Blocking Result/ { n = split($2, a, ":"); blocks = a[n] + 0 }
  /\tout of loop/ { reportEnd = $1 }
  /\tCalculating Crossover Rate/ { crossStart = $1; waiting = 1; next }
  waiting { crossEnd = $1; waiting = 0 }
  END { flush() }' stamped.txt

awk -F': ' '
  /Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; wall = s}
  /User time/ {cpu += $2}
  /System time/ {cpu += $2}
  /Maximum resident set size/ {peak = $2 / 1024}
  END {printf "\nwhole run: wall %.2f s, cpu %.2f s, peak memory %.1f MB\n", wall, cpu, peak}' time.txt
for f in in.geno.ld.hblk in.geno.ld.rblk in.geno.pwld; do
  printf '%-16s %12d bytes\n' "${f#in.geno}" "$(wc -c <"$f")"
done
