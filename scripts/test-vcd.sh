#!/usr/bin/env bash
# The Change Log's VCD export read by programs nobody here wrote: the end-to-end test records
# inputs switched with qrxsim and exports the recording (VCD and CSV) with the list of what it
# set; sigrok-cli (Debian package sigrok-cli) converts the VCD, and every transition it reports
# must be one that was set, in order, at the tick of the time the CSV gives for it. GTKWave's
# vcd2fst (package gtkwave) converts it too, keeping the scopes and wires; the wire map in the
# VCD's comment names every wire; Python's csv module reads the CSV whole. Then the same for
# "qrxio history --vcd" of what orvane-agent recorded, against "qrxio history --csv".
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}

if ! command -v sigrok-cli >/dev/null 2>&1 || ! command -v vcd2fst >/dev/null 2>&1; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 sigrok-cli \
        gtkwave
fi

# The microseconds of a VCD's tick ("$timescale 1ms $end": 1000).
tick_us() {
    awk '$1 == "$timescale" { n = $2 + 0; u = $2; sub(/^[0-9]+/, "", u)
                              print n * (u == "s" ? 1000000 : u == "ms" ? 1000 : 1); exit }' "$1"
}
# The CSV's changes (not the start levels) as "tick", from elapsed_s, less `base` ticks.
csv_ticks() {
    awk -F, -v tick="$2" -v base="${3:-0}" '$8 == "change" {
        split($2, s, "."); printf "%d\n", int((s[1] * 1000000 + s[2]) / tick) - base }' "$1"
}

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
tick=$(tick_us "$out/changes.vcd")

# "time wire value" of every transition after the start, as sigrok-cli reports them.
awk '$1 == "$var" { wire[$4] = $5; next }
     /^#/ { t = substr($1, 2)
            for (i = 2; i <= NF; i++)
                if (t > 0) print t, wire[substr($i, 2)], substr($i, 1, 1) }' \
    "$out/converted.vcd" >"$out/read.txt"
# The same from what was set: the ticks of the CSV's times (seconds since the recording began,
# to the microsecond) beside the wires and values the test set.
csv_ticks "$out/changes.csv" "$tick" >"$out/times.txt"
paste -d' ' "$out/times.txt" "$out/sets.txt" >"$out/set.txt"

if ! diff -u "$out/set.txt" "$out/read.txt"; then
    echo "vcd: sigrok-cli read other transitions than were set" >&2
    exit 1
fi
[ -s "$out/set.txt" ] || { echo "vcd: nothing was recorded" >&2; exit 1; }
echo "vcd: sigrok-cli read back all $(wc -l <"$out/set.txt") transitions that were set"

# The wire map: one line per $var, the same code and reference, card, direction and point as
# the reference says, and the full names the test gave.
awk '$1 == "$var" { vars[$4] = $5; nvars++ }
     $1 == "wire" { n++; ref = "c" $5 "_" $6 $7
                    if (vars[$2] != $3 || index($3, ref) != 1) { print "bad map line: " $0; bad = 1 } }
     END { if (n != nvars) { print n " map lines for " nvars " wires"; bad = 1 }; exit bad }' \
    "$out/changes.vcd"
grep -q '^wire & c3_in5_Door_sensor card 3 in 5 "Door sensor"$' "$out/changes.vcd" ||
    { echo "vcd: the wire map lacks input 5's name" >&2; exit 1; }
echo "vcd: the wire map names all $(grep -c '^\$var' "$out/changes.vcd") wires"

# GTKWave's converter keeps one scope per card and every wire.
vcd2fst "$out/changes.vcd" "$out/changes.fst" >"$out/vcd2fst.log" 2>&1 ||
    { cat "$out/vcd2fst.log"; exit 1; }
fst2vcd "$out/changes.fst" >"$out/changes-fst.vcd"
diff <(grep -E '^\$(scope|var|upscope)' "$out/changes.vcd") \
    <(grep -E '^\$(scope|var|upscope)' "$out/changes-fst.vcd") ||
    { echo "vcd: vcd2fst changed the scopes or wires" >&2; exit 1; }
echo "vcd: vcd2fst converted it with every scope and wire"

# Python's csv module reads the CSV whole: 8 fields a row, every name as exported.
python3 - "$out/changes.csv" <<'PY'
import csv, sys
with open(sys.argv[1], newline="", encoding="utf-8") as f:
    rows = list(csv.reader(f))
assert rows[0][-1] == "event" and all(len(r) == 8 for r in rows), "rows of other lengths"
names = {(r[2], r[3], r[4]): r[5] for r in rows[1:]}
assert names[("3", "in", "5")] == "Door sensor", names[("3", "in", "5")]
print("csv: python3 read all %d rows" % (len(rows) - 1))
PY

# The same reader on "qrxio history --vcd": the agent records inputs switched with qrxsim, and
# every transition sigrok-cli reads must be one that "qrxio history --csv" lists for the range.
cmake --build "$build" -j2 --target orvane-agent qrxio qrxsim >/dev/null
bin=$build/bin
export QRXSIM_STATE=$out/agent.state QRXSIM_CONFIG=$out/agent.ini
printf '[Board0]\nType=174\nCardNo=0\nInputs=32\nOutputs=32\n' >"$QRXSIM_CONFIG"
"$bin/orvane-agent" --database "$out/history.db" --interval 5 2>"$out/agent.log" &
agent=$!
for _ in $(seq 100); do grep -q "recording every" "$out/agent.log" && break; sleep 0.1; done
sleep 0.2 # the first poll has recorded every input's starting value
since=$(date -u +%Y-%m-%dT%H:%M:%S.%6NZ)
for i in 3 5 3 7 5 7 0 31; do
    "$bin/qrxsim" set 0 in "$i" "$(( RANDOM % 2 ))" >/dev/null
    "$bin/qrxsim" set 0 in "$i" 1 >/dev/null
    sleep 0.05
    "$bin/qrxsim" set 0 in "$i" 0 >/dev/null
    sleep 0.05
done
kill -TERM "$agent" && wait "$agent"
"$bin/qrxio" history --db "$out/history.db" --since "$since" --vcd >"$out/history.vcd"
"$bin/qrxio" history --db "$out/history.db" --since "$since" --csv >"$out/history.csv"
sigrok-cli -I vcd -i "$out/history.vcd" -O vcd -o "$out/history-converted.vcd"
awk '$1 == "$var" { wire[$4] = $5; next }
     /^#/ { t = substr($1, 2)
            for (i = 2; i <= NF; i++)
                if (t > 0) print t, wire[substr($i, 2)], substr($i, 1, 1) }' \
    "$out/history-converted.vcd" | sort -n -k1,1 -k2,2 >"$out/history-read.txt"
# The CSV's records of the range: each is a transition from the level at the range's start.
# sigrok-cli counts time from the dump's first time stamp, where the range begins.
base=$(grep -m1 '^#' "$out/history.vcd" | cut -c2-)
tick=$(tick_us "$out/history.vcd")
paste -d' ' <(csv_ticks "$out/history.csv" "$tick" "$base") \
    <(awk -F, '$8 == "change" { print "c" $3 "_" $4 $5, $7 }' "$out/history.csv") |
    sort -n -k1,1 -k2,2 >"$out/history-set.txt"
if ! diff -u "$out/history-set.txt" "$out/history-read.txt"; then
    echo "vcd: sigrok-cli read other transitions than qrxio history recorded" >&2
    exit 1
fi
[ -s "$out/history-set.txt" ] || { echo "vcd: the agent recorded nothing" >&2; exit 1; }
echo "vcd: sigrok-cli read back all $(wc -l <"$out/history-set.txt") transitions of qrxio history --vcd"
