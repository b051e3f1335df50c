#!/bin/sh
# Rebuilds every generated file under resources/ that this folder makes: images and music, then
# the media archive's content (level, gear, orcs with their grip table, beasts, effect textures,
# map and camera tracks). The model builds need the project's tools: build them first
# (scripts/build.sh), they are taken from build/release/bin.
#   tools/content/build_all.sh [--no-music]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=$root/build/release/bin
[ -x "$bin/meshconv" ] && [ -x "$bin/scenedata" ] || {
    echo "build_all.sh: build the tools first (scripts/build.sh)" >&2
    exit 1
}
/usr/bin/python3 "$here/make_images.py"
[ "${1:-}" = "--no-music" ] || "$here/render_music.sh"
"$here/level/build.sh" "$bin/meshconv"
"$here/army/gear/build.sh" "$bin/meshconv"
"$here/army/orcs/build.sh"        # after the gear: the grip table reads the weapons and shields
"$here/army/beasts/build.sh"
/usr/bin/python3 "$here/fx/make_fx.py"
"$here/data/build.sh" "$bin/scenedata"
