#!/bin/sh
# Puts every clock glyph, loading image and picture on one PNG for review (not committed).
# Usage: tools/content/contact_sheet.sh [output.png]   (default build/content/contact_sheet.png)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/content/contact_sheet.png}
mkdir -p "$(dirname "$out")"
r=$root/resources
# Transparent images go on a mid grey so their alpha can be judged.
montage -auto-orient -background '#404040' -fill white -font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -pointsize 11 -label '%f\n%wx%h' \
  "$r"/digits/Digits/digit_*.jpg \
  "$r"/loading/background.jpg "$r"/loading/title.tga "$r"/loading/blank_486.tga \
  "$r"/pictures/preview.bmp "$r"/pictures/about.bmp "$r"/pictures/icon.bmp \
  -geometry '+6+6' -tile 8x "$out"
echo "$out"
