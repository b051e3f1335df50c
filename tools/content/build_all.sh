#!/bin/sh
# Rebuilds every generated file under resources/ that this folder makes: images, then music.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
/usr/bin/python3 "$here/make_images.py"
"$here/render_music.sh"
