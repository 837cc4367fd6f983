#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiles the Qt-free core and its tests for 64-bit Windows with
# MinGW-w64 and runs them under wine. Debian builds no PCRE2 for Windows: its
# Debian sources are fetched once with apt-get source (through lists of our
# own, leaving the system's apt set-up alone) and built into BUILD/deps.
# Usage: scripts/test-windows.sh [BUILD_FOLDER]   (default build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(mkdir -p "${1:-build-windows}" && cd "${1:-build-windows}" && pwd)
deps=$build/deps
toolchain=$PWD/cmake/mingw-w64-x86_64.cmake

if [ ! -f "$deps/lib/pkgconfig/libpcre2-8.pc" ]; then
  . /etc/os-release
  case "${ID:-debian}" in
    ubuntu) mirror=http://archive.ubuntu.com/ubuntu ;;
    *) mirror=http://deb.debian.org/debian ;;
  esac
  apt=$build/apt
  rm -rf "$apt" "$build/pcre2"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$build/pcre2"
  echo "deb-src $mirror ${VERSION_CODENAME:?} main" >"$apt/sources.list"
  opts=(-q -o "Dir::Etc::SourceList=$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache")
  [ "$(id -u)" -ne 0 ] || opts+=(-o APT::Sandbox::User=root)
  apt-get "${opts[@]}" update >/dev/null
  (cd "$build/pcre2" && apt-get "${opts[@]}" source pcre2 >/dev/null 2>&1)
  src=$(echo "$build"/pcre2/pcre2-*/)
  cmake -S "$src" -B "$build/pcre2/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_SHARED_LIBS=OFF -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2GREP=OFF \
    -DPCRE2_BUILD_TESTS=OFF -DPCRE2_SUPPORT_JIT=ON >/dev/null
  cmake --build "$build/pcre2/build" -j"$(nproc)" >/dev/null
  cmake --install "$build/pcre2/build" >/dev/null
  # A static PCRE2 on Windows must be declared so to the code that uses it.
  sed -i 's|^Cflags: .*|& -DPCRE2_STATIC|' "$deps/lib/pkgconfig/libpcre2-8.pc"
  rm -rf "$apt" "$build/pcre2"
fi

# -O1 without debug information: about two thirds of the compile time of
# RelWithDebInfo, on a machine that builds the Linux program as well.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQORIN_MINGW_DEPS="$deps" \
  -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS=-O1 -DQORIN_BUILD_GUI=OFF -DQORIN_BUILD_TESTS=ON -DQORIN_WERROR=ON -DQORIN_TAGLIB=OFF -DQORIN_EXIV2=OFF -DQORIN_AVFORMAT=OFF \
  >/dev/null
cmake --build "$build" -j"$(nproc)" --target core_tests

# A wine prefix of its own; no Mono or Gecko is needed or asked for.
export WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ctest --test-dir "$build" --output-on-failure
