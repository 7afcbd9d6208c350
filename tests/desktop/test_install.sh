#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that a desktop finds what it needs there:
# the program, its desktop entry, icons at every size and AppStream metadata that agree with each
# other, accepted by desktop-file-validate and appstreamcli.
# Usage: test_install.sh BUILD_DIR CMAKE APP_ID VERSION
set -uo pipefail
build=$1 cmake=$2 id=$3 version=$4
. "$(dirname "$0")/common.sh"

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
if ! out=$("$cmake" --install "$build" --prefix "$prefix" 2>&1); then
  echo "$out"
  echo "FAIL: cmake --install failed"
  exit 1
fi

check_file_list "$id" < <(cd "$prefix" && find . -type f -printf '%P\n' | sort)
[ -x "$prefix/bin/quorvanta" ] || fail "bin/quorvanta is not executable"

# Each PNG must be a PNG of the size its folder names (width and height are bytes 16..23).
for size in "${icon_sizes[@]}"; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
  [ -f "$png" ] || continue
  header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
  expected=$(printf '89504e470d0a1a0a0000000d49484452%08x%08x' "$size" "$size")
  [ "$header" = "$expected" ] || fail "$png is not a ${size}x${size} PNG"
done

desktop="$prefix/share/applications/$id.desktop"
metainfo="$prefix/share/metainfo/$id.metainfo.xml"
key() { sed -n "s/^$1=//p" "$desktop"; }

if [ -f "$desktop" ]; then
  exec_program=$(key Exec | cut -d' ' -f1)
  [ -x "$prefix/bin/$exec_program" ] || fail "Exec names '$exec_program', which is not installed in bin/"
  key Exec | grep -Eq ' %[fFuU]( |$)' || fail "Exec takes no file argument"
  [ "$(key Icon)" = "$id" ] || fail "Icon is '$(key Icon)', expected $id"
  for category in Graphics Viewer; do
    key Categories | tr ';' '\n' | grep -qx "$category" || fail "Categories lacks $category"
  done
  # The formats the picture import reads; a desktop offers the program only for the types listed.
  for type in webp png jpeg bmp gif tiff x-tga x-targa x-pcx x-ilbm x-portable-anymap \
      x-portable-pixmap x-portable-graymap x-portable-bitmap x-xbitmap x-xpixmap; do
    key MimeType | tr ';' '\n' | grep -qx "image/$type" || fail "MimeType lacks image/$type"
  done
fi

if [ -f "$metainfo" ]; then
  tag() { sed -n "s:.*<$1[^>]*>\(.*\)</$1>.*:\1:p" "$metainfo" | head -1; }
  [ "$(tag id)" = "$id" ] || fail "metainfo id is '$(tag id)', expected $id"
  [ "$(tag launchable)" = "$id.desktop" ] || fail "metainfo launchable '$(tag launchable)' is not $id.desktop"
  [ -x "$prefix/bin/$(tag binary)" ] || fail "metainfo provides binary '$(tag binary)', which is not installed"
  newest=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -1)
  [ "$newest" = "$version" ] || fail "newest release in metainfo is '$newest', the project is $version"
fi

if need_tool desktop-file-validate desktop-file-utils; then
  if ! out=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$out" ]; then
    fail "desktop-file-validate: $out"
  fi
fi
if need_tool appstreamcli appstream; then
  out=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
  out=$(appstreamcli validate-tree --no-net --no-color "$prefix" 2>&1) || fail "appstreamcli validate-tree: $out"
fi
finish
