#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and runs every
# test there; any sanitizer report (a leak included) fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${SANITIZE_BUILD_DIR:-build-asan}
BUILD_DIR=$build bash scripts/build.sh -DORVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
ctest --test-dir "$build" --output-on-failure -j2
