#!/bin/sh
# Renders resources/icons/tavikstudio.svg into the PNG sizes that desktops
# look up in the hicolor icon theme. The PNGs are committed, so building and
# packaging need no SVG renderer; run this again after editing the SVG.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -eu
cd "$(dirname "$0")/../resources/icons"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" tavikstudio.svg -o "tavikstudio-$size.png"
done
