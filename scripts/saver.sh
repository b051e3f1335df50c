#!/usr/bin/env bash
# Builds the saver and runs it. With a display it opens the saver (default switch /t: a 600 x 400
# test window; pass /s for full screen, /c for the configuration dialog). Without a display it runs
# headless and writes frames as image files (see README).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build/release
"$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$dir/bin/grimholt" "${@:-/t}"
else
  exec "$dir/bin/grimholt" --headless "${@:-/t}"
fi
