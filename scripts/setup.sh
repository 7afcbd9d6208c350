#!/usr/bin/env bash
# Installs the Debian packages Quorvanta needs to build, run and test, on any Debian 12 system down to
# a minimal one (debootstrap's default set plus sudo and git). Safe to run again: it installs only
# what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-image-formats-plugins libgl-dev fonts-dejavu-core
  libwebp-dev webp libgif-dev
  imagemagick netpbm libimage-exiftool-perl
  xvfb xauth x11-utils xdotool
  desktop-file-utils appstream
  dpkg-dev file lintian
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  # sudo resets the environment, so the variable is set inside it.
  as_root=(env DEBIAN_FRONTEND=noninteractive)
  [ "$(id -u)" -eq 0 ] || as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
  "${as_root[@]}" apt-get update
  "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
