#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer on) and runs each one for a bounded time.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
dir=$root/build/fuzz
"$root/scripts/deps.sh"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGRIM_FUZZ=ON -DGRIM_TESTS=OFF -DGRIM_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
# Only the fuzz targets (and what they link): the program and the tools are built by the other runs.
mapfile -t targets < <(ninja -C "$dir" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_fuzz\): .*/\1/p' | sort -u)
if [ ${#targets[@]} -eq 0 ]; then echo "fuzz: no targets"; exit 0; fi
cmake --build "$dir" -j "${GRIM_JOBS:-$(nproc)}" --target "${targets[@]}"
shopt -s nullglob
status=0
for bin in "$dir"/bin/*_fuzz; do
  name=$(basename "$bin")
  corpus=$root/tests/fuzz/corpus/$name
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "fuzz: $name for ${secs}s"
  if ! ASAN_OPTIONS=detect_leaks=1 "$bin" -max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 \
       -print_final_stats=0 "$work" >"$work.log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -40 "$work.log"; status=1
  else
    echo "fuzz: $name ok ($(grep -o 'cov: [0-9]*' "$work.log" | tail -1))"
  fi
  rm -rf "$work" "$work.log"
done
exit $status
