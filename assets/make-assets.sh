#!/bin/sh
# Draws the logo and the window icon. Run by hand when they change; the
# results are committed, so building needs no ImageMagick.
set -eu
cd "$(dirname "$0")"
font=DejaVu-Sans-Bold

# 250 x 200, baseline JPEG, three components.
convert -size 250x200 gradient:'#12306b'-'#1b8a8f' \
  -fill '#f4b400' -draw 'rectangle 18,22 48,52' \
  -fill '#db4437' -draw 'rectangle 52,22 82,52' \
  -fill '#0f9d58' -draw 'rectangle 18,56 48,86' \
  -fill '#ffffff' -draw 'rectangle 52,56 82,86' \
  -font "$font" -pointsize 64 -fill white -annotate +96+84 'ZFT' \
  -font "$font" -pointsize 22 -fill '#dfe9f5' -annotate +20+140 'Picture Toolkit' \
  -font "$font" -pointsize 16 -fill '#f4b400' -annotate +20+172 'edition SP1' \
  -strip -interlace none -sampling-factor 2x2 -quality 88 -type TrueColor logo.jpg

# 32 x 32: a sheet of paper with a large letter A.
convert -size 32x32 xc:none \
  -fill white -stroke '#404040' -strokewidth 1 -draw 'polygon 5,1 21,1 27,7 27,30 5,30' \
  -fill '#c8c8c8' -draw 'polygon 21,1 21,7 27,7' \
  -stroke none -fill '#1b3a8a' -font "$font" -pointsize 22 -gravity center -annotate +0+3 'A' \
  -strip -depth 8 icon.png

# The icon at the sizes browsers install a web app with, its pixels scaled up.
for size in 192 512; do
  convert icon.png -filter point -resize "${size}x${size}" -strip "icon-$size.png"
done
