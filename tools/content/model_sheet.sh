#!/bin/sh
# Renders every model of the media folder with meshview (4 turntable views; animated models also 4
# poses through their loop; orcs also carrying a weapon and a shield) and puts the pictures on one
# labelled PNG for review (not committed).
# Usage: tools/content/model_sheet.sh [output.png]   (default build/content/models.png)
# The meshview binary: $MESHVIEW, else the first build/*/bin/meshview found.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/content/models.png}
meshview=${MESHVIEW:-}
if [ -z "$meshview" ]; then
  for candidate in "$root"/build/release/bin/meshview "$root"/build/*/bin/meshview; do
    [ -x "$candidate" ] && { meshview=$candidate; break; }
  done
fi
[ -n "$meshview" ] && [ -x "$meshview" ] || { echo "model_sheet: build meshview first (or set MESHVIEW)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$out")" "$work/pictures"

for file in "$root"/resources/media/Meshes/*.EMD; do
  [ -e "$file" ] || continue
  name=$(basename "$file")
  stem=${name%.*}
  # The archive path, so the pictures show what the program loads (textures from the archive).
  "$meshview" --out "$work/pictures" --views 4 --times 4 --size 256x256 "Meshes/$name" || echo "model_sheet: $name failed" >&2
  case $stem in
    Orc_[0-9]*)
      n=${stem#Orc_}
      "$meshview" --out "$work/pictures" --views 4 --times 4 --size 256x256 --gear "$((n % 14)),$((n % 12))" "Meshes/$name" ||
        echo "model_sheet: $name with gear failed" >&2 ;;
  esac
done

# One row per model and variant: views first, then the loop poses (the file names sort that way).
ls "$work/pictures"/*.png >/dev/null 2>&1 || { echo "model_sheet: no pictures were made" >&2; exit 1; }
montage -background '#202020' -fill white -font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -pointsize 11 \
  -label '%t' "$work/pictures"/*.png -geometry '192x192+4+4' -tile 8x "$out"
echo "$out"
