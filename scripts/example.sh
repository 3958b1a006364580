#!/usr/bin/env bash
# Builds the suite and shows the engine's usage text.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/prerequisites.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target marlo
build/bin/marlo || true
