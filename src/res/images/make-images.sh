#!/usr/bin/env bash
# Draws the setup program's pictures with ImageMagick. The outputs are
# committed; run this again only to change them.
#   steps.bmp      bitmap 1: running arrow, done tick, failed cross (18 x 20 each, 32-bit with alpha)
#   header.bmp     bitmap 2: the built-in 500 x 60 header band (8-bit, RLE: its 162
#                  colours fit a palette, and runs of one colour make most of it)
#   setup.ico      icon group 23, the wizard's icon
#   uninstall.ico  icon group 33, the uninstaller's icon
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The step images on a transparent white ground (white is also the mask colour).
convert -size 18x20 xc:'rgba(255,255,255,0)' -fill '#2f9e44' -stroke '#237a33' -strokewidth 1 \
  -draw 'polygon 3,7 9,7 9,3 16,10 9,17 9,13 3,13' "$work/arrow.png"
convert -size 18x20 xc:'rgba(255,255,255,0)' -fill none -stroke '#2f9e44' -strokewidth 3 \
  -draw 'stroke-linecap round stroke-linejoin round polyline 3,10 7,15 14,5' "$work/tick.png"
convert -size 18x20 xc:'rgba(255,255,255,0)' -fill none -stroke '#d9302c' -strokewidth 3 \
  -draw 'line 4,5 14,15' -draw 'line 14,5 4,15' "$work/cross.png"
convert "$work/arrow.png" "$work/tick.png" "$work/cross.png" +append -define bmp:format=bmp4 BMP:steps.bmp

# The built-in header: a quiet band of one colour (the band around it takes
# the bitmap's most frequent colour), so that it suits any product.
convert -size 500x60 xc:'#e9eef5' \
  -fill '#4a6fa5' -draw 'roundrectangle 16,14 48,46 6,6' \
  -fill white -draw 'polygon 24,26 32,26 32,20 41,30 32,40 32,34 24,34' \
  -font DejaVu-Sans-Bold -pointsize 20 -fill '#2b3f5c' -annotate +62+37 'Setup' \
  "$work/header.png"
# Every colour kept: a palette of at most 256 needs no dithering.
convert "$work/header.png" -alpha off +dither -type Palette -compress RLE BMP3:header.bmp

icon() { # name, colour, symbol drawing
  local name=$1 colour=$2 symbol=$3
  for size in 16 32 48; do
    local s=$((size - 1))
    convert -size ${size}x${size} xc:none -fill "$colour" -stroke '#1f2d40' -strokewidth 1 \
      -draw "roundrectangle 0,0 $s,$s $((size / 6)),$((size / 6))" \
      -fill none -stroke white -strokewidth $((size / 10 + 1)) \
      -draw "$(echo "$symbol" | awk -v k="$size" '{ for (i = 1; i <= NF; i++) { if ($i ~ /^[0-9.]+$/) printf "%d ", ($i * k); else printf "%s ", $i } }')" \
      "$work/$name-$size.png"
  done
  convert "$work/$name-16.png" "$work/$name-32.png" "$work/$name-48.png" "$name.ico"
}
# Symbols in fractions of the icon size: an arrow into a tray, and a cross.
icon setup '#3d7bd9' 'line 0.5 0.2 0.5 0.62 line 0.3 0.45 0.5 0.65 line 0.7 0.45 0.5 0.65 line 0.22 0.8 0.78 0.8'
icon uninstall '#c8553d' 'line 0.28 0.28 0.72 0.72 line 0.72 0.28 0.28 0.72'
