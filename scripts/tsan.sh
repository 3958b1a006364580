#!/usr/bin/env bash
# The threaded code under ThreadSanitizer: builds marlo and the worker-pool
# tests in build-tsan/ and runs them with the thread-count property test.
#   scripts/tsan.sh [RANDOM_FILES]   (default 4)
# Not part of .ci/run: a third build of the suite; run it after changing
# anything workers call.
set -euo pipefail
cd "$(dirname "$0")/.."
export TSAN_OPTIONS=halt_on_error=1
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARLO_TSAN=ON >/dev/null
cmake --build build-tsan -j"$(nproc)" --target marlo test_common_sgt test_marlo_core test_ld
build-tsan/tests/test_common_sgt --gtest_filter='Parallel*:LineReader.ReadingAhead*'
build-tsan/tests/test_marlo_core --gtest_filter='EMAlgorithm.Threads*:GenoDataLoad.Workers*'
build-tsan/tests/test_ld --gtest_filter='GabrielBlocks.*:PairPackedIdentity.RandomFiles*'
python3 tests/parallel/thread_identity.py "$PWD/build-tsan/bin" "$PWD/build-tsan/parallel-work" "${1:-4}"
