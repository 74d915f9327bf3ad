#!/usr/bin/env bash
# Installs the Debian 12 packages Pexumo needs to build, test and run, skipping those present.
set -euo pipefail
packages=(cmake ninja-build g++ clang pkg-config ccache
          qt6-base-dev qt6-charts-dev qt6-serialport-dev libqt6opengl6-dev libqt6sql6-sqlite
          libgtest-dev libgmock-dev libbenchmark-dev
          fonts-liberation fonts-dejavu-core
          python3 dpkg-dev file desktop-file-utils appstream lintian)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
