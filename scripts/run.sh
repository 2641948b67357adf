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
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=/tmp/orvane-runtime-$(id -u)
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi
display=:${ORVANE_XVFB_DISPLAY:-77}
echo "No display found: running Orvane on a virtual X server ($display)."
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
# A window shown maximised before the window manager is up may never be mapped.
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
"$bin/orvane" "$@" &
app=$!
# Wait for the main window to be mapped, then give it a moment to paint.
for _ in $(seq 100); do
    xdotool search --onlyvisible --name OrvaneSoftware >/dev/null 2>&1 && break
    kill -0 $app 2>/dev/null || break
    sleep 0.1
done
sleep 1.5
if kill -0 $app 2>/dev/null; then
    import -window root "$shot"
    echo "Screenshot of the main window: $shot"
    echo "Orvane is running on $display; press Ctrl+C to stop it."
    wait $app
else
    wait $app || echo "Orvane ended with status $?."
fi
kill $xvfb 2>/dev/null || true
