#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
#   build:     cmake g++ make pkg-config, htslib (VCF/BCF), Cairo (pictures)
#   tests:     GoogleTest, python3, clang with its sanitizer runtime (fuzzing),
#              bcftools/tabix and plink1.9 (yardsticks for the converters),
#              snakemake with jsonschema and yaml (the genome-wide workflow)
set -euo pipefail
need=()
for pkg in cmake g++ make pkg-config libgtest-dev python3 \
           libhts-dev libcairo2-dev \
           clang libclang-rt-14-dev \
           bcftools tabix plink1.9 \
           snakemake python3-jsonschema python3-yaml; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi
