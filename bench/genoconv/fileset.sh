#!/usr/bin/env bash
# PLINK fileset -> genotype file on a whole chromosome:
#   bench/genoconv/fileset.sh GENO [BUILD_DIR] [REPEATS]
# GENO is a genotype file, plain or gzipped (chr10_exercise.geno.gz: 28,501
# SNPs x 1000 samples). The fileset is built the way a user gets one: the
# suite's own export (genoconv --to-vcf), then plink1.9 --vcf ... --make-bed.
# Reports the best of REPEATS (default 3) runs with peak memory, the same on
# a quarter of the SNPs (memory must not follow the SNP count), and checks
# that every genotype came back (as an unordered pair: plink1.9 reorders
# alleles).
set -eu
geno=$(readlink -f "${1:?usage: fileset.sh GENO [BUILD_DIR] [REPEATS]}")
build=$(readlink -f "${2:-build}")
repeats=${3:-3}
work=${WORK:-$(mktemp -d)}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
command -v plink1.9 >/dev/null || { echo "plink1.9 is needed"; exit 1; }
cd "$work"
case $geno in
  *.gz) gzip -dc "$geno" >in.geno ;;
  *) cp "$geno" in.geno ;;
esac
"$build/bin/genoconv" --geno in.geno --to-vcf --out in 2>export.log
plink1.9 --vcf in.vcf.gz --double-id --allow-extra-chr --make-bed --out fs >/dev/null
snps=$(wc -l <fs.bim)
plink1.9 --bfile fs --thin-count $((snps / 4)) --make-bed --out quarter >/dev/null
echo "fileset: $snps SNPs x $(wc -l <fs.fam) samples, .bed $(stat -c %s fs.bed) bytes; load: $(uptime | sed 's/.*load average: //')"

best() {  # label, then the command
  local label=$1
  shift
  local bestTime="" bestMem=""
  for _ in $(seq "$repeats"); do
    /usr/bin/time -f "%e %M" -o time "$@" 2>err || { cat err; exit 1; }
    read -r secs kb <time
    if [ -z "$bestTime" ] || awk -v a="$secs" -v b="$bestTime" 'BEGIN { exit !(a < b) }'; then
      bestTime=$secs
      bestMem=$kb
    fi
  done
  printf "%-40s %6.2f s %7.1f MB\n" "$label" "$bestTime" "$(awk -v k="$bestMem" 'BEGIN { print k / 1024 }')"
}

cat fs.bed fs.bim fs.fam >/dev/null
best "genoconv --bfile (all SNPs)" "$build/bin/genoconv" --bfile fs --out back
best "genoconv --bfile (a quarter of the SNPs)" "$build/bin/genoconv" --bfile quarter --out quarter
best "genoconv --geno --to-vcf (all SNPs)" "$build/bin/genoconv" --geno in.geno --to-vcf --out again

unordered() {
  awk -F'\t' -v OFS='\t' 'NR == 2 { next } NR > 2 { $4 = "+"; for (i = 5; i <= NF; i++) { a = substr($i, 1, 1); b = substr($i, 3, 1); $i = a < b ? a "/" b : b "/" a } } { print }' "$1"
}
if cmp -s <(unordered in.geno | cut -f1,3-) <(unordered back.geno | cut -f1,3-); then
  echo "every genotype came back through the fileset"
else
  echo "genotypes differ after the fileset round trip"
  exit 1
fi
echo "load: $(uptime | sed 's/.*load average: //')"
