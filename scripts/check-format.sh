#!/usr/bin/env bash
# Checks every C and C++ file of src/, sim/, tools/ and tests/ against the
# project's .clang-format, and names each file that differs (fix: clang-format -i FILE).
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14) || {
    echo "clang-format is not installed (bash scripts/setup.sh installs it)"
    exit 1
}
status=0
while IFS= read -r file; do
    "$format" --dry-run -Werror "$file" >/dev/null 2>&1 || { echo "not formatted: $file"; status=1; }
done < <(git ls-files 'src/*' 'sim/*' 'tools/*' 'tests/*' | grep -E '\.(c|cc|cpp|h|hpp)$')
[ $status -eq 0 ] && echo "Format: OK"
exit $status
