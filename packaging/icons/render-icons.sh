#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the hicolor PNGs from the hand-made SVG. Run it after changing the SVG and commit the
# PNGs; the build only copies them. Needs rsvg-convert (package librsvg2-bin).
set -eu
cd "$(dirname "$0")/hicolor"
for size in 16 32 48 64 128 256; do
    mkdir -p "${size}x${size}/apps"
    rsvg-convert -w "$size" -h "$size" scalable/apps/velmora.svg -o "${size}x${size}/apps/velmora.png"
done
