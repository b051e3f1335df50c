#!/bin/sh
# Rebuilds the level from nothing: textures and light maps, the glTF models, then the .EMD files
# through meshconv, and checks every model's bounds against its map entity.
#   tools/content/level/build.sh [MESHCONV]
# MESHCONV defaults to build/level/bin/meshconv, which is built (-j2) when it is missing.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
py=/usr/bin/python3
meshconv=${1:-$root/build/level/bin/meshconv}
if [ ! -x "$meshconv" ]; then
    cmake -S "$root" -B "$root/build/level" -G Ninja >/dev/null
    cmake --build "$root/build/level" -j2 --target meshconv
    meshconv=$root/build/level/bin/meshconv
fi
work=$root/build/level/content
tex=$root/resources/media/Texture
meshes=$root/resources/media/Meshes
mkdir -p "$work/gltf" "$tex" "$meshes"
$py "$here/test_level.py" 2>&1 | tail -1
$py "$here/textures.py" "$tex"
$py "$here/level.py" "$work/gltf" "$tex"
for glb in "$work"/gltf/*.glb; do
    name=$(basename "$glb" .glb)
    "$meshconv" convert "$glb" "$meshes/$name.EMD"
done
$py "$here/check_level.py" "$meshconv" "$meshes" "$tex" "$work/gltf"
