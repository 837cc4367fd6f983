#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the windows to docs/*.png on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DQORIN_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target qorin_screenshot
tmp=$(mktemp -d)
QT_QPA_PLATFORM=offscreen build/qorin_screenshot "$tmp"
cp "$tmp/main-window.png" docs/main-window.png
rm -rf "$tmp"
echo "docs/main-window.png written"
