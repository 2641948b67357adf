#!/usr/bin/env bash
# Sets up the machine, checks the include layers, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The include graph is printed only when an include goes against the layers.
layers=$(bash scripts/check-layers.sh) || { echo "$layers"; exit 1; }
bash scripts/build.sh
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j2
