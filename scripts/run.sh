#!/usr/bin/env bash
# Installs what is needed, builds Quorvanta and starts it on a bundled sample picture
# (or on the arguments given).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/setup.sh"
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" --target quorvanta
if [ $# -eq 0 ]; then
  set -- "$top/docs/sample.webp"
fi
exec "$top/build/quorvanta" "$@"
