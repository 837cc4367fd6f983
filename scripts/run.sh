#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQORIN_BUILD_TESTS=OFF
cmake --build build -j"$(nproc)" --target qorin
exec build/qorin
