#!/usr/bin/env bash
# Draws the programs' icons with ImageMagick. The PNGs are kept in the tree;
# run this only to change them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
out=$here/common/res
S=96

# A filled disc with a white glyph drawn on top.
disc() {
  local file=$1 colour=$2; shift 2
  convert -size ${S}x${S} xc:none -fill "$colour" -draw "circle 48,48 48,4" "$@" \
    -define png:color-type=6 "$file"
}

disc "$out/icon_alert.png" "#02BAFF" \
  -fill white -draw "circle 48,26 48,33" -draw "roundrectangle 42,40 54,76 4,4"
disc "$out/icon_question.png" "#3F7FE0" \
  -fill white -font "$font" -pointsize 62 -gravity center -annotate +0+2 "?"
disc "$out/icon_error.png" "#E5484D" \
  -stroke white -strokewidth 11 -draw "line 32,32 64,64" -draw "line 64,32 32,64"
disc "$out/icon_suc.png" "#2DB55D" \
  -stroke white -strokewidth 10 -fill none -draw "polyline 27,50 42,65 70,35"

convert -size ${S}x${S} xc:none -fill "#F5A623" -stroke "#F5A623" -strokewidth 8 \
  -draw "polygon 48,10 88,82 8,82" -stroke none \
  -fill white -draw "roundrectangle 43,32 53,62 4,4" -draw "circle 48,72 48,77" \
  -define png:color-type=6 "$out/icon_warning.png"

# The converter's icon: a speech bubble with sound waves on the product colour.
convert -size 256x256 xc:none -fill "#02BAFF" -draw "roundrectangle 8,8 247,247 48,48" \
  -fill white -draw "roundrectangle 44,62 170,158 26,26" -draw "polygon 70,150 62,198 112,150" \
  -fill "#02BAFF" -draw "rectangle 70,92 144,102" -draw "rectangle 70,118 124,128" \
  -fill none -stroke white -strokewidth 12 -draw "stroke-linecap round line 179,79 183,84 line 183,84 185,89 line 185,89 187,94 line 187,94 189,99 line 189,99 190,104 line 190,104 190,110 line 190,110 190,116 line 190,116 189,121 line 189,121 187,126 line 187,126 185,131 line 185,131 183,136 line 183,136 179,141" \
  -draw "stroke-linecap round line 206,62 211,69 line 211,69 215,77 line 215,77 218,85 line 218,85 220,93 line 220,93 222,101 line 222,101 222,110 line 222,110 222,119 line 222,119 220,127 line 220,127 218,135 line 218,135 215,143 line 215,143 211,151 line 211,151 206,158" \
  -define png:color-type=6 "$here/salvormithe/res/main-icon.png"

# The voice trainer's icon: a microphone with sound waves on the product colour.
convert -size 256x256 xc:none -fill "#02BAFF" -draw "roundrectangle 8,8 247,247 48,48" \
  -fill white -draw "roundrectangle 102,40 154,146 26,26" \
  -fill none -stroke white -strokewidth 12 -draw "path 'M 80,118 A 48,50 0 0 0 176,118'" \
  -draw "line 128,168 128,200" -draw "stroke-linecap round line 98,204 158,204" \
  -draw "fill none path 'M 56,62 A 70,70 0 0 0 56,150'" \
  -draw "fill none path 'M 200,62 A 70,70 0 0 1 200,150'" \
  -define png:color-type=6 "$here/kelmaridon/res/main-icon.png"
