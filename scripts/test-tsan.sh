#!/usr/bin/env bash
# Builds the threaded parts with ThreadSanitizer into build-tsan/ and runs their tests there: the
# agent (its history writer's thread, the real agent on the simulated boards), the history and
# the plant link (its network thread, a real broker). Only those tests, so the run stays short
# (ccache keeps the rebuild small). Debian's Qt is not built for ThreadSanitizer: what lies
# inside Qt is suppressed by tests/tsan.supp; any other report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${TSAN_BUILD_DIR:-build-tsan}
tests="tst_agent_loop tst_agent_sim tst_history tst_plantlink tst_plantlink_config tst_agent_mqtt"
cmake -S . -B "$build" -G Ninja -DORVANE_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $tests
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1 exitcode=66 second_deadlock_stack=1"
ctest --test-dir "$build" -j2 --output-on-failure -R "^($(echo $tests | tr ' ' '|'))\$"
