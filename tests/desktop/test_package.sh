#!/usr/bin/env bash
# Builds the Debian package with CPack into a scratch folder and checks its control fields and
# contents: name, version, section, the runtime dependencies a fresh system needs, and that every
# file lands under /usr.
# Usage: test_package.sh BUILD_DIR CPACK APP_ID VERSION
set -uo pipefail
build=$1 cpack=$2 id=$3 version=$4
. "$(dirname "$0")/common.sh"

need_tool dpkg-deb dpkg || finish
out_dir=$(mktemp -d)
trap 'rm -rf "$out_dir"' EXIT
if ! out=$(cd "$build" && "$cpack" -G DEB -B "$out_dir" 2>&1); then
  echo "$out"
  echo "FAIL: cpack -G DEB failed"
  exit 1
fi
debs=("$out_dir"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one .deb, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}
field() { dpkg-deb --field "$deb" "$1"; }

[ "$(field Package)" = quorvanta ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', expected $version"
[ "$(field Section)" = graphics ] || fail "Section is '$(field Section)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(basename "$deb")" = "quorvanta_${version}_$(field Architecture).deb" ] || fail "file name $(basename "$deb")"
field Description | sed -n 2p | grep -q . || fail "Description has no long text"
depends=$(field Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')
twice=$(sort <<<"$depends" | uniq -d)
[ -z "$twice" ] || fail "Depends names a package twice: $twice ($(field Depends))"
for package in libqt6widgets6 libqt6gui6 libqt6core6 libwebp7 libwebpmux3 libwebpdemux2 \
    qt6-image-formats-plugins; do
  grep -qx "$package" <<<"$depends" || fail "Depends lacks $package: $(field Depends)"
done

# Data paths look like ./usr/share/...; directories end in '/'.
files=$(dpkg-deb --contents "$deb" | awk '{print $6}' | grep -v '/$')
outside=$(grep -v '^\./usr/' <<<"$files")
[ -z "$outside" ] || fail "files outside /usr: $outside"
check_file_list "$id" < <(sed 's:^\./usr/::' <<<"$files" | sort)

# What Debian's package checker finds; errors fail, warnings are shown.
if need_tool lintian lintian; then
  report=$(lintian --tag-display-limit 0 "$deb" 2>/dev/null)
  [ -z "$report" ] || echo "$report"
  errors=$(grep '^E:' <<<"$report")
  [ -z "$errors" ] || fail "lintian reports errors:"$'\n'"$errors"
fi
finish
