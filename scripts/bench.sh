#!/usr/bin/env bash
# Builds and runs every benchmark; each prints its figures and its ratios against a peer measured
# in the same run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build/release
"$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
shopt -s nullglob
for bin in "$dir"/bin/*_bench; do
  echo "== $(basename "$bin")"
  "$bin" "$@"
done
