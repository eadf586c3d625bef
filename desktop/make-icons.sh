#!/bin/sh
# Renders the hicolor PNG icons from the SVGs in icons/. Run by hand when an
# SVG changes; the PNGs are committed, so building needs no ImageMagick.
# The 32-pixel application icon is the window's own, assets/icon.png.
set -eu
cd "$(dirname "$0")/icons"
convert=${CONVERT:-convert}
for size in 16 24 48 64 128 256; do
    mkdir -p "$size"
    "$convert" -background none -density $((size * 3)) zft-toolkit.svg -resize "${size}x${size}" \
        -strip "PNG32:$size/zft-toolkit.png"
done
for size in 16 24 32 48 64 128 256; do
    mkdir -p "$size"
    "$convert" -background none -density $((size * 3)) image-x-zft.svg -resize "${size}x${size}" \
        -strip "PNG32:$size/image-x-zft.png"
done
