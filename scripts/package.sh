#!/usr/bin/env bash
# Installs what is missing, builds Pexumo (preset default) and makes the Debian package
# build/default/pexumo_<version>_amd64.deb. Its dependencies are computed from the programs by
# dpkg-shlibdeps; the programs in it are stripped.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
cpack --config build/default/CPackConfig.cmake -B build/default
ls build/default/pexumo_*_amd64.deb
