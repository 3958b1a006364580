#!/usr/bin/env bash
# Wall time and peak memory of PREFLAG, PREIMPU and TAG1 on a whole chromosome.
#   bench/qc/run_bench.sh MARLO_BIN GENO_FILE [PAIR_LINES]
# GENO_FILE is an unpacked genotype file (for example chr10_exercise.geno.gz
# unpacked); it is copied, never modified. TAG1 runs on a generated .pwld of
# PAIR_LINES pair lines (default 1,200,000).
set -eu
marlo=$(readlink -f "${1:?usage: run_bench.sh MARLO_BIN GENO_FILE [PAIR_LINES]}")
geno=$(readlink -f "${2:?usage: run_bench.sh MARLO_BIN GENO_FILE [PAIR_LINES]}")
pairs=${3:-1200000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

measure() {  # label, then the command
  local label=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/out" 2>"$work/err"
  read -r secs kb <"$work/time"
  awk -v l="$label" -v s="$secs" -v k="$kb" 'BEGIN { printf "%-44s %7.2f s %9.1f MB\n", l, s, k / 1024 }'
}

cp "$geno" "$work/in.geno"
samples=$(head -n 2 "$work/in.geno" | tail -n 1 | tr '\t' '\n' | tail -n +5 | grep -c .)
snps=$(($(wc -l <"$work/in.geno") - 2))
echo "input: $geno ($snps SNP lines, $samples samples, $(stat -c %s "$work/in.geno") bytes)"
cd "$work"

# Warm the page cache so that every run reads from memory alike.
cat in.geno >/dev/null

measure "PREFLAG (default options)" "$marlo" PREFLAG in.geno

# Hint file: every seventh sample removed.
{
  echo "sample hint"
  echo "!Sample_Index"
  for ((i = 1; i <= samples; i++)); do
    if ((i % 7 == 0)); then echo "s$i	1"; else echo "s$i	0"; fi
  done
} >hint.txt
measure "PREFLAG /CLASS:1 /OUTFILE: /SAMPLE_HINT:" "$marlo" PREFLAG in.geno /CLASS:1 /OUTFILE:out.geno /SAMPLE_HINT:hint.txt
measure "PREIMPU (mode MAJOR_HOMO)" "$marlo" PREIMPU in.geno
echo "  replaced genotypes listed: $(wc -l <in.geno.pos)"

# A .pwld with one section: every SNP paired with its next 60 neighbours.
awk -v pairs="$pairs" 'BEGIN {
  print "!Chromosome_No:10"; print "!Region_Limit:500.0Kb"; print "!Sample_Type:M"
  print "No\tMarker1\tMarker2\tDistance\t|D'"'"'|\tr2\tLOD\tLOD_p_value\tChi_square\tp_value\tFour_gamete"
  srand(7); n = 0
  for (i = 0; n < pairs; i++)
    for (j = i + 1; j <= i + 60 && n < pairs; j++) {
      n++; r = rand(); r2 = (j - i < 4) ? 0.5 + r / 2 : r * r
      printf "%d\t%d\t%d\t%d\t%7.5f\t%7.5f\t1.00000\t0.50000\t1.00000\t0.50000\tN\n", n, i, j, (j - i) * 1000, r, r2
    }
}' >pairs.pwld
echo "generated .pwld: $(($(wc -l <pairs.pwld) - 4)) pair lines, $(stat -c %s pairs.pwld) bytes"
measure "TAG1 /R=0.8" "$marlo" TAG1 pairs.pwld /R=0.8
echo "  .tag lines: $(wc -l <pairs.pwld.tag)"
