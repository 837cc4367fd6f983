#!/usr/bin/env bash
# Installs a build folder into a scratch prefix and checks the tree file by
# file against packaging/install-manifest.txt, then the kind of each file and
# the desktop entry and AppStream metadata with their validators.
# Usage: scripts/check-install.sh BUILD_FOLDER
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: $0 BUILD_FOLDER}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
prefix=$stage/usr
cmake --install "$build" --prefix "$prefix" >/dev/null

want=$(sed -e '/^#/d' -e '/^$/d' packaging/install-manifest.txt | LC_ALL=C sort)
got=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
if [ "$want" != "$got" ]; then
  echo "check-install: the installed files differ from packaging/install-manifest.txt (< listed, > installed):"
  diff <(echo "$want") <(echo "$got") || true
  exit 1
fi

fail() {
  echo "check-install: $*"
  exit 1
}
kind() { file -b "$prefix/$1"; }
id=org.qorin.Qorin
[ -x "$prefix/bin/qorin" ] || fail "bin/qorin is not executable"
kind bin/qorin | grep -q '^ELF .* executable' || fail "bin/qorin: $(kind bin/qorin)"
for size in 16 32 48 64 128 256; do
  png=share/icons/hicolor/${size}x${size}/apps/$id.png
  kind "$png" | grep -q "^PNG image data, $size x $size," || fail "$png: $(kind "$png")"
done
kind share/icons/hicolor/scalable/apps/$id.svg | grep -q 'SVG' || fail "the SVG icon is no SVG"
for page in share/man/man1/qorin.1.gz share/man/zh_CN/man1/qorin.1.gz; do
  zcat "$prefix/$page" | head -1 | grep -q '^\.TH QORIN 1' || fail "$page is no man page"
done
grep -qx 'Exec=qorin %F' "$prefix/share/applications/$id.desktop" || fail "Exec= does not start qorin with %F"
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || fail "Icon= names another icon"

desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
echo "check-install: $(echo "$got" | wc -l) files as listed; desktop entry and metainfo valid"
