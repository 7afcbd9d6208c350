#!/usr/bin/env bash
# Runs the benchmark suite: makes the deterministic corpus (once, cached), builds the benchmark
# programs in Release, runs our paths next to libwebp's own tools in the same run, and prints one
# table of medians and ratios.
#
#   scripts/bench.sh                 everything
#   scripts/bench.sh view frames     only the named programs (bench/bench_view.cpp, ...)
#   scripts/bench.sh animenc         animated WebP encoding against img2webp and gif2webp
#   scripts/bench.sh first_picture playback
#                                    the on-screen comparisons with other viewers under Xvfb
#                                    (bench/first_picture/run.sh; installs the viewers it needs)
#
# BENCH_CORPUS (default build/bench-corpus) and BENCH_BUILD (default build-bench) move the cache and
# the build. The rows also land in $BENCH_BUILD/bench-results.tsv.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
corpus="${BENCH_CORPUS:-$top/build/bench-corpus}"
build="${BENCH_BUILD:-$top/build-bench}"
convert=/usr/bin/convert # the convert on PATH may be another program
recipe=3                 # bump when the corpus recipe changes

for t in "$convert" cwebp dwebp img2webp gif2webp cmake ninja; do
  command -v "$t" >/dev/null || { echo "bench: $t is missing; scripts/setup.sh installs it" >&2; exit 1; }
done

# ---- corpus ------------------------------------------------------------------------------------
# Seeded plasma pictures, 8-bit, no time stamps: the same bytes on every run.
png() { # size seed out [alpha]
  local size=$1 seed=$2 out=$3
  if [ "${4:-}" = alpha ]; then
    "$convert" -seed "$seed" -size "$size" plasma: \( -size "$size" radial-gradient:white-black \) \
      -alpha off -compose copy_opacity -composite -depth 8 -strip -define png:exclude-chunks=date,time "$out"
  else
    "$convert" -seed "$seed" -size "$size" plasma: -depth 8 -strip -define png:exclude-chunks=date,time "$out"
  fi
}

# N crops of W x H sliding right by STEP pixels over a strip, as f01.png, f02.png, ... in DIR.
crops() { # strip dir n w h step
  local strip=$1 dir=$2 n=$3 w=$4 h=$5 step=$6 i
  mkdir -p "$dir"
  for i in $(seq 0 $((n - 1))); do
    "$convert" "$strip" -crop "${w}x${h}+$((i * step))+0" +repage -strip \
      -define png:exclude-chunks=date,time "$(printf '%s/f%02d.png' "$dir" $((i + 1)))"
  done
}

# The frame list repeated to N frames.
cycle() { # n files...
  local n=$1; shift
  local files=("$@") out=() i
  for ((i = 0; i < n; i++)); do out+=("${files[i % ${#files[@]}]}"); done
  printf '%s\n' "${out[@]}"
}

make_corpus() {
  local c=$1 t0=$SECONDS
  rm -rf "$c" && mkdir -p "$c/still" "$c/anim" "$c/dir720"
  echo "bench: making the corpus in $c" >&2
  local seed=1 size
  for size in 640x480 1920x1080 3840x2160; do
    png "$size" $seed "$c/still/${size}_opaque.png"
    png "$size" $((seed + 1)) "$c/still/${size}_alpha.png" alpha
    seed=$((seed + 2))
    for kind in opaque alpha; do
      cwebp -quiet -q 75 "$c/still/${size}_$kind.png" -o "$c/still/${size}_${kind}_lossy.webp"
      cwebp -quiet -lossless "$c/still/${size}_$kind.png" -o "$c/still/${size}_${kind}_lossless.webp"
    done
  done

  # Animations of 30, 300 and 3000 frames of 320 x 240 at 33 ms, one lossless with alpha, and one
  # of 1920 x 1080 frames.
  png 1280x240 21 "$c/anim/strip.png"
  crops "$c/anim/strip.png" "$c/anim/frames" 30 320 240 32
  "$convert" -seed 23 -size 1280x240 plasma: \( -seed 24 -size 1280x240 plasma: -colorspace gray -level 35%,65% \) \
    -alpha off -compose copy_opacity -composite -depth 8 -strip "$c/anim/strip_alpha.png"
  crops "$c/anim/strip_alpha.png" "$c/anim/frames_alpha" 30 320 240 32
  local n
  for n in 30 300 3000; do
    mapfile -t list < <(cycle $n "$c"/anim/frames/f*.png)
    img2webp -lossy -q 75 -m 2 -d 33 "${list[@]}" -o "$c/anim/step$n.webp" >/dev/null 2>&1
  done
  img2webp -lossless -m 1 -d 33 "$c"/anim/frames_alpha/f*.png -o "$c/anim/alpha30_lossless.webp" >/dev/null 2>&1
  png 2560x1080 25 "$c/anim/strip1080.png"
  crops "$c/anim/strip1080.png" "$c/anim/frames1080" 10 1920 1080 64
  img2webp -lossy -q 75 -m 2 -d 100 "$c"/anim/frames1080/f*.png -o "$c/anim/big1080.webp" >/dev/null 2>&1

  # The 30-frame 1280 x 720 PNG directory.
  png 2560x720 27 "$c/dir720-strip.png"
  crops "$c/dir720-strip.png" "$c/dir720" 30 1280 720 40
  rm -f "$c/dir720-strip.png"

  echo "$recipe" >"$c/.recipe"
  echo "bench: corpus made in $((SECONDS - t0)) s" >&2
}

if [ "$(cat "$corpus/.recipe" 2>/dev/null)" != "$recipe" ]; then
  make_corpus "$corpus"
fi

# ---- build -------------------------------------------------------------------------------------
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANTA_BUILD_TESTS=OFF \
  -DQUORVANTA_BUILD_BENCH=ON >/dev/null
programs=() screens=()
for a in "$@"; do
  case "$a" in first_picture | playback) screens+=("$a") ;; *) programs+=("$a") ;; esac
done
if [ $# -eq 0 ]; then
  programs=(view frames encode animenc cancel preview) # the programs that print table rows, in the table's order
fi
# The animation encoding inputs have a recipe of their own (bench/animenc_corpus.sh), made on first use.
animenc_recipe=1
if [[ " ${programs[*]-} " == *" animenc "* ]] &&
  [ "$(cat "$corpus/animenc/.recipe" 2>/dev/null)" != "$animenc_recipe" ]; then
  echo "bench: making the animation encoding inputs in $corpus/animenc (about 2 minutes)" >&2
  "$top/bench/animenc_corpus.sh" "$corpus/animenc" "$convert"
  echo "$animenc_recipe" >"$corpus/animenc/.recipe"
fi
targets=(quorvanta)
[ ${#programs[@]} -eq 0 ] || targets+=("${programs[@]/#/bench_}")
cmake --build "$build" -j 2 --target "${targets[@]}" >/dev/null

# ---- run ---------------------------------------------------------------------------------------
export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR="$(mktemp -d)"
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
results="$build/bench-results.tsv"
: >"$results"
start=$SECONDS
load0=$(cut -d' ' -f1-3 /proc/loadavg)
for p in ${programs[@]+"${programs[@]}"}; do
  echo "bench: running bench_$p" >&2
  status=0
  "$build/bench/bench_$p" --corpus "$corpus" >"$results.$p" || status=$?
  grep '^ROW' "$results.$p" | cut -f2- >>"$results" || true
  rm -f "$results.$p"
  if [ "$status" -ne 0 ]; then
    printf 'bench_%s\t(stopped)\t-\t-\t-\t-\t-\tFAILED\texit status %s; rows above it are complete\n' "$p" "$status" >>"$results"
  fi
done

for m in ${screens[@]+"${screens[@]}"}; do
  echo "bench: running the on-screen benchmark $m" >&2
  BENCH_BUILD="$build" BENCH_CORPUS="$corpus" QUORVANTA_BIN="$build/quorvanta" \
    "$top/bench/first_picture/run.sh" "$m" >>"$results" ||
    printf '%s\t(stopped)\t-\t-\t-\t-\t-\tFAILED\tsee the messages above\n' "$m" >>"$results"
done

echo
echo "Quorvanta benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, libwebp $(cwebp -version), run $((SECONDS - start)) s," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end (at the start: $load0)"
echo "Times are medians; ratio = ours / reference; process figures include starting the program."
echo
awk -F'\t' '
  BEGIN { split("path|case|ours|reference|ref|ratio|target|verdict|note", head, "|"); n = 9
          for (i = 1; i <= n; i++) { cell[0, i] = head[i]; w[i] = length(head[i]) } rows = 1 }
  { for (i = 1; i <= n; i++) { cell[rows, i] = $i; if (length($i) > w[i]) w[i] = length($i) } rows++ }
  END {
    for (r = 0; r < rows; r++) {
      line = "|"
      for (i = 1; i <= n; i++) line = line sprintf(" %-" w[i] "s |", cell[r, i])
      print line
      if (r == 0) { line = "|"; for (i = 1; i <= n; i++) { d = ""; for (k = 0; k < w[i] + 2; k++) d = d "-"; line = line d "|" } print line }
    }
  }' "$results"
