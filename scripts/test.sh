#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test: once in a normal build and once
# with AddressSanitizer and UndefinedBehaviorSanitizer. Set QUORVANTA_NO_SANITIZE=1 to skip the second.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/setup.sh"
jobs="$(nproc)"

cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j "$jobs"
(cd "$top/build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")

if [ "${QUORVANTA_NO_SANITIZE:-0}" != "1" ]; then
  cmake -S "$top" -B "$top/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANTA_SANITIZE=ON \
    -DQUORVANTA_BUILD_BENCH=OFF >/dev/null
  cmake --build "$top/build-asan" -j "$jobs"
  (cd "$top/build-asan" && QT_QPA_PLATFORM=offscreen \
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j "$jobs")
fi
