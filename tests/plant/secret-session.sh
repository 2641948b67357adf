#!/usr/bin/env bash
# Runs a command in a D-Bus session of its own with a secret store (gnome-keyring-daemon)
# unlocked with a non-empty password, so that the broker password a test keeps is stored
# encrypted under the test's HOME and never in clear.
#   secret-session.sh COMMAND [ARGS...]
set -euo pipefail
if [ -z "${IN_SECRET_SESSION:-}" ]; then
    export IN_SECRET_SESSION=1
    exec dbus-run-session -- "$0" "$@"
fi
mkdir -p "$HOME/.local/share/keyrings"
# The daemon reads the unlock password from standard input and stays in the session.
eval "$(printf '%s' 'keyring-test-unlock' |
    gnome-keyring-daemon --unlock --components=secrets --daemonize)"
export GNOME_KEYRING_CONTROL
status=0
"$@" || status=$?
exit $status
