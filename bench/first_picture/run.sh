#!/usr/bin/env bash
# On-screen benchmarks against other viewers, under a virtual X server:
#
#   bench/first_picture/run.sh first_picture   time from fork to the picture's marker on screen
#   bench/first_picture/run.sh playback        frames shown per second, CPU per second, peak RSS
#
# Prints table rows (path, case, ours, reference, ref, ratio, target, verdict, note; tab-separated)
# on stdout; progress on stderr. Environment: QUORVANTA_BIN (default build-bench/quorvanta),
# BENCH_CORPUS, BENCH_BUILD, BENCH_ROUNDS (first picture, default 7), BENCH_PLAY_ROUNDS (default 3),
# BENCH_PLAY_WINDOW (seconds after the first loop, default 10), BENCH_NO_QIMGV, BENCH_SCREEN (default 3840x2160x24,
# large enough that a viewer showing a 4K picture at its own size has the middle on screen).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(cd "$here/../.." && pwd)"
corpus="${BENCH_CORPUS:-$top/build/bench-corpus}/screen"
build="${BENCH_BUILD:-$top/build-bench}"
ours="${QUORVANTA_BIN:-$build/quorvanta}"
rounds="${BENCH_ROUNDS:-7}"
play_rounds="${BENCH_PLAY_ROUNDS:-3}"
window="${BENCH_PLAY_WINDOW:-10}"
screen="${BENCH_SCREEN:-3840x2160x24}"
convert=/usr/bin/convert
recipe=1
frames=64 # frames per animation: a 2.1 s loop at 33 ms
mode="${1:-}"
case "$mode" in first_picture | playback) ;; *) echo "usage: $0 first_picture|playback" >&2; exit 2 ;; esac

# ---- what the bench needs from Debian ------------------------------------------------------------
need=(feh nsxiv qimgv libxcb1-dev xvfb xauth imagemagick webp gcc)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "bench: installing ${missing[*]}" >&2
  $SUDO apt-get update >/dev/null
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
[ -x "$ours" ] || { echo "bench: no executable at $ours" >&2; exit 1; }

# ---- the watcher ---------------------------------------------------------------------------------
watch="$build/screenwatch"
if [ ! -x "$watch" ] || [ "$here/screenwatch.c" -nt "$watch" ]; then
  mkdir -p "$build"
  cc -std=c11 -O2 -Wall -Wextra -Wpedantic -Werror -o "$watch" "$here/screenwatch.c" -lxcb
fi

# ---- corpus --------------------------------------------------------------------------------------
# Every picture has a magenta square over the middle quarter of its width and height; an animation
# frame also has eight cells below it: its number in seven bits and an even-parity bit.
marker_draw() { # w h [frame]
  local w=$1 h=$2 f=${3:-} draw
  draw="-fill magenta -draw \"rectangle $((w * 12 / 32)),$((h * 12 / 32)) $((w * 20 / 32 - 1)),$((h * 20 / 32 - 1))\""
  if [ -n "$f" ]; then
    local i bit ones=0 colour
    for i in 0 1 2 3 4 5 6 7; do
      if [ $i -lt 7 ]; then bit=$(((f >> (6 - i)) & 1)); ones=$((ones + bit)); else bit=$((ones % 2)); fi
      colour=black; [ $bit -eq 1 ] && colour=white
      draw+=" -fill $colour -draw \"rectangle $((w * (12 + i) / 32)),$((h * 21 / 32)) $((w * (13 + i) / 32 - 1)),$((h * 23 / 32 - 1))\""
    done
  fi
  echo "$draw"
}

make_corpus() {
  local t0=$SECONDS size w h
  rm -rf "$corpus" && mkdir -p "$corpus/tmp"
  echo "bench: making the on-screen corpus in $corpus" >&2
  for size in 1920x1080 3840x2160; do
    w=${size%x*} h=${size#*x}
    eval "\"$convert\" -seed 31 -size $size plasma: $(marker_draw "$w" "$h") -depth 8 -strip \"$corpus/tmp/still$size.png\""
    cwebp -quiet -q 75 "$corpus/tmp/still$size.png" -o "$corpus/still${size}_lossy.webp"
    cwebp -quiet -lossless "$corpus/tmp/still$size.png" -o "$corpus/still${size}_lossless.webp"
    # Frames cropped from a wider plasma strip sliding right, so that every frame differs everywhere
    # but in the marker and is a full decode.
    local step=$((w / 128)) f
    "$convert" -seed 33 -size "$((w + step * frames))x$h" plasma: -depth 8 "$corpus/tmp/strip.png"
    for ((f = 0; f < frames; f++)); do
      eval "\"$convert\" \"$corpus/tmp/strip.png\" -crop ${w}x${h}+$((f * step))+0 +repage $(marker_draw "$w" "$h" $f) -strip \"$(printf '%s/tmp/f%03d.png' "$corpus" $f)\""
    done
    img2webp -lossy -q 75 -m 2 -d 33 "$corpus"/tmp/f*.png -o "$corpus/anim${size}.webp" >/dev/null 2>&1
    rm -f "$corpus"/tmp/f*.png "$corpus/tmp/strip.png"
  done
  rm -rf "$corpus/tmp"
  echo "$recipe" >"$corpus/.recipe"
  echo "bench: on-screen corpus made in $((SECONDS - t0)) s" >&2
}
if [ "$(cat "$corpus/.recipe" 2>/dev/null)" != "$recipe" ]; then
  make_corpus
fi

# ---- the viewers ---------------------------------------------------------------------------------
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
# Each viewer starts with empty settings, as on a first run.
viewer_cmd() { # name file -> the command line, one word a line
  case "$1" in
    quorvanta) printf '%s\n' "$ours" "$2" ;;
    feh) printf '%s\n' feh "$2" ;;
    nsxiv) printf '%s\n' nsxiv -a "$2" ;;
    qimgv) printf '%s\n' qimgv "$2" ;;
  esac
}

if [ -z "${FIRST_PICTURE_INNER:-}" ]; then
  FIRST_PICTURE_INNER=1 exec xvfb-run -a -s "-screen 0 $screen -br -nolisten tcp" "$0" "$@"
fi
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache" \
  XDG_RUNTIME_DIR="$scratch/run" QT_QPA_PLATFORM=xcb
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

median() { sort -g | awk '{v[NR] = $1} END {if (NR == 0) print "NA"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p"; } # key < line
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "NA" || b == "NA" || b == 0) print "-"; else printf "%.3g", a / b }'; }
# verdict ratio op limit
verdict() { awk -v r="$1" -v op="$2" -v l="$3" 'BEGIN { if (r == "-" || r == "NA") print "MISSED"; else if ((op == "<=" && r + 0 <= l + 0) || (op == ">=" && r + 0 >= l + 0)) print "met"; else print "MISSED" }'; }
ms() { [ "$1" = NA ] && echo NA || printf '%.1f ms' "$1"; }
mib() { [ "$1" = NA ] && echo NA || awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
row() { printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$@"; }

log="$scratch/runs"
# BENCH_NO_QIMGV=1 leaves qimgv out (it shows nothing under Xvfb here, and each try waits out the
# whole timeout).
peers=(feh nsxiv qimgv)
[ -z "${BENCH_NO_QIMGV:-}" ] || peers=(feh nsxiv)
viewers=(quorvanta "${peers[@]}")
play_peers=(nsxiv qimgv)
[ -z "${BENCH_NO_QIMGV:-}" ] || play_peers=(nsxiv)

if [ "$mode" = first_picture ]; then
  files=(still1920x1080_lossy still1920x1080_lossless still3840x2160_lossy still3840x2160_lossless anim1920x1080)
  # One warm-up run of each viewer and file fills the page cache; then the rounds alternate viewers.
  for r in $(seq 0 "$rounds"); do
    for f in "${files[@]}"; do
      for v in "${viewers[@]}"; do
        mapfile -t cmd < <(viewer_cmd "$v" "$corpus/$f.webp")
        out="$("$watch" first 20000 -- "${cmd[@]}" 2>>"$scratch/stderr")" || out="first_ms=NA"
        [ "$r" -gt 0 ] && echo "$v $f $out" >>"$log"
      done
    done
    echo "bench: first picture, round $r of $rounds done" >&2
  done
  for f in "${files[@]}"; do
    name=${f#still}; name=${name#anim}; name="${name/_/ }"; [[ $f == anim* ]] && name="$name animation, first frame"
    declare -A t=() m=()
    for v in "${viewers[@]}"; do
      t[$v]=$(awk -v v="$v" -v f="$f" '$1 == v && $2 == f' "$log" | field first_ms | { grep -v NA || true; } | median)
      m[$v]=$(awk -v v="$v" -v f="$f" '$1 == v && $2 == f' "$log" | field rss_kib | { grep -v NA || true; } | median)
    done
    for v in "${peers[@]}"; do
      rt=$(ratio "${t[quorvanta]}" "${t[$v]}"); inv=$(ratio "${t[$v]}" "${t[quorvanta]}")
      case $v in feh) limit=1.3 ;; nsxiv) limit=1.0 ;; *) limit="" ;; esac
      opened=$(awk -v v="$v" -v f="$f" '$1 == v && $2 == f' "$log" | grep -c -v 'first_ms=NA' || true)
      note="peer / ours = $inv (above 1: Quorvanta faster); $opened/$rounds runs showed the picture"
      if [ -n "$limit" ]; then
        row "first picture: fork to marker on screen" "$name" "$(ms "${t[quorvanta]}")" "$v (process)" \
          "$(ms "${t[$v]}")" "${rt}x" "<= ${limit}x" "$(verdict "$rt" "<=" "$limit")" "$note"
      else
        row "first picture: fork to marker on screen" "$name" "$(ms "${t[quorvanta]}")" "$v (process)" \
          "$(ms "${t[$v]}")" "${rt}x" "-" info "$note"
      fi
    done
    for v in feh nsxiv; do
      rm_=$(ratio "${m[quorvanta]}" "${m[$v]}")
      if [[ $f == still3840x2160* && $v == feh ]]; then tg="<= 1.1x"; vd=$(verdict "$rm_" "<=" 1.1); else tg="-"; vd=info; fi
      row "first picture: peak RSS, 0.5 s after" "$name" "$(mib "${m[quorvanta]}")" "$v (process)" \
        "$(mib "${m[$v]}")" "${rm_}x" "$tg" "$vd" "VmHWM"
    done
    unset t m
  done
else
  for r in $(seq 1 "$play_rounds"); do
    for size in 1920x1080 3840x2160; do
      for v in quorvanta "${play_peers[@]}"; do
        mapfile -t cmd < <(viewer_cmd "$v" "$corpus/anim$size.webp")
        out="$("$watch" play "$frames" "$window" 15000 -- "${cmd[@]}" 2>>"$scratch/stderr")" || out="first_ms=NA"
        echo "$v $size $out" >>"$log"
      done
    done
    echo "bench: playback, round $r of $play_rounds done" >&2
  done
  for size in 1920x1080 3840x2160; do
    declare -A fps=() cpu=() rss=() wrap=()
    for v in quorvanta "${play_peers[@]}"; do
      sel() { awk -v v="$v" -v s="$size" '$1 == v && $2 == s' "$log" | grep -v 'first_ms=NA' || true; }
      fps[$v]=$(sel | field fps | median)
      cpu[$v]=$(sel | field cpu_per_s | median)
      rss[$v]=$(sel | field rss_kib | median)
      wrap[$v]=$(sel | grep -c 'wrapped=yes' || true)
    done
    if [ "$size" = 3840x2160 ]; then fps_target=29; else fps_target=29.5; fi
    for v in "${play_peers[@]}"; do
      note="$frames frames x 33 ms lossy; window ${window} s after the first loop (seen in ${wrap[quorvanta]}/$play_rounds of ours, ${wrap[$v]}/$play_rounds of $v)"
      row "playback: frames shown per second" "$size, 33 ms" "${fps[quorvanta]} fps" "$v" "${fps[$v]} fps" \
        "$(ratio "${fps[quorvanta]}" "${fps[$v]}")x" ">= $fps_target fps" "$(verdict "${fps[quorvanta]}" ">=" "$fps_target")" "$note"
      rc=$(ratio "${cpu[quorvanta]}" "${cpu[$v]}"); rr=$(ratio "${rss[quorvanta]}" "${rss[$v]}")
      if [ "$size" = 1920x1080 ] && [ "$v" = nsxiv ]; then
        row "playback: CPU s per s after the first loop" "$size, 33 ms" "${cpu[quorvanta]}" "$v" "${cpu[$v]}" "${rc}x" "<= 0.5x" "$(verdict "$rc" "<=" 0.5)" "utime+stime of all threads"
        row "playback: peak RSS" "$size, 33 ms" "$(mib "${rss[quorvanta]}")" "$v" "$(mib "${rss[$v]}")" "${rr}x" "<= 0.3x" "$(verdict "$rr" "<=" 0.3)" "VmHWM at the end of the window"
      else
        row "playback: CPU s per s after the first loop" "$size, 33 ms" "${cpu[quorvanta]}" "$v" "${cpu[$v]}" "${rc}x" "-" info "utime+stime of all threads"
        row "playback: peak RSS" "$size, 33 ms" "$(mib "${rss[quorvanta]}")" "$v" "$(mib "${rss[$v]}")" "${rr}x" "-" info "VmHWM at the end of the window"
      fi
    done
    unset fps cpu rss wrap
  done
fi
if [ -s "$scratch/stderr" ]; then
  echo "bench: viewers' messages (first lines):" >&2
  sort "$scratch/stderr" | uniq -c | sort -rn | head -5 >&2
fi
cp "$log" "$build/screen-$mode-runs.txt"
