#!/usr/bin/env bash
# Takes the Plant window's screenshots in docs/: Orvane on a private virtual X server with
# openbox, connected to a Mosquitto broker of its own on 127.0.0.1 that holds the retained
# topics of three made-up agents (one with a tripped watchdog, one offline), captured with
# ImageMagick's import.
# Usage: bash scripts/plant-screenshots.sh [output folder, default docs]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath "${1:-docs}")
bin="$PWD/${BUILD_DIR:-build}/bin"
work=$(mktemp -d)
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
export QRXSIM_STATE=$work/state QRXSIM_CONFIG= ORVANE_DEVICE_LIBRARY=
unset DBUS_SESSION_BUS_ADDRESS
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$work/app" && mkdir -m 700 "$XDG_RUNTIME_DIR"
# A copy of the program, so that its settings file lands beside it in the work folder.
cp "$bin/orvane" "$bin"/libqrxDApiLmd_x64.so "$bin/qrxsim" "$work/app/"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" >"$work/broker.conf"
mosquitto -c "$work/broker.conf" >/dev/null 2>&1 &
broker=$!
export DISPLAY=:${ORVANE_XVFB_DISPLAY:-79}
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
sleep 1

pub() { mosquitto_pub -p "$port" -h 127.0.0.1 -r -t "$1" -m "$2"; }
# An agent: prefix, host, simulated, cards...
agent() {
    local prefix=$1 host=$2 simulated=$3
    shift 3
    local boards="" card p
    for card in "$@"; do
        boards+="${boards:+,}{\"card\":$card,\"type\":\"174\",\"name\":\"QRX-LN64DIO\",\"firmware\":\"2.1\",\"inputs\":32,\"outputs\":16,\"writable\":[3,4],\"names\":{\"in\":{\"0\":\"Door sensor\",\"1\":\"Light curtain\",\"5\":\"Pallet present\"},\"out\":{\"3\":\"Conveyor lamp\",\"4\":\"Horn\"}}}"
    done
    pub "$prefix/status" online
    pub "$prefix/info" "{\"version\":\"14.0.0\",\"host\":\"$host\",\"simulated\":$simulated,\"interval_ms\":100,\"boards\":[$boards]}"
    for card in "$@"; do
        pub "$prefix/card$card/status" online
        for p in $(seq 0 31); do pub "$prefix/card$card/in/$p" $(((p * 7 + card) % 3 == 0 ? 1 : 0)); done
        for p in $(seq 0 15); do pub "$prefix/card$card/out/$p" $((p % 4 == 3 ? 1 : 0)); done
    done
}
agent orvane/line3-pc line3-pc false 5 7
agent orvane/press-pc press-pc false 1
agent orvane/test-bench test-bench true 0
pub orvane/line3-pc/card7/status offline
pub orvane/line3-pc/card7/status/reason "DXS_devDiGetWord(card=7) refused: -12"
pub orvane/press-pc/watchdog '{"state":"tripped","clearable":true,"trips":1,"reason":"no Modbus request for 2000 ms"}'
pub orvane/test-bench/status offline

printf '[PlantBroker]\nHost=127.0.0.1\nPort=%s\nTopicRoot=orvane/+\n' "$port" >"$work/app/Orvane.ini"
"$work/app/qrxsim" reset >/dev/null
"$work/app/orvane" &
app=$!
for _ in $(seq 100); do
    xdotool search --onlyvisible --name OrvaneSoftware >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 1.5
# Monitoring > Plant
xdotool key alt+m; sleep 0.4; xdotool key Down Down Return; sleep 2
# The list (the frame is the first child of the maximised main window): open line3-pc (the
# first line, sorted by host) and choose its card 5.
frameX=206 frameY=86
click() { xdotool mousemove "$1" "$2" click 1; sleep 0.4; }
click $((frameX + 60)) $((frameY + ${ORVANE_PLANT_ROW:-90}))
xdotool key Right Down; sleep 1.5
xdotool mousemove 1200 780; sleep 0.5
import -window root "$out/plant-window.png"
# press-pc: its watchdog banner.
click $((frameX + 60)) $((frameY + ${ORVANE_PLANT_ROW:-90}))
xdotool key Left Down Right Down; sleep 1.5
xdotool mousemove 1200 780; sleep 0.5
import -window root "$out/plant-watchdog.png"
kill "$broker" "$app"; wait "$app" 2>/dev/null || true
