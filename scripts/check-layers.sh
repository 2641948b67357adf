#!/usr/bin/env bash
# Checks that every include between the folders of src/ and tools/ goes down the layers, and
# prints the include graph between the folders (includes per edge).
#   bash scripts/check-layers.sh [tree]   # tree: the source tree to check (default: this one)
# Exits non-zero, naming file:line and the edge, when an include goes against the layers, names
# an unknown folder, or the folders include each other in a cycle.
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

# What each folder may include, lowest layer first; a folder always includes itself. "main" is
# src/main.cpp, "tools" every command-line tool. The libraries of CMakeLists.txt follow the same
# order.
layers='
res:
process:
device:
config: device
model: config device
history: model config device
link:
platform: res
controls: platform res
view:
settings: model config device platform controls view res
system: model config device platform controls view res
diag: history model config device platform controls view res
dio: model config device platform controls view res
plant: link config device platform controls view res
app: settings system diag dio plant history link model config device platform controls view res process
main: app settings system diag dio plant history link model config device platform controls view res process
tools: history link model config device process
'

files=$(find src tools -type f \( -name '*.h' -o -name '*.cpp' \) | LC_ALL=C sort)
# One line per include of a folder's header: file, line, from-folder, to-folder.
edges=$(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[A-Za-z0-9_]+/' $files |
    awk -F: '{
        split($1, p, "/")
        from = (p[1] == "tools") ? "tools" : (p[3] == "" ? "main" : p[2])
        to = $0
        sub(/^[^"]*"/, "", to)
        sub(/\/.*/, "", to)
        print $1, $2, from, to
    }')

echo "Include graph between folders (includes per edge):"
awk '$3 != $4 { n[$3 " -> " $4]++ } END { for (e in n) printf "  %-22s %3d\n", e, n[e] }' \
    <<<"$edges" | LC_ALL=C sort

status=0
violations=$(awk -v layers="$layers" '
    BEGIN {
        n = split(layers, lines, "\n")
        for (i = 1; i <= n; i++) {
            if (lines[i] == "")
                continue
            split(lines[i], kv, ":")
            known[kv[1]] = 1
            allowed[kv[1] " " kv[1]] = 1
            m = split(kv[2], to, " ")
            for (j = 1; j <= m; j++)
                allowed[kv[1] " " to[j]] = 1
        }
    }
    !($3 in known) { printf "%s:%s: folder %s has no layer\n", $1, $2, $3; next }
    !($4 in known) { printf "%s:%s: %s includes folder %s, which has no layer\n", $1, $2, $3, $4; next }
    !(($3 " " $4) in allowed) { printf "%s:%s: %s -> %s goes against the layers\n", $1, $2, $3, $4 }
' <<<"$edges")
if [ -n "$violations" ]; then
    echo "Includes against the layers:"
    echo "$violations"
    status=1
fi

# The folders in an order where each includes only those before it; tsort names any cycle.
if order=$(awk '$3 != $4 { print $4, $3 }' <<<"$edges" | LC_ALL=C sort -u | tsort 2>&1); then
    echo "Layer order:" $order
else
    echo "The folders include each other in a cycle:"
    # tsort lists a loop's folders against the include direction: read backwards, closed.
    awk 'function put() { if (n) { c = m[n]; for (i = n - 1; i >= 1; i--) c = c " -> " m[i]
                                   print "  " c " -> " m[n] } n = 0 }
         /input contains a loop/ { put(); next }
         /^tsort: / { sub(/^tsort: /, ""); m[++n] = $0 }
         END { put() }' <<<"$order" | LC_ALL=C sort -u
    status=1
fi
[ $status -eq 0 ] && echo "Layers: OK"
exit $status
