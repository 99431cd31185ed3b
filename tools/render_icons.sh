#!/usr/bin/env bash
# Renders the program's hicolor PNG icons from its SVG (needs rsvg-convert from librsvg2-bin). The PNGs are
# committed, so building needs no renderer; run this after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/../data/icons/hicolor"
id=org.kiplaunch.KipLaunchManager
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" "scalable/apps/$id.svg" -o "${size}x${size}/apps/$id.png"
done
