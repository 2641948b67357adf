#!/usr/bin/env bash
# Configures and builds into build/ (or the folder in BUILD_DIR); ORVANE_WERROR=ON (as in CI)
# treats warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja ${ORVANE_WERROR:+-DORVANE_WERROR=$ORVANE_WERROR} "$@" >/dev/null
cmake --build "$build" -j2
