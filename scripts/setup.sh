#!/usr/bin/env bash
# Installs what building, testing and looking at Orvane need on Debian 12.
set -euo pipefail
packages=(cmake ninja-build g++ ccache qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
          libxcb-xkb-dev mingw-w64-x86-64-dev clang-format-14 libsqlite3-dev sqlite3
          libmosquitto-dev mosquitto mosquitto-clients libmodbus-dev mbpoll
          python3-pymodbus sigrok-cli gtkwave python3
          qtkeychain-qt6-dev gnome-keyring dbus libsecret-tools
          xvfb xauth x11-utils xdotool openbox imagemagick fonts-liberation fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
