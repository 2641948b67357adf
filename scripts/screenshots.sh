#!/usr/bin/env bash
# Takes the screenshots in docs/ again: Orvane with the simulated boards on a private virtual
# X server (1280 x 800) with openbox, driven with xdotool, captured with ImageMagick's import.
# Usage: bash scripts/screenshots.sh [output folder, default docs]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath "${1:-docs}")
mkdir -p "$out"
bin="$PWD/${BUILD_DIR:-build}/bin"
work=$(mktemp -d)
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
export QRXSIM_STATE=$work/state QRXSIM_CONFIG= ORVANE_DEVICE_LIBRARY=
mkdir -p "$HOME" "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
export DISPLAY=:${ORVANE_XVFB_DISPLAY:-78}
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
"$bin/qrxsim" reset >/dev/null
"$bin/orvane" &
for _ in $(seq 100); do
    xdotool search --onlyvisible --name OrvaneSoftware >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 1.5

# Where things are on the maximised main window: the first monitoring frame's outer corner,
# and the corner of the form inside it. Form positions are in dialog units, 6 x 14 pixels
# per 4 x 8 units, rounded as the program rounds them.
frameX=206 frameY=86 formX=210 formY=109
click() { xdotool mousemove "$1" "$2" click 1; sleep 0.4; }
atUnits() { click $((formX + ($1 * 6 + 2) / 4)) $((formY + ($2 * 14 + 4) / 8)); }
# A frame with one pixel of the desktop around it.
frameShot() { sleep 1; import -window root -crop "$(($1 + 2))x$(($2 + 2))+$((frameX - 1))+$((frameY - 1))" "$out/$3"; }
selectBoard() { # position in the controller selector
    click 75 61
    xdotool key Up Up Up Up
    for _ in $(seq "$1"); do xdotool key Down; done
    xdotool key Return; sleep 0.4
}
menu() { xdotool key "$1"; sleep 0.4; shift; xdotool key "$@"; sleep 1.5; }
dialogShot() { # title, file
    import -frame -window "$(xdotool search --onlyvisible --name "$1" | head -1)" "$out/$2"
    xdotool key Escape; sleep 0.5
}

# The 64-input, 64-output board (card 1), whose inputs read its outputs: outputs 1 and 5 on.
selectBoard 1
menu alt+m Return
atUnits 52 159 # output button 1
atUnits 104 159 # output button 5
xdotool mousemove 900 700; sleep 1
import -window root "$out/main-window.png"
frameShot 410 505 dio-64-tab0.png
# Its second tabs, with a word typed into the output field.
atUnits 61 13    # DI_1
atUnits 67 135   # DO_1
atUnits 204 231  # the output word
xdotool key ctrl+a; xdotool type F00F; xdotool key Return
xdotool mousemove 900 700
frameShot 410 505 dio-64-tab1.png
atUnits 204 252 # Close
# The input board (card 2) with its walking light.
selectBoard 2
menu alt+m Return
xdotool mousemove 900 700
frameShot 410 505 dio-input-only.png
atUnits 204 252

selectBoard 0
click 168 61 # System IO on the tool bar
xdotool mousemove 900 700
frameShot 410 266 sysio.png

menu alt+s Return
dialogShot "Save Parameter" dlg-saveprm.png
menu alt+s Down Return
dialogShot "System Reset" dlg-sysrst.png
menu alt+s Down Down Return
dialogShot "System Environment Setup" dlg-envsetup.png
menu alt+e Return
dialogShot "Log Level Setup" dlg-loglevel.png
echo "Screenshots written to $out"
