#!/usr/bin/env bash
# Renders the icon's PNGs from org.pexumo.Pexumo.svg after a change to it (needs rsvg-convert,
# Debian package librsvg2-bin). The PNGs are kept in the repository, so a build needs no SVG
# renderer; commit them with the SVG.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" org.pexumo.Pexumo.svg -o "$size.png"
done
