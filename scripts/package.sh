#!/usr/bin/env bash
# Installs what is missing, builds Pexumo (preset default, compiled and linked with Debian's
# hardening flags from dpkg-buildflags plus -fcf-protection: see cmake/hardening.cmake) and makes
# its two Debian packages for the machine's own architecture (amd64, or arm64 on a Raspberry Pi):
#   build/default/pexumo-logger_<version>_<architecture>.deb   every program without a display,
#                                                               the services, the system user
#   build/default/pexumo_<version>_<architecture>.deb          the window (needs pexumo-logger)
# Their dependencies are computed from the programs by dpkg-shlibdeps; the programs in them are
# stripped.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
cpack --config build/default/CPackConfig.cmake -B build/default
arch=$(dpkg --print-architecture)
ls "build/default/pexumo-logger_"*"_$arch.deb" "build/default/pexumo_"*"_$arch.deb"
