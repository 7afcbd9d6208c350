#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test: once in a normal build and once
# with AddressSanitizer and UndefinedBehaviorSanitizer. Set QUORVANTA_NO_SANITIZE=1 to skip the second.
# Both builds run even when the first fails; every failure is listed at the end and the exit status
# is non-zero if there was any.
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/setup.sh" || exit 1
jobs="$(nproc)"
failures=()

# build_and_test NAME DIR [cmake options...]
build_and_test() {
  local name=$1 dir=$2
  shift 2
  if ! cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null; then
    failures+=("$name: cmake configure failed")
    return
  fi
  if ! cmake --build "$dir" -j "$jobs"; then
    failures+=("$name: build failed")
    return
  fi
  local log="$dir/Testing/Temporary/LastTestsFailed.log"
  rm -f "$log"
  if ! (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs"); then
    if [ -s "$log" ]; then
      while IFS= read -r line; do failures+=("$name: ${line#*:}"); done <"$log"
    else
      failures+=("$name: ctest failed")
    fi
  fi
}

build_and_test plain "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${QUORVANTA_NO_SANITIZE:-0}" != "1" ]; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build_and_test "ASan+UBSan" "$top/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUORVANTA_SANITIZE=ON \
      -DQUORVANTA_BUILD_BENCH=OFF
fi

if [ ${#failures[@]} -gt 0 ]; then
  echo "test.sh: ${#failures[@]} failure(s):" >&2
  printf '  %s\n' "${failures[@]}" >&2
  exit 1
fi
echo "test.sh: every build and every test passed"
