#!/usr/bin/env bash
# Workers: PWLD on a whole chromosome with /THREADS1 and /THREADS2 (pairs
# alone, then with Gabriel blocks and crossover rates), checked byte for byte,
# beside plink1.9 --r2 dprime with-freqs over the same window with 1 and 2
# threads; then EM on a 24-SNP window and PLEM on 300 SNPs of the 2k file.
#   bench/threads/run.sh WHOLE_GENO GENO_2K [BUILD_DIR] [REPEATS]
# WHOLE_GENO: the chromosome (chr10_exercise.geno or .geno.gz); GENO_2K:
# chr10_exercise_2k.geno. REPEATS (default 3): the median wall time is shown.
# The VCF for plink comes from genoconv --to-vcf when GENOCONV names that
# program, else from a short awk step (biallelic SNPs; others left out).
set -euo pipefail
whole=${1:?usage: run.sh WHOLE_GENO GENO_2K [BUILD_DIR] [REPEATS]}
two=${2:?usage: run.sh WHOLE_GENO GENO_2K [BUILD_DIR] [REPEATS]}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${3:-$here/../../build}" && pwd)
repeats=${4:-3}
marlo=$build/bin/marlo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

case $whole in
  *.gz) gunzip -c "$whole" >"$work/chr.geno" ;;
  *) ln -s "$(cd "$(dirname "$whole")" && pwd)/$(basename "$whole")" "$work/chr.geno" ;;
esac

load() { cut -d' ' -f1-3 /proc/loadavg; }
# Wall seconds of a command run in $work/$1 (a folder), output there.
timed() {
  local dir=$1
  shift
  mkdir -p "$work/$dir"
  (cd "$work/$dir" && /usr/bin/time -f '%e %U %S %M' -o time "$@" >out 2>err)
  cat "$work/$dir/time"
}
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# Runs PWLD REPEATS times with the given options; prints the median wall
# time and keeps the outputs of the last run (time lines cut) in $work/$label.
pwld() {
  local label=$1
  shift
  local walls=""
  for ((r = 0; r < repeats; r++)); do
    rm -rf "$work/$label"
    mkdir -p "$work/$label"
    ln -s "$work/chr.geno" "$work/$label/in.geno"
    read -r wall user sys peak < <(timed "$label" "$marlo" PWLD in.geno "$@")
    walls="$walls $wall"
  done
  sed -i -E '/^(start_time|end_time)\t/d' "$work/$label/out"
  sed -i -E '/^#runtime=/d' "$work/$label/err"
  local med
  med=$(echo $walls | tr ' ' '\n' | median)
  pairs=$(awk '/^LD Efficiency =/ {split($3, a, "/"); n += substr(a[1], 2)} END {print n + 0}' "$work/$label/out")
  printf '%-28s wall %6.2f s (runs:%s), last run user %s s, peak %d MB, %d pairs, %.0f ns/pair, load %s\n' \
    "$label" "$med" "$walls" "$user" $((peak / 1024)) "$pairs" "$(awk -v w="$med" -v p="$pairs" 'BEGIN {print w / p * 1e9}')" "$(load)"
  eval "wall_$label=$med; pairs_$label=$pairs"
}

same() {
  local a=$1 b=$2 f bad=0
  for f in out err in.geno.pwld in.geno.pwlds in.geno.ld.hblk in.geno.ld.rblk; do
    [ -e "$work/$a/$f" ] || continue
    cmp -s "$work/$a/$f" "$work/$b/$f" || { echo "  $b: $f DIFFERS from $a"; bad=1; }
  done
  [ $bad -eq 0 ] && echo "  $b: every file and the console equal $a"
}

echo "== PWLD whole chromosome /ANNO500000 /SKIPANNO /SEED1 (median of $repeats), $(nproc) cores"
pwld t1 /ANNO500000 /SKIPANNO /SEED1 /THREADS1
pwld t2 /ANNO500000 /SKIPANNO /SEED1 /THREADS2
same t1 t2
echo "speed-up x$(awk -v a="$wall_t1" -v b="$wall_t2" 'BEGIN {printf "%.2f", a / b}')"
# Amdahl from two points, T(2) = T(1) (s + (1 - s) / 2): only meaningful on
# a quiet machine.
awk -v a="$wall_t1" -v b="$wall_t2" 'BEGIN {s = 2 * b / a - 1; if (s < 0) s = 0;
  printf "serial share from the two wall times %.3f; projected speed-up %.1fx on 16 cores, %.1fx on 64\n", s, 1 / (s + (1 - s) / 16), 1 / (s + (1 - s) / 64)}'
# The single-threaded part measured directly, in CPU seconds: reading and
# packing every sample type (a run with no pair in reach), against the CPU
# of the whole /THREADS1 run.
mkdir -p "$work/nopairs"
ln -sf "$work/chr.geno" "$work/nopairs/in.geno"
read -r wall user sys peak < <(timed nopairs "$marlo" PWLD in.geno /ANNO1 /SKIPANNO /SEED1)
read -r w1 u1 s1 p1 <"$work/t1/time"
awk -v u="$user" -v s="$sys" -v u1="$u1" -v s1="$s1" 'BEGIN {f = (u + s) / (u1 + s1);
  printf "reading and packing: %.2f s CPU of %.2f s (share %.3f, writing not included); projected %.1fx on 16 cores, %.1fx on 64\n",
    u + s, u1 + s1, f, 1 / (f + (1 - f) / 16), 1 / (f + (1 - f) / 64)}'
pwld b1 /ANNO500000 /SKIPANNO /SEED1 /LDBLK2 /CRSOVR /THREADS1
pwld b2 /ANNO500000 /SKIPANNO /SEED1 /LDBLK2 /CRSOVR /THREADS2
same b1 b2
echo "speed-up with blocks x$(awk -v a="$wall_b1" -v b="$wall_b2" 'BEGIN {printf "%.2f", a / b}')"

echo
echo "== plink1.9 --r2 dprime with-freqs, same window, every sample"
if [ -n "${GENOCONV:-}" ]; then
  "$GENOCONV" --geno "$work/chr.geno" --to-vcf --out "$work/chr" >/dev/null
  vcf=$work/chr.vcf.gz
else
  vcf=$work/chr.vcf
  awk -F'\t' 'BEGIN {OFS = "\t"}
    NR == 1 {printf "##fileformat=VCFv4.2\n#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT"
             for (i = 5; i <= NF; i++) printf "\t%s", $i; printf "\n"; next}
    NR == 2 {next}
    {n = 0; delete seen
     for (i = 5; i <= NF; i++) for (k = 1; k <= 3; k += 2) {c = substr($i, k, 1)
       if (c != "N" && !(c in seen)) {seen[c] = n++; al[n - 1] = c}}
     if (n != 2) next
     line = $2 "\t" $3 "\t" $1 "\t" al[0] "\t" al[1] "\t.\t.\t.\tGT"
     for (i = 5; i <= NF; i++) {a = substr($i, 1, 1); b = substr($i, 3, 1)
       line = line "\t" ((a == "N") ? "." : seen[a]) "/" ((b == "N") ? "." : seen[b])}
     print line}' "$work/chr.geno" >"$vcf"
fi
(cd "$work" && plink1.9 --vcf "$vcf" --make-bed --allow-extra-chr --out bed >/dev/null)
for t in 1 2; do
  walls=""
  for ((r = 0; r < repeats; r++)); do
    read -r wall user sys peak < <(timed "plink$t" plink1.9 --bfile ../bed --allow-extra-chr --r2 dprime with-freqs \
      --ld-window 99999 --ld-window-kb 500 --ld-window-r2 0 --threads $t --out ld)
    walls="$walls $wall"
  done
  med=$(echo $walls | tr ' ' '\n' | median)
  pairs=$(($(wc -l <"$work/plink$t/ld.ld") - 1))
  printf 'plink1.9 --threads %d        wall %6.2f s (runs:%s), %d pairs, %.0f ns/pair, load %s\n' \
    "$t" "$med" "$walls" "$pairs" "$(awk -v w="$med" -v p="$pairs" 'BEGIN {print w / p * 1e9}')" "$(load)"
  eval "plink_ns_$t=$(awk -v w="$med" -v p="$pairs" 'BEGIN {print w / p * 1e9}')"
done
awk -v a="$wall_t1" -v pa="$pairs_t1" -v b="$wall_t2" -v pb="$pairs_t2" -v q1="$plink_ns_1" -v q2="$plink_ns_2" 'BEGIN {
  printf "time per pair against plink1.9: /THREADS1 %.2fx of --threads 1, /THREADS2 %.2fx of --threads 2\n",
    a / pa * 1e9 / q1, b / pb * 1e9 / q2}'

echo
echo "== EM, 24 SNPs from SNP 1400 of $(basename "$two"); PLEM, first 300 SNPs"
awk 'NR <= 2 || (NR >= 1403 && NR <= 1426); NR > 1426 {exit}' "$two" >"$work/em24.geno"
awk 'NR <= 302' "$two" >"$work/plem300.geno"
for t in 1 2; do
  for cmd in "EM em24.geno /SEED1" "PLEM plem300.geno /SEED1"; do
    set -- $cmd
    mkdir -p "$work/$1$t"
    ln -sf "$work/$2" "$work/$1$t/$2"
    read -r wall user sys peak < <(timed "$1$t" "$marlo" $cmd /THREADS$t)
    printf '%-5s /THREADS%d wall %6.2f s, peak %d MB, load %s\n' "$1" "$t" "$wall" $((peak / 1024)) "$(load)"
  done
done
for c in EM PLEM; do
  for f in "$work/${c}1"/*.em.* "$work/${c}1"/*.plem.*; do
    [ -e "$f" ] || continue
    cmp -s "$f" "$work/${c}2/$(basename "$f")" || echo "  $c: $(basename "$f") DIFFERS between 1 and 2 threads"
  done
done
