#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian/Ubuntu packages that are missing.
#   scripts/install-deps.sh run    what building and running the program needs
#   scripts/install-deps.sh test   that and what every test and check needs
# Idempotent: only missing packages are installed. Uses sudo when not root.
# One package a line, so lists from different branches merge cleanly.
set -euo pipefail

run_packages=(
  # compiler and build
  build-essential
  cmake
  pkg-config
  # libraries
  zlib1g-dev
  libpcre2-dev
  libicu-dev
  libopencc-dev
  libopencc-data
  libtag1-dev
  libexiv2-dev
  libavformat-dev
  qt6-base-dev
  qt6-base-dev-tools
  libgl-dev
  # Qt's own Chinese texts and a face for Chinese text
  qt6-translations-l10n
  fonts-noto-cjk
)

test_packages=(
  # unit and window tests, benchmarks
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  xvfb
  xauth
  # tag and layer checks, tags written by other programs
  python3
  python3-mutagen
  python3-piexif
  python3-pil
  exiv2
  # videos for the recording dates
  ffmpeg
  # the command-line renamers qorin-cli is timed against
  rename
  mmv
  # the text detection tests' word lists
  wportuguese
  wbrazilian
  wngerman
  wdutch
  wfrench
  wspanish
  witalian
  wdanish
  wswedish
  wnorwegian
  # sanitizers and fuzzing
  clang
  libclang-rt-dev
  # the install tree and the Debian package
  desktop-file-utils
  appstream
  file
  dpkg-dev
  lintian
  # the core built for Windows and run under wine
  g++-mingw-w64-x86-64-posix
  googletest
  libz-mingw-w64-dev
  wine64
  # file systems through FUSE
  fuse3
  exfat-fuse
  exfatprogs
  fusefat
  dosfstools
  ntfs-3g
)

case "${1:-}" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac

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
