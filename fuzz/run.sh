#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang and runs each on a copy of its seed
# corpus for its share of SECONDS (default 30 for all of them together).
set -eu
seconds=${1:-30}
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
build=${QORIN_FUZZ_BUILD:-$top/build-fuzz}
targets="tags_fuzz ini_fuzz rules_fuzz"
# QORIN_FUZZ_BUILT=1: the targets are already built in $build (the
# sanitizers' build makes them too).
if [ -z "${QORIN_FUZZ_BUILT:-}" ]; then
  CXX=${CXX:-clang++} cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQORIN_BUILD_GUI=OFF -DQORIN_BUILD_TESTS=OFF -DQORIN_BUILD_FUZZ=ON -DQORIN_WERROR=ON >/dev/null
  # shellcheck disable=SC2086
  cmake --build "$build" -j2 --target $targets
fi
share=$((seconds / 3))
[ "$share" -ge 1 ] || share=1
# On tmpfs where there is one: the INI target saves a file on every input.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in $targets; do
  name=${target%_fuzz}
  case $name in
    tags) max=65536 ;;
    ini) max=4096 ;;
    *) max=1024 ;;
  esac
  mkdir "$work/$name"
  cp "$here/corpus/$name"/* "$work/$name"/
  # Quiet when nothing is found; the whole log (and the input, kept in the
  # build folder) when something is.
  if ! TMPDIR=$work "$build/fuzz/$target" -max_total_time="$share" -max_len="$max" -rss_limit_mb=1024 \
    -artifact_prefix="$build/$name-" "$work/$name" >"$work/$name.log" 2>&1; then
    cat "$work/$name.log"
    exit 1
  fi
  echo "$target: $(tail -n 1 "$work/$name.log")"
done
