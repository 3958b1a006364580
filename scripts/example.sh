#!/usr/bin/env bash
# Builds the suite and runs the whole analysis on the bundled example data
# (examples/chr10_300.vcf.gz with its types file, converted to the genotype
# file first, as a user starting from a VCF would) into a fresh folder,
# out/example/, then prints a short summary. Stops at the first failing step
# and names it.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/prerequisites.sh || exit 1
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build build -j"$(nproc)" --target marlo snpxtab hapxtab qvalcalc marloplot >/dev/null || {
  echo "build failed"
  exit 1
}
cmake --build build -j"$(nproc)" --target genoconv >/dev/null || {
  echo "build failed"
  exit 1
}

bin="$root/build/bin"
out="$root/out/example"
rm -rf "$out"
mkdir -p "$out/logs"
cd "$out" || exit 1
start=$(date +%s)

fail() {
  echo "step failed: $1 (see $out/logs/$1.stdout and $1.stderr)"
  exit 1
}

# A marlo step succeeds when it reports its success status.
marlo_step() {
  local name=$1
  shift
  "$bin/marlo" "$@" /PROGRESS >"logs/$name.stdout" 2>"logs/$name.stderr" || fail "$name"
  grep -q '^#success=' "logs/$name.stderr" || fail "$name"
  echo "  $name done"
}

# The small programs end with status 0 on success.
program_step() {
  local name=$1
  shift
  "$@" >"logs/$name.stdout" 2>"logs/$name.stderr" || fail "$name"
  echo "  $name done"
}

echo "Running the example analysis in $out"
program_step genoconv "$bin/genoconv" --vcf "$root/examples/chr10_300.vcf.gz" \
  --types "$root/examples/chr10_300.types" --out chr10
marlo_step preflag PREFLAG chr10.geno /OUTFILE:chr10.flagged.geno
cp chr10.geno chr10.impu
marlo_step preimpu PREIMPU chr10.impu
head -n 12 chr10.impu >chr10_window10.impu
marlo_step em EM chr10_window10.impu /EPS0.0001
head -n 52 chr10.impu >chr10_first50.impu
marlo_step plem PLEM chr10_first50.impu /SEED1
marlo_step pwld PWLD chr10.impu /LDBLK2 /CRSOVR /ANNO500000 /SEED1
marlo_step tag1 TAG1 chr10.impu.pwld
program_step snpxtab "$bin/snpxtab" chr10.impu 0 0.05 0 0 Y
program_step hapxtab "$bin/hapxtab" chr10_first50.impu.plem.hblk 0.05 0 Y
program_step qvalcalc "$bin/qvalcalc" 0 chr10.impu.snp.crss.00.tmp 0
# Pictures: the LD triangle of the merged type over SNPs 1-80 with the
# Gabriel blocks, the Manhattan plot with its thresholds, the QQ plot.
program_step ld_picture "$bin/marloplot" ld chr10.impu.pwld --blocks chr10.impu.ld.hblk \
  --from "$(awk -F'\t' 'NR == 3 { print $1 }' chr10.impu)" --to "$(awk -F'\t' 'NR == 82 { print $1 }' chr10.impu)" \
  --out ld.png
program_step manhattan_picture "$bin/marloplot" manhattan chr10.impu.snp.crss.00.tmp --geno chr10.impu \
  --fdr chr10.impu.snp.crss.00.tmp.fdr --out manhattan.png
program_step qq_picture "$bin/marloplot" qq chr10.impu.snp.crss.00.tmp --out qq.png
end=$(date +%s)

echo
echo "== Summary (analysis took $((end - start)) s) =="
awk -F'\t' '
  /^!Sample_Type:/ { type = substr($0, 14); next }
  /^Marker_ID/ { next }
  type == "M" && NF >= 14 { total++; if ($14 == "1") flagged++ }
  END { printf "SNPs flagged by quality control (all samples): %d of %d\n", flagged, total }' chr10.geno.flag
awk '
  /^!Sample_Type:/ { type = substr($0, 14) }
  /^!Block_No:/ { if (!(type in blocks)) order[++n] = type; blocks[type]++ }
  END { line = "LD blocks found per sample type:"; for (i = 1; i <= n; i++) line = line " " order[i] "=" blocks[order[i]]; print line }' chr10.impu.ld.hblk
awk -F'\t' '
  /^!Sample_Type:/ { type = substr($0, 14); next }
  /^!/ || /^No\t/ { next }
  NF >= 4 { if (!(type in count)) order[++n] = type; count[type]++ }
  END { line = "Tag SNPs per sample type (r2 > 0.8, taggers and singletons):"; for (i = 1; i <= n; i++) line = line " " order[i] "=" count[order[i]]; print line }' \
  chr10.impu.pwld.tag
echo "Five smallest association p-values (additive model, minor allele) with q-values:"
awk -F'\t' 'NR > 1 && NR <= 6 { printf "  %-12s p = %s  q = %s\n", $1, $2, $3 }' chr10.impu.snp.crss.00.tmp.fdr
echo "Pictures: ld.png (LD, merged type, SNPs 1-80, Gabriel blocks), manhattan.png, qq.png ($(cut -d' ' -f1-3 logs/qq_picture.stdout | head -n 1))"
echo
echo "Result files (in $out):"
for f in chr10.geno.flag chr10.flagged.geno chr10.impu chr10.impu.pos \
  chr10_window10.impu.em.ihap chr10_window10.impu.em.phap chr10_window10.impu.em.hblk \
  chr10_first50.impu.plem.ihap chr10_first50.impu.plem.phap chr10_first50.impu.plem.hblk \
  chr10.impu.pwld chr10.impu.pwlds chr10.impu.ld.hblk chr10.impu.ld.rblk chr10.impu.pwld.tag \
  chr10.impu.snp.crss.00.tmp chr10_first50.impu.hap.crss.0.tmp chr10.impu.snp.crss.00.tmp.fdr \
  ld.png manhattan.png qq.png; do
  [ -e "$f" ] || fail "missing result $f"
  printf "  %-40s %10d bytes\n" "$f" "$(stat -c %s "$f")"
done
echo "Console output of every step: $out/logs/"
