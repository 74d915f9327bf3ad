#!/usr/bin/env bash
# Installs what is missing, builds Pexumo and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target pexumo pexumo-decode pexumo-meter-sim pexumo-journal pexumo-logger
exec build/default/pexumo "$@"
