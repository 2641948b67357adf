#!/usr/bin/env bash
# The Change Log's VCD export read by a program nobody here wrote: the end-to-end test records
# inputs switched with qrxsim and exports the recording (VCD and CSV) with the list of what it
# set; sigrok-cli (Debian package sigrok-cli) converts the VCD, and every transition it reports
# must be one that was set, in order, at the time the CSV gives for it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}

if ! command -v sigrok-cli >/dev/null 2>&1; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 sigrok-cli
fi

if [ ! -d "$build" ]; then
    bash scripts/setup.sh
    cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" -j2 --target tst_changelog_sim >/dev/null

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
ORVANE_VCD_EXPORT_DIR=$out ctest --test-dir "$build" -R '^tst_changelog_sim$' --output-on-failure \
    >"$out/ctest.log" || { cat "$out/ctest.log"; exit 1; }

sigrok-cli -I vcd -i "$out/changes.vcd" -O vcd -o "$out/converted.vcd"

# "time wire value" of every transition after the start, as sigrok-cli reports them.
awk '$1 == "$var" { wire[$4] = $5; next }
     /^#/ { t = substr($1, 2)
            for (i = 2; i <= NF; i++)
                if (t > 0) print t, wire[substr($i, 2)], substr($i, 1, 1) }' \
    "$out/converted.vcd" >"$out/read.txt"
# The same from what was set: the CSV's times (seconds since the recording began, to the
# microsecond) beside the wires and values the test set.
tail -n +2 "$out/changes.csv" | cut -d, -f2 |
    awk '{ split($1, s, "."); printf "%d\n", s[1] * 1000000 + s[2] }' >"$out/times.txt"
paste -d' ' "$out/times.txt" "$out/sets.txt" >"$out/set.txt"

if ! diff -u "$out/set.txt" "$out/read.txt"; then
    echo "vcd: sigrok-cli read other transitions than were set" >&2
    exit 1
fi
[ -s "$out/set.txt" ] || { echo "vcd: nothing was recorded" >&2; exit 1; }
echo "vcd: sigrok-cli read back all $(wc -l <"$out/set.txt") transitions that were set"
