#!/usr/bin/env bash
# Draws the about box's two pictures with ImageMagick: about_icon.png (a disc
# with a quill across it) and about_background.png (pale green with the faint
# rings of a large disc). Both are drawn at a larger size and scaled down for
# smooth edges. Run it again after changing a drawing; the PNG files are
# committed, so building needs no ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The icon at 256x256: the disc (with a hole), its coloured sheen, the quill.
convert -size 256x256 xc:black -fill white -draw "circle 120,136 120,30" \
  -fill black -draw "circle 120,136 120,118" "$work/disc_mask.png"
convert -size 256x256 radial-gradient:'#ffffff-#8e9db4' \
  \( -size 256x256 xc:none \
      -fill '#ff7a7a' -draw "path 'M 120,136 L 120,30 A 106,106 0 0,1 195,61 Z'" \
      -fill '#ffd36b' -draw "path 'M 120,136 L 195,61 A 106,106 0 0,1 226,136 Z'" \
      -fill '#72d9a0' -draw "path 'M 120,136 L 45,211 A 106,106 0 0,1 14,136 Z'" \
      -fill '#74aeff' -draw "path 'M 120,136 L 14,136 A 106,106 0 0,1 45,61 Z'" \
      -blur 0x14 -channel A -evaluate multiply 0.55 +channel \) -compose over -composite \
  -fill none -stroke '#58667c' -strokewidth 5 -draw "circle 120,136 120,33" \
  -stroke '#7d8aa0' -strokewidth 3 -fill '#d5dce6' -draw "circle 120,136 120,100" \
  "$work/disc_mask.png" -alpha off -compose copy_opacity -composite "$work/disc.png"
convert -size 256x256 xc:none \
  -fill '#2e7b42' -stroke '#1b532b' -strokewidth 4 \
  -draw "path 'M 44,228 C 52,170 120,80 240,12 C 210,110 140,190 44,228 Z'" \
  -fill '#63c276' -stroke none \
  -draw "path 'M 60,206 C 80,160 140,90 226,32 C 180,80 120,140 60,206 Z'" \
  -fill none -stroke '#eef6e8' -strokewidth 5 -draw "path 'M 34,240 C 100,170 170,90 238,14'" \
  -stroke '#2b2b2b' -strokewidth 8 -draw "line 18,254 40,230" \
  "$work/quill.png"
convert "$work/disc.png" "$work/quill.png" -compose over -composite \
  -filter Lanczos -resize 64x64 -strip -depth 8 about_icon.png

# The background at 704x406: the gradient, the rings on the right, a band
# at the bottom.
convert -size 704x406 gradient:'#eef6ee-#c8e0c8' \
  \( -size 704x406 xc:none -fill none \
      -stroke '#ffffff90' -strokewidth 26 -draw "circle 640,190 640,-60" \
      -stroke '#ffffff60' -strokewidth 10 -draw "circle 640,190 640,10" \
      -stroke '#9cc49c70' -strokewidth 3 -draw "circle 640,190 640,-90" \
      -stroke '#9cc49c50' -strokewidth 2 -draw "circle 640,190 640,60" \
      -fill '#f8fbf8a0' -stroke '#9cc49c90' -strokewidth 3 -draw "circle 640,190 640,130" \
      -blur 0x1 \) -compose over -composite \
  \( -size 704x22 gradient:'#5f9f6a-#3f7f4c' \) -geometry +0+384 -compose over -composite \
  -filter Lanczos -resize 352x203 -strip -depth 8 PNG24:about_background.png
