#!/usr/bin/env bash
# Draws the program's own images with ImageMagick; the outputs are committed
# beside this script. Run it again after changing a drawing.
#   add.png, remove.png   button icons (PNG 260, 261), 64 x 64, drawn large
#                         so they scale down cleanly to any button
#   zorv.ico              the program icon (icon group 263): a dark disc with
#                         an orange label and a "Z", at 16, 24, 32, 48 and
#                         256 pixels
set -euo pipefail
cd "$(dirname "$0")"

# A round green badge with a white bar (and a second, upright one for add).
badge() {
  local out=$1
  shift
  convert -size 64x64 xc:none \
    -fill '#2E7D4F' -stroke '#1B4D30' -strokewidth 2 -draw 'circle 32,32 32,3' \
    -fill white -stroke none "$@" \
    -strip -define png:exclude-chunks=date,time "PNG32:$out"
}
horizontal_bar='roundrectangle 15,28 49,36 3,3'
vertical_bar='roundrectangle 28,15 36,49 3,3'
badge add.png -draw "$horizontal_bar" -draw "$vertical_bar"
badge remove.png -draw "$horizontal_bar"

# The icon: a dark disc with a light rim, an orange label in the middle and
# a "Z" on it.
icon_png() {
  local size=$1 out=$2
  convert -size 256x256 xc:none \
    -fill '#20242B' -stroke '#8A93A3' -strokewidth 8 -draw 'circle 128,128 128,8' \
    -fill '#E8862A' -stroke none -draw 'circle 128,128 128,58' \
    -fill none -stroke '#20242B' -strokewidth 14 -draw 'line 96,92 160,92' -draw 'line 160,92 96,164' -draw 'line 96,164 160,164' \
    \
    -resize "${size}x${size}" -strip "PNG32:$out"
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for size in 16 24 32 48 256; do icon_png "$size" "$tmp/icon-$size.png"; done
convert "$tmp"/icon-16.png "$tmp"/icon-24.png "$tmp"/icon-32.png "$tmp"/icon-48.png "$tmp"/icon-256.png zorv.ico
