#!/usr/bin/env bash
# Sets up the machine, builds what running needs (the program, the simulated device library and
# qrxsim), and starts Orvane with the simulated boards.
# Without a display it starts a virtual X server on a free display number with a window manager,
# takes a screenshot, prints the line that lets a second terminal drive the same boards and click
# in the display, and keeps the program running until Ctrl+C, which ends it in order (SIGTERM)
# before the display stops.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target orvane qrxDApiLmd_x64 qrxsim
bin="$PWD/$build/bin"

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=/tmp/orvane-runtime-$(id -u)
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi
# The simulated boards' state file, named outright, so that a second terminal finds it.
export QRXSIM_STATE=${QRXSIM_STATE:-$XDG_RUNTIME_DIR/qrxsim-state}
# Prints the line that gives a second terminal the same boards (and display).
second_terminal() {
    local line="export QRXSIM_STATE=$(printf %q "$QRXSIM_STATE")"
    [ -n "${QRXSIM_CONFIG:-}" ] && line+=" QRXSIM_CONFIG=$(printf %q "$QRXSIM_CONFIG")"
    [ -n "${1:-}" ] && line+=" DISPLAY=$1"
    line+=" PATH=$(printf %q "$bin"):\$PATH; qrxsim boards"
    echo "To drive these boards from a second terminal, paste this line there:"
    echo "    $line"
    echo "then, for example: qrxsim set 0 in 5 1   (see the README for every command)"
}

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    second_terminal
    exec "$bin/orvane" "$@"
fi

shot=${ORVANE_SCREENSHOT:-${TMPDIR:-/tmp}/orvane-screenshot.png}
tmp=$(mktemp -d)
xvfb="" wm="" app=""
cleanup() {
    # The program first, while it still has its display; then the window manager and the display.
    for pid in $app $wm $xvfb; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

echo "No display found: running Orvane on a virtual X server."
# In sessions of their own, so that Ctrl+C in this terminal reaches only this script, which then
# ends the program before the display.
setsid Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
while [ ! -s "$tmp/display" ] && kill -0 $xvfb 2>/dev/null; do sleep 0.1; done
if [ ! -s "$tmp/display" ]; then
    wait $xvfb || true
    echo "Xvfb could not start a display. It said:" >&2
    cat "$tmp/xvfb.log" >&2
    exit 1
fi
export DISPLAY=:$(head -1 "$tmp/display")
setsid openbox >/dev/null 2>&1 &
wm=$!
# A window shown maximised before the window manager is up may never be mapped.
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
setsid "$bin/orvane" "$@" &
app=$!
trap 'echo; echo "Ending Orvane..."; kill -TERM $app 2>/dev/null || true' INT TERM
# Wait for the main window to be mapped, then give it a moment to paint.
for _ in $(seq 100); do
    xdotool search --onlyvisible --name OrvaneSoftware >/dev/null 2>&1 && break
    kill -0 $app 2>/dev/null || break
    sleep 0.1
done
sleep 1.5
if kill -0 $app 2>/dev/null; then
    import -window root "$shot"
    echo "Orvane is running on the virtual display $DISPLAY. Screenshot: $shot"
    second_terminal "$DISPLAY"
    echo "and click in the virtual display from there (X Y: a point of the 1280x800 screenshot),"
    echo "or take a new screenshot:"
    echo "    xdotool mousemove X Y click 1"
    echo "    import -window root /tmp/orvane-now.png"
    echo "Press Ctrl+C to end Orvane and stop the virtual display."
fi
# A Ctrl+C interrupts the wait; wait again until the program has ended.
while kill -0 $app 2>/dev/null; do wait $app || true; done
status=0
wait $app || status=$?
app=""
echo "Orvane ended with status $status."
