#!/usr/bin/env bash
# Times marloplot: ld on a whole-chromosome .pwld for a 1,000-SNP window in the
# middle, manhattan and qq on generated association rows.
# Usage: bench/plot/run.sh WHOLE_GENO [BUILD_DIR] [ROWS] [WORK_DIR]
#   WHOLE_GENO  an unpacked whole-chromosome genotype file; its .pwld (PWLD
#               /ANNO500000 /SKIPANNO, about 0.8 GB) is made beside it when missing
#   ROWS        association rows for manhattan and qq (default 1000000)
#   WORK_DIR    where the generated rows and the pictures go (default /tmp/marloplot-bench)
set -euo pipefail
geno=$1
build=${2:-build}
rows=${3:-1000000}
work=${4:-/tmp/marloplot-bench}
bin=$(cd "$build/bin" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
uptime

if [ ! -s "$geno.pwld" ]; then
  echo "making $geno.pwld"
  /usr/bin/time -f "PWLD: %e s" "$bin/marlo" PWLD "$geno" /ANNO500000 /SKIPANNO /SEED1 >"$work/pwld.log"
fi
ls -l "$geno.pwld"

# The 1,000 SNPs in the middle of the file, by position.
snps=$(($(wc -l <"$geno") - 2))
first=$((snps / 2 - 500))
range=$(awk -F'\t' -v a=$((first + 3)) -v b=$((first + 1002)) 'NR == a { s = $3 } NR == b { print s "-" $3; exit }' "$geno")
echo "ld window: SNPs $((first + 1))-$((first + 1000)), positions $range"
for out in ld.png ld.svg; do
  for run in 1 2 3; do
    /usr/bin/time -f "ld $out run $run: %e s elapsed, %U s user + %S s system, peak %M KB" "$bin/marloplot" ld "$geno.pwld" --region "$range" \
      --out "$work/$out" >/dev/null
  done
done

if [ ! -s "$work/assoc/chr22.crss" ] || [ "$(cat "$work/assoc/rows" 2>/dev/null)" != "$rows" ]; then
  echo "generating $rows association rows"
  python3 "$here/make_assoc_data.py" "$work/assoc" "$rows"
  echo "$rows" >"$work/assoc/rows"
fi
reports=() genos=()
for c in $(seq 1 22); do
  reports+=("$work/assoc/chr$c.crss")
  genos+=("$work/assoc/chr$c.geno")
done
for run in 1 2 3; do
  /usr/bin/time -f "manhattan png run $run: %e s elapsed, %U s user + %S s system, peak %M KB" "$bin/marloplot" manhattan "${reports[@]}" \
    --geno "${genos[@]}" --fdr "$work/assoc/all.fdr" --out "$work/manhattan.png" >/dev/null
done
for run in 1 2 3; do
  /usr/bin/time -f "qq png run $run: %e s elapsed, %U s user + %S s system, peak %M KB" "$bin/marloplot" qq "${reports[@]}" --out "$work/qq.png" >/dev/null
done
ls -l "$work"/ld.png "$work"/ld.svg "$work"/manhattan.png "$work"/qq.png
uptime
