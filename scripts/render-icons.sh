#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders packaging/icons/org.qorin.Qorin.svg to the PNG sizes of the icon
# theme (rsvg-convert from librsvg2-bin). Run after changing the SVG and
# commit the PNGs with it.
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
for size in 16 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" org.qorin.Qorin.svg -o "hicolor/${size}x${size}/apps/org.qorin.Qorin.png"
done
echo "packaging/icons/hicolor: PNGs written"
