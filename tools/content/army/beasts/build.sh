#!/bin/sh
# Rebuilds the troll, the draught beast and the war drums from nothing: textures (numpy + PIL),
# then the rigged and animated models (Blender, written as glTF with preview renders), then the
# .EMD/.ESA files through meshconv. Output under resources/media/ is committed; the glTF files
# and the previews stay in build/beasts/content/.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../../.." && pwd)
build="$root/build/beasts"
work="$build/content"
tex="$root/resources/media/Texture"
meshes="$root/resources/media/Meshes"
mkdir -p "$work" "$tex" "$meshes"

/usr/bin/python3 "$here/textures.py" "$tex"
blender -b --factory-startup -P "$here/creatures.py" -- "$work" "$tex" 2>&1 | grep "^MODEL" || true
test -f "$work/cave_troll.gltf" -a -f "$work/zver.gltf" -a -f "$work/orc_drums.gltf"

if [ ! -x "$build/bin/meshconv" ]; then
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" -j2 --target meshconv >/dev/null
for name in cave_troll zver orc_drums; do
    "$build/bin/meshconv" convert "$work/$name.gltf" "$meshes/$name.EMD" --esa "$meshes/$name.ESA"
    "$build/bin/meshconv" info "$meshes/$name.EMD" | head -n 3
done
