#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from its SVG. The PNGs are committed, so this only
# needs running after the SVG changed. Needs rsvg-convert (Debian librsvg2-bin).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
id=org.quorvanta.Quorvanta
svg="$here/hicolor/scalable/apps/$id.svg"
for size in 16 32 48 64 128 256; do
  mkdir -p "$here/hicolor/${size}x${size}/apps"
  rsvg-convert --width "$size" --height "$size" "$svg" -o "$here/hicolor/${size}x${size}/apps/$id.png"
done
