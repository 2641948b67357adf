#!/usr/bin/env bash
# Checks packaging/orvane-agent.service with systemd-analyze verify, its ExecStart pointed at the
# built agent (systemd need not be running), and that "cmake --install --prefix DIR" puts the
# agent, the unit and its config inside DIR and nowhere else.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
[ -d "$build" ] || { bash scripts/setup.sh; cmake -S . -B "$build" -G Ninja >/dev/null; }
cmake --build "$build" -j2 --target orvane-agent >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

agent=$(realpath "$build/bin/orvane-agent")
sed "s|^ExecStart=/usr/bin/orvane-agent|ExecStart=$agent|" packaging/orvane-agent.service \
    >"$work/orvane-agent.service"
grep -q "^ExecStart=$agent " "$work/orvane-agent.service"
SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no "$work/orvane-agent.service" \
    2>"$work/verify.txt" || { cat "$work/verify.txt"; exit 1; }
# Nothing but the unknown user (the package creates it) may be reported.
if grep -v "orvane" "$work/verify.txt" | grep -q .; then cat "$work/verify.txt"; exit 1; fi
echo "unit: systemd-analyze verify passed"

# The whole install, once the whole tree is built (scripts/test-package.sh builds it).
if [ ! -x "$build/bin/orvane" ]; then
    echo "unit: install check skipped: build the tree first (cmake --build $build --target installable)"
    exit 0
fi
cmake --install "$build" --prefix "$work/root" >/dev/null
for f in bin/orvane-agent lib/systemd/system/orvane-agent.service etc/orvane/agent.ini; do
    [ -e "$work/root/$f" ] || { echo "install: $f is missing under the prefix" >&2; exit 1; }
done
echo "unit: installed under the prefix only"
