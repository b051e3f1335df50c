#!/usr/bin/env bash
# Builds the saver and runs it. With a display it opens the saver (default switch /t: a 600 x 400
# test window; pass /s for full screen, /c for the configuration dialog). Without a display it runs
# headless for ten virtual seconds, writes every 100th frame to build/frames/ as BMP files and
# prints the frame rate (see README).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build/release
"$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$dir/bin/grimholt" "${@:-/t}"
else
  frames=$root/build/frames
  rm -rf "$frames" && mkdir -p "$frames"
  "$dir/bin/grimholt" --headless --frames-out="$frames" --frame-every=100 --frame-stats "${@:-/t}"
  echo "frames written to $frames"
fi
