#!/usr/bin/env bash
# Starts Quorvanta under a virtual X server and saves a PNG of one of its windows.
#
#   scripts/screenshot.sh OUT.png [quorvanta arguments...]
#
# QUORVANTA_SCREENSHOT_WINDOW  which window to capture: main (default), settings, about or style;
#                              the app opens it through QUORVANTA_OPEN_WINDOW
# QUORVANTA_BIN                the executable (default build/quorvanta)
# QUORVANTA_SCREENSHOT_DELAY   seconds to let the windows settle before the capture (default 2)
# QUORVANTA_SCREENSHOT_SCREEN  the virtual screen (default 1280x1024x24; 1024x768x24 for a small one)
# QUORVANTA_SCREENSHOT_STORE   settings put in the store before the start, "key=value" separated by
#                              blanks (ViewScaling=1 actual size, ViewCheckerboard=true, ...)
# QUORVANTA_SCREENSHOT_RESIZE  WxH: the window is resized to this before the capture, as a user would
# QUORVANTA_SCREENSHOT_KEYS    keys typed into the main window before the capture, in xdotool's
#                              names separated by blanks ("ctrl+plus F11 space")
# QT_SCALE_FACTOR and the other Qt variables pass through.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
if [ $# -lt 1 ]; then
  echo "usage: $0 OUT.png [quorvanta arguments...]" >&2
  exit 2
fi
out="$(realpath -m "$1")"
shift
bin="${QUORVANTA_BIN:-$top/build/quorvanta}"
which_window="${QUORVANTA_SCREENSHOT_WINDOW:-main}"
delay="${QUORVANTA_SCREENSHOT_DELAY:-2}"
screen="${QUORVANTA_SCREENSHOT_SCREEN:-1280x1024x24}"

case "$which_window" in
  main) title_pattern='Quorvanta' ;;
  settings) title_pattern='Settings' ;;
  about) title_pattern='About Quorvanta' ;;
  style) title_pattern='Qt style' ;;
  *) echo "unknown window: $which_window" >&2; exit 2 ;;
esac
[ -x "$bin" ] || { echo "no executable at $bin (build first)" >&2; exit 2; }

if [ -z "${QUORVANTA_SCREENSHOT_INNER:-}" ]; then
  # Run this script again inside a virtual X server.
  QUORVANTA_SCREENSHOT_INNER=1 xvfb-run -a -s "-screen 0 $screen" "$0" "$out" "$@"
  echo "saved $out"
  exit 0
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
if [ -n "${QUORVANTA_SCREENSHOT_STORE:-}" ]; then
  mkdir -p "$scratch/config/quorvanta"
  { echo "[General]"; tr ' ' '\n' <<<"$QUORVANTA_SCREENSHOT_STORE"; } >"$scratch/config/quorvanta/quorvanta.ini"
fi
open_window=""
[ "$which_window" = main ] || open_window="$which_window"
XDG_RUNTIME_DIR="$scratch" XDG_CONFIG_HOME="$scratch/config" QT_QPA_PLATFORM=xcb \
  QUORVANTA_OPEN_WINDOW="$open_window" "$bin" "$@" &
app=$!
sleep "$delay"
if [ "$which_window" = main ]; then
  id="$(xwininfo -root -tree | awk '/"([^"]* - )?Quorvanta": \(/ {print $1; exit}')"
else
  id="$(xwininfo -root -tree | awk -v t="\"$title_pattern\": (" 'index($0, t) {print $1; exit}')"
fi
if [ -z "$id" ]; then
  echo "window '$title_pattern' not found" >&2
  kill -TERM "$app" 2>/dev/null || true
  exit 1
fi
main_id="$(xwininfo -root -tree | awk '/"([^"]* - )?Quorvanta": \(/ {print $1; exit}')"
if [ -n "${QUORVANTA_SCREENSHOT_RESIZE:-}${QUORVANTA_SCREENSHOT_KEYS:-}" ] && [ -n "$main_id" ]; then
  command -v xdotool >/dev/null || { echo "xdotool is needed for resizing and keys (scripts/setup.sh)" >&2; exit 2; }
  if [ -n "${QUORVANTA_SCREENSHOT_RESIZE:-}" ]; then
    xdotool windowsize --sync "$main_id" "${QUORVANTA_SCREENSHOT_RESIZE%x*}" "${QUORVANTA_SCREENSHOT_RESIZE#*x}" || true
  fi
  for key in ${QUORVANTA_SCREENSHOT_KEYS:-}; do
    xdotool windowfocus --sync "$main_id" key --clearmodifiers "$key"
    sleep 0.3
  done
  sleep 1
  [ "$which_window" = main ] && id="$(xwininfo -root -tree | awk '/"([^"]* - )?Quorvanta": \(/ {print $1; exit}')"
fi
import -window "$id" "$out"
kill -TERM "$app"
wait "$app"
