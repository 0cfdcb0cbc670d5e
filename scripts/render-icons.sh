#!/usr/bin/env bash
# Renders the icon's PNG sizes from data/scrivane.svg, for desktops and a
# window icon without SVG support. Run after changing the SVG; needs
# rsvg-convert (package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data"
for size in 16 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" scrivane.svg -o "icons/scrivane-$size.png"
done
