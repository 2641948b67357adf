#!/usr/bin/env bash
# The single-point device calls belong to point I/O (src/model/), the binding's declarations
# (src/device/), the simulated library (sim/), the tests and the benchmarks that time the calls
# themselves. Anywhere else a program would read or write points around the model's own rule;
# this lists such calls and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
stray=$(git grep -nE 'DXS_dev(Di|Do)(Get|Set)Bit' -- . ':!src/model/' ':!src/device/' ':!sim/' \
    ':!tests/' ':!bench/' ':!*.md' ':!man/' || true)
if [ -n "$stray" ]; then
    echo "single-point device calls outside point I/O:"
    echo "$stray"
    exit 1
fi
echo "point calls: only in src/model, src/device, sim, tests and bench"
