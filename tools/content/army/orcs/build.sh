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
    for view in front side; do
        blender -b --factory-startup -P "$here/render_preview.py" -- "$work/gltf" "$out/all_$view.png" 0.25 $view >/dev/null
    done
    for n in Orc_0 Orc_1 Orc_2 Orc_3 Orc_4 Orc_5 Orc_6 Orc_7 Orc_flag; do
        blender -b --factory-startup -P "$here/render_preview.py" -- "$work/gltf" "$out/$n.png" 0.25 close $n >/dev/null
    done
    echo "previews in $out"
fi
