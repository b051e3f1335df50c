#!/bin/sh
# Builds the eight orc soldiers and the banner carrier from nothing: glTF and texture atlases
# (numpy + PIL), .EMD/.ESA through meshconv, then the grip table Data/Orcs.dat from grips.txt and
# whatever weapon and shield models are in resources/media/Meshes/.
#   tools/content/army/orcs/build.sh [--preview]    (--preview also renders PNGs with Blender)
# BUILD_DIR (default build/orcs) is where meshconv and griptable are built.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../../.." && pwd)
build=${BUILD_DIR:-$root/build/orcs}
work=$root/tools/content/work/orcs
media=$root/resources/media
mkdir -p "$work/gltf" "$media/Meshes" "$media/Texture" "$media/Data"

cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target meshconv griptable

/usr/bin/python3 "$here/orcs.py" "$work/gltf" "$media/Texture"
for f in "$work"/gltf/*.gltf; do
    n=$(basename "$f" .gltf)
    "$build/bin/meshconv" convert "$f" "$media/Meshes/$n.EMD" --esa "$media/Meshes/$n.ESA"
done
"$build/bin/griptable" "$here/grips.txt" "$media/Meshes" "$media/Data/Orcs.dat"

if [ "${1:-}" = "--preview" ]; then
    cp "$media"/Texture/Orc_* "$work/gltf/"
    out=$build/preview
    mkdir -p "$out"
    blender -b --factory-startup -P "$here/render_preview.py" -- "$work/gltf" "$out/all.png" 0.25 front >/dev/null
    for n in Orc_0 Orc_1 Orc_2 Orc_3 Orc_4 Orc_5 Orc_6 Orc_7 Orc_flag; do
        for view in close profile; do
            blender -b --factory-startup -P "$here/render_preview.py" -- "$work/gltf" "$out/${n}_$view.png" 0.25 $view $n >/dev/null
        done
    done
    # each orc at rest with one of the weapons and one of the shields, all on one sheet
    set -- 1 3 8 0 2 7 4 1 10 5 3 9 12 8 6 2
    for i in 0 1 2 3 4 5 6 7; do
        blender -b --factory-startup -P "$here/render_preview.py" -- "$work/gltf" "$out/gear_$i.png" 0 gear \
            Orc_$i Weapon_$1 Shield_$2 "$media" >/dev/null
        shift 2
    done
    /usr/bin/python3 - "$out" <<'PY'
import sys
from PIL import Image
out = sys.argv[1]
ims = [Image.open(f"{out}/gear_{i}.png").crop((200, 200, 700, 1000)) for i in range(8)]
w, h = ims[0].size
sheet = Image.new("RGB", (w * 4, h * 2), (60, 60, 60))
for i, im in enumerate(ims):
    sheet.paste(im, ((i % 4) * w, (i // 4) * h))
sheet.save(f"{out}/gear_sheet.png")
PY
    echo "previews in $out"
fi
