#!/bin/sh
# Regenerates resources/media/Data/Map.emp and Cam_Tracks.evd from the text forms here.
#   tools/content/data/build.sh [path/to/scenedata]    (default: build/fxdata/bin/scenedata,
#                                                        then build/release/bin/scenedata)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
tool=${1:-}
if [ -z "$tool" ]; then
    for t in "$root/build/fxdata/bin/scenedata" "$root/build/release/bin/scenedata"; do
        [ -x "$t" ] && tool=$t && break
    done
fi
[ -n "$tool" ] || { echo "build bin/scenedata first (cmake --build BUILD --target scenedata)"; exit 1; }
out="$root/resources/media/Data"
mkdir -p "$out"
/usr/bin/python3 "$here/make_tracks.py"
"$tool" map "$here/map.txt" "$out/Map.emp"
"$tool" tracks "$here/tracks.txt" "$out/Cam_Tracks.evd"
"$tool" preview-tracks "$out/Cam_Tracks.evd" | grep '^track'
