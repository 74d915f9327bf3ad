#!/usr/bin/env bash
# Installs what is missing, builds Pexumo (preset default) and makes the Debian package
# build/default/pexumo_<version>_<architecture>.deb (amd64, or arm64 on a Raspberry Pi). Its
# dependencies are computed from the programs by dpkg-shlibdeps; the programs in it are stripped.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
cpack --config build/default/CPackConfig.cmake -B build/default
ls "build/default/pexumo_"*"_$(dpkg --print-architecture).deb"
