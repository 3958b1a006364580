#!/usr/bin/env bash
# Redraws the README's pictures (docs/img/) from the example analysis, so that
# the README always shows what the current code draws. Runs scripts/example.sh
# (build and analysis) and copies its pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/example.sh >/dev/null || {
  echo "scripts/example.sh failed; run it alone to see the failing step"
  exit 1
}
mkdir -p docs/img
for f in ld.png manhattan.png qq.png; do
  cp "out/example/$f" "docs/img/$f"
  echo "docs/img/$f"
done
