#!/usr/bin/env bash
# Prints the longest functions of src/, sim/ and tools/ (*.cpp): the lines from a function's
# opening brace at column 0 to its closing brace at column 0, both counted, with the line the
# body starts on and the line before it (the signature's last line). A class defined in a .cpp
# file is no function: its member functions are measured instead, from a brace indented by four
# spaces to its match.
# Usage: bash scripts/function-lengths.sh [how many, default 10]
#        bash scripts/function-lengths.sh --fail-at N   # lists every function of N lines or
#                                                       # more and fails when there is one
set -euo pipefail
cd "$(dirname "$0")/.."
lengths() {
    find src sim tools -name '*.cpp' | sort | xargs awk '
        FNR == 1 { state = ""; prev = "" }
        state == "" && /^\{/ {
            if (prev ~ /^(template *<.*> *)?(class|struct|union|enum)[ \t]/) state = "class"
            else { state = "body"; start = FNR; name = prev }
            next
        }
        state == "body" && /^\}/ { printf "%5d  %s:%d  %s\n", FNR - start + 1, FILENAME, start, name; state = ""; next }
        state == "class" && /^\}/ { state = ""; next }
        state == "class" && /^    \{/ { state = "member"; start = FNR; name = prev; next }
        state == "member" && /^    \}/ { printf "%5d  %s:%d  %s\n", FNR - start + 1, FILENAME, start, name; state = "class"; next }
        NF && state != "body" && state != "member" { prev = $0 }
    ' | sort -k1,1nr -k2,2
}
if [ "${1:-}" = "--fail-at" ]; then
    limit=${2:?--fail-at takes a number of lines}
    long=$(lengths | awk -v n="$limit" '$1 >= n')
    if [ -n "$long" ]; then
        echo "Functions of $limit lines or more:"
        echo "$long"
        exit 1
    fi
    echo "Every function is under $limit lines."
    exit 0
fi
lengths | head -n "${1:-10}"
