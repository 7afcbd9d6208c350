#!/usr/bin/env bash
# Writes small seed pictures for the fuzz targets into $1/<target>/ (made with Debian's tools, never
# copied from anywhere). Targets without seeds of their own start from the whole-import seeds.
set -euo pipefail
out="${1:?usage: make-fuzz-corpus.sh DIR}"
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
