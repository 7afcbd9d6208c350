#!/usr/bin/env bash
# Makes the inputs of bench_animenc in DIR (called by scripts/bench.sh): three 60-frame 1280 x 720 PNG
# directories and a 100-frame GIF, all from fixed seeds, so that every run makes the same bytes.
#
#   screen/  a still window-like picture with text, a pointer moving over it and a caret blinking
#   video/   a textured landscape panning 4 px right and 2 px down per frame
#   flat/    large flat shapes moving and changing colour
#   anim.gif 480 x 360, 256 colours, transparent corners, a sprite bouncing over a still background
#
#   bench/animenc_corpus.sh DIR CONVERT
set -euo pipefail
dir=$1
convert=$2
png_out=(-depth 8 -strip -define "png:exclude-chunks=date,time")
RANDOM=20261209 # bash's generator, seeded: the same words and shapes on every run

rm -rf "$dir" && mkdir -p "$dir/screen" "$dir/video" "$dir/flat" "$dir/gifframes"
frame() { printf '%s/f%03d.png' "$1" "$2"; }

# ---- screen: a window with a menu, a side list and paragraphs of text ---------------------------------
words=(open file view window layout column buffer frame pixel render encode quality canvas setting
  preview export import folder picture motion timing palette select before after under every)
sentence() { # n words into $line; no subshell, which would take RANDOM off its seed
  local i
  line=""
  for ((i = 0; i < $1; i++)); do line+="${words[RANDOM % ${#words[@]}]} "; done
}
draw=(-fill '#2d3e50' -draw 'rectangle 0,0 1279,31' -fill '#dfe3e8' -draw 'rectangle 0,32 239,719'
  -fill '#ffffff' -draw 'rectangle 256,48 1263,703' -fill '#3c7dd9' -draw 'rectangle 1120,652 1240,684'
  -font DejaVu-Sans -pointsize 13 -fill '#f0f0f0' -annotate +12+21 'File    Edit    View    Go    Tools    Help'
  -fill '#ffffff' -annotate +1150+673 'Apply')
for ((i = 0; i < 24; i++)); do sentence 2 && draw+=(-fill '#303840' -annotate "+16+$((60 + i * 26))" "$line"); done
for ((i = 0; i < 28; i++)); do sentence 9 && draw+=(-fill '#202020' -annotate "+276+$((76 + i * 21))" "$line"); done
"$convert" -size 1280x720 xc:'#eceff2' "${draw[@]}" "${png_out[@]}" "$dir/screen-base.png"
for ((i = 0; i < 60; i++)); do
  x=$((300 + i * 13)) y=$((120 + (i * 7) % 400))
  caret=()
  ((i / 8 % 2 == 0)) && caret=(-fill '#000000' -draw "rectangle 700,$((76 + 27 * 21 - 12)) 701,$((76 + 27 * 21 + 3))")
  "$convert" "$dir/screen-base.png" "${caret[@]}" -fill '#ffffff' -stroke '#000000' \
    -draw "polygon $x,$y $x,$((y + 18)) $((x + 5)),$((y + 14)) $((x + 12)),$((y + 14))" \
    "${png_out[@]}" "$(frame "$dir/screen" $((i + 1)))"
done
rm -f "$dir/screen-base.png"

# ---- video: a soft, grainy landscape under a sky, panning -------------------------------------------
"$convert" -seed 7 -size 1520x840 plasma:fractal -blur 0x4 -modulate 100,55 \
  -fill '#3a5a2a' -draw 'path "M 0,600 Q 300,480 700,580 T 1520,540 L 1520,840 L 0,840 Z"' \
  -fill '#5b4a36' -draw 'path "M 0,720 Q 500,640 900,730 T 1520,700 L 1520,840 L 0,840 Z"' \
  -fill '#f4e7b0' -draw 'circle 1100,160 1160,160' -blur 0x1 \
  \( -size 1520x840 xc:gray50 -seed 8 -attenuate 0.25 +noise Gaussian -colorspace gray \) \
  -compose overlay -composite "${png_out[@]}" "$dir/video-strip.png"
for ((i = 0; i < 60; i++)); do
  "$convert" "$dir/video-strip.png" -crop "1280x720+$((i * 4))+$((i * 2))" +repage "${png_out[@]}" \
    "$(frame "$dir/video" $((i + 1)))"
done
rm -f "$dir/video-strip.png"

# ---- flat: six shapes drifting, one of them changing colour every ten frames ----------------------
colours=('#e63946' '#f1c453' '#2a9d8f' '#264653' '#a8dadc' '#8338ec' '#ff8500' '#06d6a0')
declare -a sx sy sdx sdy
for ((s = 0; s < 6; s++)); do
  sx[s]=$((RANDOM % 1000)) sy[s]=$((RANDOM % 500)) sdx[s]=$((RANDOM % 9 - 4)) sdy[s]=$((RANDOM % 7 - 3))
done
for ((i = 0; i < 60; i++)); do
  shapes=()
  for ((s = 0; s < 6; s++)); do
    x=$((sx[s] + sdx[s] * i)) y=$((sy[s] + sdy[s] * i))
    shapes+=(-fill "${colours[(s + i / 10 * (s == i / 10 % 6)) % 8]}")
    if ((s % 2 == 0)); then
      shapes+=(-draw "rectangle $x,$y $((x + 260)),$((y + 180))")
    else
      shapes+=(-draw "circle $((x + 110)),$((y + 110)) $((x + 110)),$((y + 10))")
    fi
  done
  "$convert" -size 1280x720 xc:'#f7f3e9' "${shapes[@]}" "${png_out[@]}" "$(frame "$dir/flat" $((i + 1)))"
done

# ---- GIF: a sprite crossing a panning background, corners transparent, one 256-colour palette --------
"$convert" -seed 11 -size 480x360 plasma:fractal -blur 0x2 "${png_out[@]}" "$dir/gif-back.png"
"$convert" -size 480x360 xc:black -fill white -draw 'roundrectangle 0,0 479,359 60,60' "$dir/gif-mask.png"
for ((i = 0; i < 100; i++)); do
  x=$((40 + (i * 9) % 360)) y=$((150 + (i % 20 - 10) ** 2))
  "$convert" "$dir/gif-back.png" \
    -fill '#ffdd00' -stroke '#000000' -strokewidth 3 -draw "circle $((x + 30)),$((y + 30)) $((x + 30)),$y" \
    "$dir/gif-mask.png" -alpha off -compose copy_opacity -composite "${png_out[@]}" \
    "$(frame "$dir/gifframes" $((i + 1)))"
done
"$convert" -delay 4 -loop 0 -dispose none "$dir"/gifframes/f*.png +map -layers OptimizeTransparency \
  "$dir/anim.gif"
rm -rf "$dir/gifframes" "$dir/gif-back.png" "$dir/gif-mask.png"
