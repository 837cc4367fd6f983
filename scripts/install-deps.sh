#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the program and its tests need.
# Idempotent: only missing packages are installed. Uses sudo when not root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config zlib1g-dev
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev libpcre2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-noto-cjk
  python3 python3-mutagen libtag1-dev libexiv2-dev exiv2 python3-piexif python3-pil
  wportuguese wbrazilian wngerman wdutch wfrench wspanish witalian wdanish wswedish wnorwegian
  clang libclang-rt-dev
  desktop-file-utils appstream file dpkg-dev
  g++-mingw-w64-x86-64-posix googletest libz-mingw-w64-dev wine64
  fuse3 exfat-fuse exfatprogs fusefat dosfstools ntfs-3g
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
