#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) in
# build-fuzz and runs each on a copy of its seed corpus for a bounded number of executions.
# Fails on any crash, sanitizer report, leak or hang; what a failing run found is kept in
# build-fuzz/artifacts/.
# Usage: scripts/fuzz.sh [runs]     (default: 20000 executions per target)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20000}"
build="${FUZZ_BUILD_DIR:-build-fuzz}"
targets=(profile cardmap word splitpath boardfile agentconfig historytime)

bash scripts/setup.sh
missing=()
for p in clang-14 libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DORVANE_FUZZ=ON >/dev/null
# Only the fuzz targets and the layers they link; the windows are not compiled here.
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
artifacts="$build/artifacts"
mkdir -p "$artifacts"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

failed=0
for t in "${targets[@]}"; do
    cp -r "fuzz/corpus/$t" "$work/$t"
    log="$work/$t.log"
    start=$SECONDS
    if "$build/fuzz/fuzz_$t" -runs="$runs" -detect_leaks=1 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts/fuzz_$t-" "$work/$t" >"$log" 2>&1; then
        done_runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
        echo "fuzz_$t: ${done_runs:-?} executions in $((SECONDS - start)) s, no crash, no sanitizer report, no leak"
    else
        echo "fuzz_$t: FAILED after $((SECONDS - start)) s (artifacts in $artifacts):"
        tail -n 60 "$log"
        failed=1
    fi
done
exit $failed
