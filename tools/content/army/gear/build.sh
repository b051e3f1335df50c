#!/bin/sh
# Builds the gear from nothing: the three texture atlases (and their DOT3 maps), the wheel, the
# siege tower, wagon and ballista bodies, 12 shields and 14 weapons, converted to .EMD.
#   tools/content/army/gear/build.sh [MESHCONV] [--previews]
# MESHCONV defaults to build/gear/bin/meshconv (then build/release/bin/meshconv). glTF files and
# preview renders go to build/gear/content/ (not committed).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../../.." && pwd)
conv=""
previews=0
for a in "$@"; do
    case "$a" in
        --previews) previews=1 ;;
        *) conv="$a" ;;
    esac
done
if [ -z "$conv" ]; then
    for c in "$root/build/gear/bin/meshconv" "$root/build/release/bin/meshconv"; do
        if [ -x "$c" ]; then conv="$c"; break; fi
    done
fi
[ -x "$conv" ] || { echo "build.sh: no meshconv (build it: cmake --build build/gear --target meshconv)" >&2; exit 1; }
work="$root/build/gear/content"
tex="$root/resources/media/Texture"
meshes="$root/resources/media/Meshes"
mkdir -p "$work" "$tex" "$meshes"
# the fit of wheels under the bodies is printed and must hold
/usr/bin/python3 "$here/build.py" "$work" "$tex" | tee "$work/build.log"
if grep -q BAD "$work/build.log"; then echo "build.sh: a wheel does not fit its body" >&2; exit 1; fi
for g in "$work"/*.gltf; do
    name=$(basename "$g" .gltf)
    "$conv" convert "$g" "$meshes/$name.EMD"
done
ls -l "$tex"/Gear_* | awk '{s += $5} END {print "gear textures:", s, "bytes"}'
if [ "$previews" = 1 ]; then
    p="$work/preview"
    mkdir -p "$p"
    b="blender -b --factory-startup -P"
    w=""; s=""
    for i in 0 1 2 3 4 5 6 7 8 9 10 11 12 13; do w="$w $work/Weapon_$i.gltf"; done
    for i in 0 1 2 3 4 5 6 7 8 9 10 11; do s="$s $work/Shield_$i.gltf"; done
    $b "$here/render_preview.py" -- "$p/weapons.png" --view front $w >/dev/null 2>&1
    $b "$here/render_preview.py" -- "$p/weapons_side.png" --view side $w >/dev/null 2>&1
    $b "$here/render_preview.py" -- "$p/shields_front.png" --view front $s >/dev/null 2>&1
    $b "$here/render_preview.py" -- "$p/shields_back.png" --view back $s >/dev/null 2>&1
    $b "$here/render_preview.py" -- "$p/wheel.png" --view three "$work/Wheel.gltf" >/dev/null 2>&1
    for u in "siedge_tower 5 -10,-40,18" "wagon 7 -5,-43,-80" "ballist 5 -13,-83"; do
        set -- $u
        for v in three side back close; do
            $b "$here/render_units.py" -- "$p/$1_$v.png" "$work" "$1" "$2" "$3" "$v" >/dev/null 2>&1
        done
    done
    echo "previews in $p"
fi
