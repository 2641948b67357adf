#!/usr/bin/env bash
# Sets up the machine, builds, and starts Orvane with the simulated boards.
# Without a display it starts a virtual X server, takes a screenshot of the program and says
# where it is; the program keeps running until you press Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
bin="$PWD/${BUILD_DIR:-build}/bin"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$bin/orvane" "$@"
fi

shot=${ORVANE_SCREENSHOT:-$PWD/orvane-screenshot.png}
display=:${ORVANE_XVFB_DISPLAY:-77}
echo "No display found: running Orvane on a virtual X server ($display)."
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
"$bin/orvane" "$@" &
app=$!
sleep 3
if kill -0 $app 2>/dev/null; then
    import -window root "$shot"
    echo "Screenshot of the main window: $shot"
    echo "Orvane is running on $display; press Ctrl+C to stop it."
    wait $app
else
    wait $app || echo "Orvane ended with status $?."
fi
kill $xvfb 2>/dev/null || true
