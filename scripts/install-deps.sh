#!/usr/bin/env bash
# Installs the Debian 12 packages Pexumo needs to build, test and run, skipping those present.
set -euo pipefail
packages=(cmake ninja-build g++ clang pkg-config ccache
          qt6-base-dev qt6-charts-dev qt6-serialport-dev qt6-svg-dev libqt6opengl6-dev
          libqt6sql6-sqlite libsqlite3-dev libmosquitto-dev mosquitto mosquitto-clients openssl
          qt6-httpserver-dev qt6-websockets-dev libsodium-dev
          chromium chromium-driver python3-selenium
          libgtest-dev libgmock-dev libbenchmark-dev
          fonts-liberation fonts-dejavu-core
          python3 dpkg-dev file desktop-file-utils appstream lintian devscripts locales dbus systemd)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# A decimal-comma locale, so that the tests can show that number reading never follows the C
# library's locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "No de_DE.UTF-8 locale: one test will skip."
fi
