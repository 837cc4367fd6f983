#!/bin/sh
# Builds the tag fuzz target with clang and runs it for SECONDS (default 30)
# on a copy of the seed corpus.
set -eu
seconds=${1:-30}
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
build=${QORIN_FUZZ_BUILD:-$top/build-fuzz}
CXX=${CXX:-clang++} cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQORIN_BUILD_GUI=OFF -DQORIN_BUILD_TESTS=OFF -DQORIN_BUILD_FUZZ=ON -DQORIN_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target tags_fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/corpus/* "$work"/
"$build"/fuzz/tags_fuzz -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=1024 "$work"
