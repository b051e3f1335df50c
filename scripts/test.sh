#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
#   scripts/test.sh              release build (build/release)
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build (build/asan)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build/release
opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  dir=$root/build/asan
  opts=(-DCMAKE_BUILD_TYPE=Debug -DGRIM_SANITIZE=ON -DGRIM_BENCH=OFF)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi
"$root/scripts/build.sh" "$dir" "${opts[@]}"
cd "$dir"
ctest --output-on-failure -j "${GRIM_JOBS:-$(nproc)}"
