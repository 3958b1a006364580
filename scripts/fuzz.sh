#!/usr/bin/env bash
# Coverage-guided fuzzing of every reader and command line:
#   scripts/fuzz.sh [seconds per harness, default 60] [harness name ...]
# Builds the harnesses with clang in build-fuzz (its own build folder: the
# libFuzzer instrumentation is clang's), then runs each one in turn from its
# seed corpus in tests/fuzz/corpus/<name>/ with its dictionary. New inputs go
# to build-fuzz/corpus/<name>/, crashes to build-fuzz/artifacts/<name>/.
# Exits 1 when a harness found a crash, a leak, a sanitizer report or a
# timeout.
set -euo pipefail
cd "$(dirname "$0")/.."
# Absolute paths: the harnesses work in a scratch folder of their own, and
# libFuzzer reads the corpus files only when it runs them.
root=$PWD
seconds=${1:-60}
shift || true
build=$root/build-fuzz

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DMARLO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
if ! cmake --build "$build" -j"${MARLO_JOBS:-2}" --target fuzz_harnesses >"$build/build.log" 2>&1; then
  tail -n 40 "$build/build.log"
  exit 2
fi

dictionary_of() {
  case $1 in
    genotype_loader | preflag | preimpu) echo genotypes.dict ;;
    tag1_pwld) echo pwld.dict ;;
    hapxtab_blocks) echo blocks.dict ;;
    qvalcalc_report) echo report.dict ;;
    hint_file) echo hint.dict ;;
    manual_blocks) echo blocklist.dict ;;
    *_cmdline) echo options.dict ;;
    genoconv_vcf) echo vcf.dict ;;
    genoconv_plink) echo plink.dict ;;
    plot_pwld) echo pwld.dict ;;
    plot_blocks) echo plotblocks.dict ;;
    plot_assoc) echo plotreport.dict ;;
  esac
}

if [ $# -gt 0 ]; then
  names=("$@")
else
  names=()
  for h in "$build"/fuzz/fuzz_*; do names+=("$(basename "$h" | sed 's/^fuzz_//')"); done
fi

failed=0
for name in "${names[@]}"; do
  harness=$build/fuzz/fuzz_$name
  seeds=$root/tests/fuzz/corpus/$name
  corpus=$build/corpus/$name
  artifacts=$build/artifacts/$name
  mkdir -p "$corpus" "$artifacts" "$seeds"
  dict=$(dictionary_of "$name")
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$artifacts/")
  [ -n "$dict" ] && args+=(-dict="$root/tests/fuzz/$dict")
  log=$build/fuzz-$name.log
  status=0
  nice -n 19 "$harness" "${args[@]}" "$corpus" "$seeds" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  if [ $status -ne 0 ]; then
    failed=1
    echo "fuzz_$name: FOUND A FAULT after ${runs:-?} runs (see $log, inputs in $artifacts)"
    grep -m 5 -E 'ERROR|SUMMARY|runtime error' "$log" || true
  else
    echo "fuzz_$name: ${runs:-?} runs in ${seconds}s, coverage ${cov:-?} edges, no fault"
  fi
done
exit $failed
