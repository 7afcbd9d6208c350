#!/usr/bin/env bash
# Writes small seed pictures for the fuzz targets into $1/<target>/, made with Debian's tools. The
# WebP targets also start from the public conformance files in ../shared/testdata/conformance when
# that folder is present (read in place, never kept in the project). Targets without seeds of their
# own start from the whole-import seeds.
set -euo pipefail
out="$(realpath -m "${1:?usage: make-fuzz-corpus.sh DIR}")"
top="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
im=/usr/bin/convert
cd "$work"
"$im" -size 13x7 gradient:red-blue -depth 8 src.png
"$im" src.png -alpha on -channel A -fx 'i/w' -depth 8 alpha.png
"$im" src.png -colors 16 c16.png
"$im" c16.png -alpha off c16.ppm
"$im" src.png -alpha off src.ppm

mkdir -p "$out"/tga "$out"/pcx "$out"/ilbm "$out"/import
"$im" alpha.png -compress None TGA:"$out"/tga/alpha.tga
"$im" alpha.png -compress RLE TGA:"$out"/tga/alpha-rle.tga
"$im" c16.png -type Palette -compress RLE TGA:"$out"/tga/cmap-rle.tga
"$im" src.png -type Grayscale TGA:"$out"/tga/grey.tga
pamtotga -rgb < src.ppm > "$out"/tga/rgb-rle.tga 2>/dev/null
"$im" src.png PCX:"$out"/pcx/rgb.pcx
"$im" c16.png -type Palette PCX:"$out"/pcx/pal8.pcx
ppmtopcx -planes 4 < c16.ppm > "$out"/pcx/planes4.pcx 2>/dev/null
ppmtopcx -packed < c16.ppm > "$out"/pcx/packed.pcx 2>/dev/null
ppmtoilbm < c16.ppm > "$out"/ilbm/c16.iff 2>/dev/null
ppmtoilbm -nocompress < c16.ppm > "$out"/ilbm/raw.iff 2>/dev/null
ppmtoilbm -ham6 < src.ppm > "$out"/ilbm/ham6.iff 2>/dev/null
ppmtoilbm -ham8 < src.ppm > "$out"/ilbm/ham8.iff 2>/dev/null
ppmtoilbm -24force < src.ppm > "$out"/ilbm/deep.iff 2>/dev/null
cp "$out"/tga/* "$out"/pcx/* "$out"/ilbm/* "$out"/import/
for f in PNG32 GIF BMP BMP3 JPEG TIFF PPM PGM PBM; do
  "$im" alpha.png "$f:$out/import/seed.${f,,}"
done

# WebP seeds: still pictures of every coding, and animations with offsets, blending and disposal.
mkdir -p "$out"/webp_still "$out"/webp_anim
cwebp -quiet -q 60 src.png -o "$out"/webp_still/lossy.webp
cwebp -quiet -q 70 alpha.png -o "$out"/webp_still/lossy-alpha.webp
cwebp -quiet -lossless -exact alpha.png -o "$out"/webp_still/lossless-alpha.webp
cwebp -quiet -lossless c16.png -o "$out"/webp_still/lossless-palette.webp
cwebp -quiet -q 50 -alpha_filter best -alpha_q 50 alpha.png -o "$out"/webp_still/alpha-lossy-plane.webp
"$im" -size 5x5 xc:red -depth 8 f1.png
"$im" -size 5x5 xc:'rgba(0,255,0,0.5)' -depth 8 f2.png
"$im" -size 9x4 gradient:white-black -depth 8 f3.png
img2webp -loop 2 -lossless -d 40 src.png -lossy -q 40 alpha.png -o "$out"/webp_anim/mixed.webp 2>/dev/null
img2webp -mixed -d 30 src.png alpha.png src.png -o "$out"/webp_anim/min-size.webp 2>/dev/null
# An animated GIF with small frames at offsets, transparency and both disposals.
"$im" -dispose background -delay 5 -size 13x7 xc:none \
  -page 13x7+1+1 f1.png -dispose previous -page 13x7+6+2 f2.png -dispose none -page 13x7+2+3 f3.png \
  -loop 0 anim.gif
gif2webp -quiet anim.gif -o "$out"/webp_anim/offsets.webp
# GIF seeds: that animation, and one that is interlaced, with local colour maps, a frame reaching
# past the screen, disposal to the previous frame and a looping count.
mkdir -p "$out"/gif
cp anim.gif "$out"/gif/
"$im" -loop 3 -interlace GIF \( -dispose previous -delay 3 -size 13x7 gradient:red-blue -repage 13x7+0+0 \) \
  \( -dispose none -delay 0 f3.png -repage 13x7+8+5 \) \( -dispose background -delay 1 f2.png -repage 13x7+2+1 \) \
  "$out"/gif/interlaced.gif
gif2webp -quiet -lossy -q 30 -mixed anim.gif -o "$out"/webp_anim/offsets-lossy.webp
webpmux -frame "$out"/webp_still/lossless-alpha.webp +50+0+0+0-b \
  -frame "$out"/webp_still/lossy.webp +20+0+0+1+b -loop 0 -bgcolor 255,10,20,30 \
  -o "$out"/webp_anim/webpmux.webp >/dev/null 2>&1
conformance="$top/../shared/testdata/conformance"
if [ -d "$conformance" ]; then
  for f in "$conformance"/*.webp; do
    [ "$(stat -c %s "$f")" -le 65536 ] || continue
    if webpmux -info "$f" 2>/dev/null | grep -q "Number of frames"; then
      cp "$f" "$out"/webp_anim/
    else
      cp "$f" "$out"/webp_still/
    fi
  done
fi

# Command lines: typed lines, arguments split at zero bytes, and a template with words to match.
mkdir -p "$out"/cmdline
printf 'picture.webp' > "$out"/cmdline/path
printf 'WIDTH 640 HEIGTH 480 "my picture.webp"' > "$out"/cmdline/keywords
printf 'webppath=a.webp\0width=7\0heigth=-3\0DIR' > "$out"/cmdline/arguments
printf 'file:///tmp/a%%20b.webp' > "$out"/cmdline/address
printf 'FROM/A,TO/K,SIZE/N,QUIET/S\nquiet from "x y" to=z size 12' > "$out"/cmdline/template
printf -- '--help' > "$out"/cmdline/help
