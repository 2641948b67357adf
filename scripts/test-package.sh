#!/usr/bin/env bash
# Builds the Debian package and checks it the way a user of the distribution meets it:
#  - lintian (no errors, no warnings; the hardening tags it lists as information checked on
#    their own), the desktop entry and the AppStream metainfo validators;
#  - unpacked into a temporary root: the program shows its main window offscreen and qrxsim
#    lists the boards, with nothing written inside the unpacked tree;
#  - installed with apt-get: /usr/bin/orvane the same way, nothing written under /usr, the
#    window's class on X11 is the desktop entry's StartupWMClass, and the main window shows in a
#    headless Wayland session (weston);
#  - a stand-in vendor library in /usr/local/lib/orvane/ is what the program, qrxio and the
#    agent load, before and after an upgrade to a higher version;
#  - the maintainer scripts under a stand-in systemd (a mount namespace with a tmpfs on
#    /run/systemd, recording systemctl and deb-systemd-invoke): the upgrade reloads systemd and
#    restarts a running service, removal stops it, purge keeps the system user; without
#    systemd they call nothing and do not fail. Then the package is gone.
# Installs what it needs with apt-get (as root, else through sudo). Prints its time at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
fail() { echo "FAILED: $*" >&2; exit 1; }
step() { echo "== $* (at $((SECONDS - started)) s)"; }
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

bash scripts/setup.sh
packages=(dpkg-dev file lintian desktop-file-utils appstream weston qt6-wayland xvfb xauth
          x11-utils xdotool)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target installable
rm -f "$build"/orvane_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(realpath "$build"/orvane_*_amd64.deb)
step "package: $deb"
dpkg-deb -f "$deb" Package Version Depends
# orvane-agent's plant link needs the MQTT library at run time.
dpkg-deb -f "$deb" Depends | grep -q 'libmosquitto1' || fail "Depends lacks libmosquitto1"
dpkg-deb -f "$deb" Depends | grep -q 'libmodbus5' || fail "Depends lacks libmodbus5"

work=$(mktemp -d)
daemons=()
cleanup() {
    for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

step "lintian"
lintian --fail-on error,warning -I "$deb" | tee "$work/lintian.txt"
# The hardening the build asks for (bind now, fortified functions) must show in every binary.
if grep -E 'hardening-no-(bindnow|fortify-functions|relro)' "$work/lintian.txt"; then
    echo "lintian: a binary lacks the build's hardening"
    exit 1
fi

root=$work/root
dpkg-deb -x "$deb" "$root"
step "desktop-file-validate, appstreamcli validate --no-net"
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml

# Every run below has a home and a runtime folder of its own, and the default boards.
fresh_user() {
    export HOME=$work/home-$1 XDG_RUNTIME_DIR=$work/run-$1
    mkdir -p "$HOME"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    unset XDG_CONFIG_HOME ORVANE_DEVICE_LIBRARY QRXSIM_CONFIG QRXSIM_STATE
}
# Starts the program offscreen until its main window is shown ("shown" and its CPU time).
shown() {
    local out
    local status=0
    out=$(QT_QPA_PLATFORM=${2:-offscreen} ORVANE_QUIT_WHEN_SHOWN=1 timeout 60 "$1" 2>"$work/err") ||
        status=$?
    [ $status -eq 0 ] || { cat "$work/err" >&2; fail "$1 ended with status $status"; }
    [[ "$out" == "shown "* ]] || { cat "$work/err" >&2; fail "$1 did not show its main window"; }
}
# qrxsim of the package lists the default boards.
boards() {
    local out
    local status=0
    out=$("$1" boards) || status=$?
    [ $status -eq 0 ] || fail "$1 boards ended with status $status"
    echo "$out"
    [ "$(grep -c . <<<"$out")" -eq 4 ] || fail "$1 boards did not list the four boards"
    "$1" --version
}
# The settings of an installed copy are the user's, never beside the executable.
user_settings() {
    [ -f "$HOME/.config/Orvane/Orvane.ini" ] || fail "no ~/.config/Orvane/Orvane.ini"
    [ -f "$HOME/.config/Orvane/Orvane.conf" ] || fail "no ~/.config/Orvane/Orvane.conf"
}
nothing_written() {
    local written
    written=$(find "$1" -newer "$work/stamp" -not -type d)
    [ -z "$written" ] || fail "files written under $1: $written"
}

step "unpacked into $root"
fresh_user unpacked
touch "$work/stamp"
shown "$root/usr/bin/orvane"
boards "$root/usr/bin/qrxsim"
user_settings
nothing_written "$root"

step "apt-get install $deb"
$sudo apt-get install -y -q "$deb" >"$work/apt.log" || { cat "$work/apt.log"; fail "apt-get install"; }
fresh_user installed
touch "$work/stamp"
shown /usr/bin/orvane
boards /usr/bin/qrxsim
user_settings

step "the window's class on X11"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
daemons+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
DISPLAY=:$(cat "$work/display") /usr/bin/orvane 2>/dev/null &
app=$!
window=$(DISPLAY=:$(cat "$work/display") timeout 30 xdotool search --sync --name OrvaneSoftware |
         head -1) || fail "no main window on X11"
class=$(DISPLAY=:$(cat "$work/display") xprop -id "$window" WM_CLASS)
kill -TERM $app
wait $app || true
wmclass=$(sed -n 's/^StartupWMClass=//p' /usr/share/applications/*.desktop)
echo "$class; StartupWMClass=$wmclass"
[[ $class == *", \"$wmclass\"" ]] || fail "the window's class is not $wmclass"

step "Wayland (weston, headless)"
weston --backend=headless-backend.so --socket=orvane-test --idle-time=0 >"$work/weston.log" 2>&1 &
daemons+=($!)
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/orvane-test" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/orvane-test" ] || { cat "$work/weston.log" >&2; fail "weston did not start"; }
WAYLAND_DISPLAY=orvane-test shown /usr/bin/orvane wayland
nothing_written /usr

# Which device library the program, qrxio and orvane-agent load: the dynamic loader names the
# program's, the tools say theirs.
loads() {
    local lib=$1
    LD_DEBUG=files shown /usr/bin/orvane
    grep -q "file=$lib " "$work/err" || { grep 'file=.*qrx' "$work/err" >&2; fail "orvane did not load $lib"; }
    qrxio --version | grep -q "^device library: $lib" || fail "qrxio does not load $lib"
    orvane-agent --version | grep -q "^device library: $lib" || fail "orvane-agent does not load $lib"
}
vendor=/usr/local/lib/orvane/libqrxDApiLmd_x64.so
step "a vendor library in /usr/local/lib/orvane/ is loaded, and still after an upgrade"
$sudo mkdir -p /usr/local/lib/orvane
$sudo cp /usr/lib/orvane/libqrxDApiLmd_x64.so "$vendor"
trap 'cleanup; $sudo rm -rf /usr/local/lib/orvane' EXIT
loads "$vendor"
# The same package with a higher version: an upgrade.
$sudo dpkg-deb -R "$deb" "$work/pkg"
$sudo sed -i 's/^Version: .*/&+upgrade1/' "$work/pkg/DEBIAN/control"
$sudo dpkg-deb -b "$work/pkg" "$work/upgrade.deb" >/dev/null

# The maintainer scripts under a systemd that is not there: stand-ins for systemctl and
# deb-systemd-invoke record their calls, and /run/systemd/system is a tmpfs of a mount
# namespace of its own (the scripts' guard), so nothing of the machine is touched.
stubs=$work/stubs
mkdir -p "$stubs"
for tool in systemctl deb-systemd-invoke; do
    printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$tool" "$work/calls" >"$stubs/$tool"
    chmod +x "$stubs/$tool"
done
under_systemd() {
    : >"$work/calls"
    $sudo env PATH="$stubs:$PATH" unshare -m sh -c \
        'mount -t tmpfs tmpfs /run/systemd && mkdir /run/systemd/system && "$@"' sh "$@" \
        >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "$*"; }
    cat "$work/calls"
}
expect_calls() {
    diff <([ $# -eq 0 ] || printf '%s\n' "$@") "$work/calls" ||
        fail "the maintainer scripts' calls differ"
}
step "upgrade: systemd reloaded, a running service restarted"
under_systemd dpkg -i "$work/upgrade.deb"
expect_calls "systemctl --system daemon-reload" "deb-systemd-invoke try-restart orvane-agent.service"
loads "$vendor"
step "removal: the service stopped, systemd reloaded"
under_systemd dpkg -r orvane
expect_calls "deb-systemd-invoke stop orvane-agent.service" "systemctl --system daemon-reload"
step "purge: the state folder goes, the system user stays"
under_systemd dpkg -P orvane
expect_calls
getent passwd orvane >/dev/null || fail "purge removed the system user"
grep -q "user and group orvane are kept" "$work/dpkg.log" || fail "purge did not say what it keeps"
[ ! -e /var/lib/orvane ] || fail "purge left /var/lib/orvane"
if [ ! -d /run/systemd/system ]; then
    step "without systemd: no call, no failure"
    : >"$work/calls"
    $sudo env PATH="$stubs:$PATH" sh -c 'dpkg -i "$1" && dpkg -P orvane' sh "$deb" \
        >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "install and purge without systemd"; }
    expect_calls
fi
[ ! -e /usr/lib/orvane ] && [ ! -e /usr/bin/orvane ] || fail "the package left files behind"

echo "package checks passed in $((SECONDS - started)) s"
