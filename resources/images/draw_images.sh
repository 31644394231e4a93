#!/usr/bin/env bash
# Draws the program's own images with ImageMagick; the outputs are committed
# beside this script. Run it again after changing a drawing.
#   arrow_left.png, arrow_right.png  button icons (PNG 260, 261), 64 x 64,
#                         drawn large so they scale down cleanly to any
#                         button: Back and Forward, and the DSP editor's
#                         Add (into the chain on the left) and Remove (out
#                         of it, to the right)
#   zorv.ico              the program icon (icon group 263): a dark disc with
#                         an orange label and a "Z", at 16, 24, 32, 48 and
#                         256 pixels
#   picture.png           the same drawing at 256 pixels (PNG 113): the
#                         window icon and the about box's picture
#   play.png ... repeat.png  the main window's button glyphs (PNG 105, 106,
#                         107, 110, 111, 271, 272, 273, 283, 284, 286), 64 x 64:
#                         one dark colour on transparent, so that the same
#                         image serves light themes as it is and dark themes
#                         inverted to light grey
#   list_track.png, list_container.png  the list's item icons (PNG 108, 103):
#                         a note and a folder, drawn like the button glyphs
set -euo pipefail
cd "$(dirname "$0")"

# A round green badge with a white arrow.
badge() {
  local out=$1
  shift
  convert -size 64x64 xc:none \
    -fill '#2E7D4F' -stroke '#1B4D30' -strokewidth 2 -draw 'circle 32,32 32,3' \
    -fill white -stroke none "$@" \
    -strip -define png:exclude-chunks=date,time "PNG32:$out"
}
badge arrow_left.png -draw 'polygon 13,32 31,14 31,25 51,25 51,39 31,39 31,50'
badge arrow_right.png -draw 'polygon 51,32 33,14 33,25 13,25 13,39 33,39 33,50'

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

icon_png 256 picture.png

# Button glyphs: one dark colour, no outline, on a transparent square.
ink='#202020'
glyph() {
  local out=$1
  shift
  convert -size 64x64 xc:none -fill "$ink" -stroke none "$@" \
    -strip -define png:exclude-chunks=date,time "PNG32:$out"
}
speaker='polygon 8,24 20,24 34,12 34,52 20,40 8,40'
glyph play.png -draw 'polygon 18,10 54,32 18,54'
glyph pause.png -draw 'rectangle 16,12 27,52' -draw 'rectangle 37,12 48,52'
glyph rewind.png -draw 'polygon 32,14 32,50 8,32' -draw 'polygon 56,14 56,50 32,32'
glyph fastforward.png -draw 'polygon 8,14 8,50 32,32' -draw 'polygon 32,14 32,50 56,32'
glyph menu.png -draw 'rectangle 10,14 54,20' -draw 'rectangle 10,29 54,35' -draw 'rectangle 10,44 54,50'
glyph fullscreen.png \
  -draw 'polygon 8,8 26,8 26,14 14,14 14,26 8,26' -draw 'polygon 56,8 56,26 50,26 50,14 38,14 38,8' \
  -draw 'polygon 8,56 8,38 14,38 14,50 26,50 26,56' -draw 'polygon 56,56 38,56 38,50 50,50 50,38 56,38'
glyph repeat.png -fill none -stroke "$ink" -strokewidth 6 -draw 'arc 10,14 54,50 200,520' \
  -fill "$ink" -stroke none -draw 'polygon 2,30 18,30 10,42'
glyph volume.png -draw "$speaker" -fill none -stroke "$ink" -strokewidth 4 \
  -draw 'arc 24,20 46,44 -60,60' -draw 'arc 22,12 56,52 -60,60'
glyph volume_low.png -draw "$speaker" -fill none -stroke "$ink" -strokewidth 4 -draw 'arc 24,20 46,44 -60,60'
glyph volume_quiet.png -draw "$speaker"
glyph volume_mute.png -draw "$speaker" -fill none -stroke "$ink" -strokewidth 5 \
  -draw 'line 40,22 56,42' -draw 'line 56,22 40,42'
glyph list_track.png -draw 'ellipse 22,48 10,8 0,360' -draw 'rectangle 28,10 33,48' \
  -draw 'polygon 28,10 50,18 50,26 33,19'
glyph list_container.png -draw 'polygon 6,14 26,14 30,20 58,20 58,52 6,52' \
  -fill '#F0F0F0' -draw 'rectangle 10,26 54,48'

# The autoscroll marker (icon 2345), 32 x 32: a grey disc with a dot and four
# arrow heads pointing outwards, on transparency.
convert -size 32x32 xc:none \
  -fill '#F4F4F4' -stroke '#505050' -strokewidth 1.5 -draw 'circle 16,16 16,2' \
  -fill '#303030' -stroke none -draw 'circle 16,16 16,14' \
  -draw 'polygon 16,4 12,9 20,9' -draw 'polygon 16,28 12,23 20,23' \
  -draw 'polygon 4,16 9,12 9,20' -draw 'polygon 28,16 23,12 23,20' \
  -strip "PNG32:$tmp/marker.png"
convert "$tmp/marker.png" autoscroll_marker.ico
