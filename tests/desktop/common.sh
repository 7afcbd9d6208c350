# Shared by the desktop tests: failure counting, the skip convention and the list of what an
# installation must hold. Sourced, not run.

failures=0
skipped=()

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Returns 0 when the tool is there; otherwise records why the checks that need it are skipped.
need_tool() {
  command -v "$1" >/dev/null 2>&1 && return 0
  skipped+=("$1 not found (Debian package $2): its checks were skipped")
  return 1
}

# Ends the test: 1 on any failure, 77 (skipped) when a tool was missing, else 0.
finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  if [ ${#skipped[@]} -gt 0 ]; then
    printf 'SKIP: %s\n' "${skipped[@]}"
    exit 77
  fi
  echo "all checks passed"
  exit 0
}

icon_sizes=(16 32 48 64 128 256)

# Every file an installation holds, relative to the prefix. Nothing more may be installed.
expected_files() {
  local id=$1
  echo "bin/quorvanta"
  echo "share/applications/$id.desktop"
  echo "share/metainfo/$id.metainfo.xml"
  echo "share/icons/hicolor/scalable/apps/$id.svg"
  for size in "${icon_sizes[@]}"; do
    echo "share/icons/hicolor/${size}x${size}/apps/$id.png"
  done
  echo "share/doc/quorvanta/copyright"
  echo "share/doc/quorvanta/changelog.gz"
  echo "share/man/man1/quorvanta.1.gz"
}

# Compares a sorted list of installed files (stdin) with the expected one. Feed it by redirection,
# not by a pipe: a pipe would run it in a subshell and lose the failure count.
check_file_list() {
  local id=$1 diffs
  diffs=$(diff <(expected_files "$id" | sort) - | grep '^[<>]')
  [ -z "$diffs" ] || fail "installed files differ from the expected ones (< missing, > unexpected):"$'\n'"$diffs"
}
