#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/fuzz_<name>.cpp) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a while.
#   scripts/fuzz.sh [seconds per target, default 120] [target names...]
#   FUZZ_RUNS=1000000 scripts/fuzz.sh 0 import webp_anim   (a number of runs instead of a time)
#   FUZZ_BUDGET_MIB=64 ...   (the decode budget of the import target; others keep the program's)
# A single allocation over the decode budget + 256 MiB is reported as a finding: the default budget is
# the smaller of 1 GiB and a quarter of the machine's memory, as in the program.
# Corpora grow in build-fuzz/corpus/<name>/, crashing inputs land in build-fuzz/artifacts/<name>/.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-120}"
shift || true
build="$top/build-fuzz"

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DQUORVANTA_BUILD_FUZZ=ON -DQUORVANTA_SANITIZE=ON \
  -DQUORVANTA_BUILD_TESTS=OFF -DQUORVANTA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in "$top"/fuzz/fuzz_*.cpp; do n="$(basename "$f" .cpp)"; targets+=("${n#fuzz_}"); done
fi

seeds="$build/seeds"
rm -rf "$seeds"
"$top/scripts/make-fuzz-corpus.sh" "$seeds"

memory_mib=$(awk '/^MemTotal:/ { print int($2 / 1024) }' /proc/meminfo)
default_budget_mib=$(( memory_mib / 4 < 1024 ? memory_mib / 4 : 1024 ))
limits=(-max_total_time="$seconds")
[ -n "${FUZZ_RUNS:-}" ] && limits=(-runs="$FUZZ_RUNS")

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  budget_mib=$default_budget_mib
  if [ "$t" = import ] && [ -n "${FUZZ_BUDGET_MIB:-}" ]; then
    budget_mib=$FUZZ_BUDGET_MIB
    export QUORVANTA_FUZZ_BUDGET_MIB="$FUZZ_BUDGET_MIB"
  fi
  malloc_limit_mb=$(( budget_mib + 256 ))
  seed="$seeds/$t"
  [ -d "$seed" ] || seed="$seeds/import"
  echo "== fuzz_$t: ${limits[*]}, -malloc_limit_mb=$malloc_limit_mb"
  "$build/fuzz/fuzz_$t" "$corpus" "$seed" "${limits[@]}" -max_len=65536 \
    -rss_limit_mb=8192 -malloc_limit_mb="$malloc_limit_mb" -artifact_prefix="$artifacts/" -print_final_stats=1 \
    2>&1 | grep -E "^(==|INFO: seed|#[0-9]+ +DONE|stat::number_of_executed_units|SUMMARY|Done)|ERROR|crash|leak" || true
done
