#!/usr/bin/env bash
# Renders app/morwick.svg into the PNG icons in app/icons/ (built into the program and installed
# into the hicolor theme). Run after changing the SVG; needs rsvg-convert (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" app/morwick.svg -o "app/icons/morwick-$size.png"
done
