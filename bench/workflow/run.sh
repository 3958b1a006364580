#!/usr/bin/env bash
# Genome-wide workflow benchmark: a two-chromosome study run on 1 and on 2 cores.
#   bench/workflow/run.sh WHOLE_GENO[.gz] WORK_DIR [BUILD_DIR] [SNPS] [INPUT]
# WHOLE_GENO: a whole-chromosome genotype file (chr10_exercise.geno.gz works as
# it is). SNPS (default 28000) of its first SNP lines become two chromosomes of
# SNPS/2, with all 1000 samples, written by tests/workflow/make_study.py as one
# bgzipped VCF. INPUT: vcf (default; needs genoconv) or geno (the same data as
# genotype files, no conversion). Pictures are off (marloplot is measured by
# its own benchmark).
# Prints per run the wall time, the sum of the steps' own times (Snakemake's
# benchmark files), the engine's overhead (1-core wall time − sum of steps),
# and the speed-up of 2 cores over the steps run one after another. On a
# machine shared with other work the steps' CPU times show what the steps
# needed, whatever share of the cores they got.
set -euo pipefail
geno=${1:?usage: run.sh WHOLE_GENO WORK_DIR [BUILD_DIR] [SNPS] [INPUT]}
work=${2:?usage: run.sh WHOLE_GENO WORK_DIR [BUILD_DIR] [SNPS] [INPUT]}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(cd "${3:-$repo/build}" && pwd)
snps=${4:-28000}
input=${5:-vcf}
export LC_ALL=C
mkdir -p "$work"
work=$(cd "$work" && pwd)

python3 "$repo/tests/workflow/make_study.py" "$geno" --snps "$snps" --samples 1000 \
  --out "$work/study" --geno-dir "$work/geno" >/dev/null
if [ "$input" = vcf ]; then
  in="  vcf: $work/study.vcf.gz"
else
  in="  geno_per_chrom: $work/geno/chr{chrom}.geno"
fi

declare -A wall
for cores in 1 2; do
  dir=$work/cores$cores
  rm -rf "$dir"
  mkdir -p "$dir"
  printf 'bin: %s\ninput:\n%s\n  types: %s\nplots:\n  enabled: false\n' \
    "$build/bin" "$in" "$work/study.types" >"$dir/study.yaml"
  echo "cores=$cores: load before: $(uptime | sed 's/.*load average: //')"
  start=$(date +%s.%N)
  snakemake -s "$repo/workflow/Snakefile" --directory "$dir" --configfile "$dir/study.yaml" \
    --cores "$cores" --profile "$repo/workflow/profiles/local" >"$dir/snakemake.log" 2>&1 || {
    echo "workflow failed, see $dir/snakemake.log"
    exit 1
  }
  end=$(date +%s.%N)
  wall[$cores]=$(echo "$end - $start" | bc)
  steps=$(awk 'FNR == 2 { s += $1 } END { printf "%.2f", s }' $(find "$dir/results/benchmarks" -name '*.tsv'))
  cpu=$(awk 'FNR == 2 { s += $10 } END { printf "%.2f", s }' $(find "$dir/results/benchmarks" -name '*.tsv'))
  echo "cores=$cores: wall ${wall[$cores]} s, sum of steps $steps s (CPU $cpu s), jobs at once on average" \
    "$(echo "scale=2; $steps / ${wall[$cores]}" | bc), load after: $(uptime | sed 's/.*load average: //')"
  # Snakemake samples CPU time coarsely; the step logs hold the programs' own.
  echo "  CPU seconds of the suite's programs (step logs): $(cat $(find "$dir/results/logs" -name '*.log*') |
    awk '/^cpu seconds:/ { s += $3 } END { printf "%.2f", s }')"
  echo "  per step (wall s, program CPU s, max RSS MB):"
  for f in $(find "$dir/results/benchmarks" -name '*.tsv' | sort); do
    n=${f#"$dir/results/benchmarks/"}
    log=$dir/results/logs/${n%.tsv}.log
    c=$({ cat "$log" 2>/dev/null; cat "$log".part* 2>/dev/null; } |
      awk '/^cpu seconds:/ { s += $3; n++ } END { if (n) printf "%.2f", s; else print "-" }' || true)
    awk -v n="$n" -v c="$c" 'FNR == 2 { printf "    %-32s %8.2f %8s %8.1f\n", n, $1, c, $3 }' "$f"
  done
  [ "$cores" = 1 ] && serial=$steps
done
echo "engine overhead (1-core wall - sum of steps): $(echo "${wall[1]} - $serial" | bc) s"
echo "speed-up of 2 cores over the serial sum of steps: $(echo "scale=2; $serial / ${wall[2]}" | bc)"
