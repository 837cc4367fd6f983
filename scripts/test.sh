#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything with warnings as errors and
# runs every test (windows on Qt's offscreen platform).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
python3 scripts/check-layers.py
# Every source names its licence (scripts/spdx.py adds the line).
python3 scripts/spdx.py --check
# Benchmarks do not gate CI and are left out of this build to keep it short;
# build them with -DQORIN_BUILD_BENCH=ON.
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORIN_WERROR=ON -DQORIN_BUILD_TESTS=ON \
  -DQORIN_BUILD_BENCH=OFF
cmake --build build-test -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-test --output-on-failure -j"$(nproc)" --timeout 600
scripts/sanitize.sh
# The install tree, the Debian package (installed, started once, removed),
# and the core suite built for Windows and run under wine.
scripts/check-install.sh build-test
scripts/check-package.sh build-test
scripts/test-windows.sh build-windows
if [ -x fuzz/run.sh ]; then
  if [ -x build-san/fuzz/tags_fuzz ]; then
    QORIN_FUZZ_BUILD=$PWD/build-san QORIN_FUZZ_BUILT=1 fuzz/run.sh 30
  else
    fuzz/run.sh 30
  fi
fi
