#!/usr/bin/env bash
# Draws the five pictures that ship beside the tool's executable (our own artwork, made with
# ImageMagick from shapes only, so no font is needed). The results are committed; run this only
# to change them.
set -euo pipefail
cd "$(dirname "$0")/pictures"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

blue='#1f4e8c'
teal='#2aa198'

# The Corvelan mark: a blue disc with a white open ring (a "C") and a teal dot.
mark() {  # size output
  local s=$1 r=$(( $1 * 30 / 100 )) c=$(( $1 / 2 )) w=$(( $1 / 8 + 1 ))
  convert -size "${s}x${s}" xc:none -fill "$blue" -draw "circle $c,$c $c,1" \
    -fill none -stroke white -strokewidth "$w" \
    -draw "arc $((c - r)),$((c - r)) $((c + r)),$((c + r)) 45,315" \
    -stroke none -fill "$teal" -draw "circle $((c + r)),$c $((c + r + w / 2 + 1)),$c" "$2"
}

# The device: a grey housing with a dark display, a green status light and four terminals.
device() {  # size output background
  local s=$1
  convert -size 160x160 xc:"$3" \
    -fill '#c9ced6' -stroke '#5b6270' -strokewidth 3 -draw "roundrectangle 30,18 130,142 10,10" \
    -fill '#1c2430' -stroke none -draw "rectangle 46,34 114,70" \
    -fill '#35d07f' -draw "rectangle 52,44 88,50" -draw "rectangle 52,56 76,62" \
    -fill '#35d07f' -draw "circle 104,86 108,86" \
    -fill '#8a919c' -draw "rectangle 44,112 58,132" -draw "rectangle 66,112 80,132" \
    -draw "rectangle 88,112 102,132" -draw "rectangle 110,112 124,132" \
    -resize "${s}x${s}" "$2"
}

mark 256 "$work/mark.png"
convert "$work/mark.png" -define icon:auto-resize=48,32,16 corvelan.ico
convert -size 240x80 xc:white \( "$work/mark.png" -resize 64x64 \) -geometry +8+8 -composite \
  -fill "$blue" -draw "rectangle 84,22 228,34" -fill "$teal" -draw "rectangle 84,44 180,56" \
  -strip -quality 92 corvelan.jpg
device 240 "$work/device.png" white
convert "$work/device.png" -strip -quality 92 QVXTSR7700.jpg
device 256 "$work/device-icon.png" none
convert "$work/device-icon.png" -define icon:auto-resize=48,32 QVXTSR7700Large.ico
convert "$work/device-icon.png" -define icon:auto-resize=16 QVXTSR7700Small.ico
ls -l

# The application icon for the desktop entry, from the same mark.
cd ../icons
for size in 48 128 256; do
  convert "$work/mark.png" -resize "${size}x${size}" -strip "corvelan-dtm-update-tool-$size.png"
done
ls -l
