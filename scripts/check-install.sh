#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs a build folder into a scratch prefix and checks the tree file by
# file against packaging/install-manifest.txt, then the kind of each file,
# the desktop entry, the file managers' entries and the AppStream metadata
# with their validators.
# Usage: scripts/check-install.sh BUILD_FOLDER
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: $0 BUILD_FOLDER}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
prefix=$stage/usr
cmake --install "$build" --prefix "$prefix" >/dev/null

want=$(sed -e '/^#/d' -e '/^$/d' packaging/install-manifest.txt | LC_ALL=C sort)
# The command-line program and what goes with it come only with a build that has it.
[ -e "$prefix/bin/qorin-cli" ] || want=$(grep -v 'qorin-cli' <<<"$want")
[ -e "$build/qorin-media" ] || want=$(grep -v 'qorin-media' <<<"$want")
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
if [ -e "$build/qorin-media" ]; then
  # Where platform::helperProgram looks from bin/, and a worker that runs.
  [ -x "$prefix/libexec/qorin/qorin-media" ] || fail "libexec/qorin/qorin-media is not executable"
  "$prefix/libexec/qorin/qorin-media" </dev/null || fail "the media worker does not start"
  # The installed qorin-cli reads through it: its test switch fails a crash- file.
  if [ -e "$prefix/bin/qorin-cli" ]; then
    media=$(mktemp -d)
    touch "$media/crash-1.jpg"
    worker_said=$(env HOME="$media" QORIN_TEST_MEDIA_FAULTS=1 "$prefix/bin/qorin-cli" --date dd --date-source exif \
      "$media/crash-1.jpg" 2>&1 || true)
    rm -rf "$media"
    grep -q '文件已损坏' <<<"$worker_said" || fail "the installed qorin-cli does not read through its media worker: $worker_said"
  fi
fi
for size in 16 32 48 64 128 256; do
  png=share/icons/hicolor/${size}x${size}/apps/$id.png
  kind "$png" | grep -q "^PNG image data, $size x $size," || fail "$png: $(kind "$png")"
done
kind share/icons/hicolor/scalable/apps/$id.svg | grep -q 'SVG' || fail "the SVG icon is no SVG"
for page in share/man/man1/qorin.1.gz share/man/zh_CN/man1/qorin.1.gz; do
  zcat "$prefix/$page" | head -1 | grep -q '^\.TH QORIN 1' || fail "$page is no man page"
done
# gzip -9n keeps no name and no time: the bytes after the flags are zero.
for gz in $(cd "$prefix" && find . -name '*.gz'); do
  [ "$(od -An -tx1 -j3 -N5 "$prefix/$gz" | tr -d ' ')" = 0000000000 ] || fail "$gz keeps a name or time stamp"
done
if [ -e "$prefix/bin/qorin-cli" ]; then
  for page in share/man/man1/qorin-cli.1.gz share/man/zh_CN/man1/qorin-cli.1.gz; do
    zcat "$prefix/$page" | head -1 | grep -q '^\.TH QORIN-CLI 1' || fail "$page is no man page"
  done
  bash -n "$prefix/share/bash-completion/completions/qorin-cli" || fail "the bash completion does not parse"
fi
grep -qx 'Exec=qorin %F' "$prefix/share/applications/$id.desktop" || fail "Exec= does not start qorin with %F"
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || fail "Icon= names another icon"

! grep -q '^MimeType=' "$prefix/share/applications/$id.desktop" ||
  fail "the desktop entry claims file types, so it would open them"

desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"

# The file managers' entries. Dolphin's service menu is a desktop file of
# KDE's own type: the validator's objections to that type (Service, its
# MimeType and Actions keys, KDE's all/allfiles) are expected, any other is not.
menu=share/kio/servicemenus/qorin-rename.desktop
[ -x "$prefix/$menu" ] || fail "$menu is not executable, so Dolphin skips it"
grep -qx 'Exec=qorin %F' "$prefix/$menu" || fail "$menu does not start qorin with %F"
objections=$(desktop-file-validate "$prefix/$menu" 2>&1 |
  grep -v -e 'but the type is "Service" while this key is only valid for type "Application"' \
    -e '"all/allfiles" which is an invalid MIME type: "all" is an unregistered media type' || true)
[ -z "$objections" ] || fail "$menu: $objections"
action=share/nemo/actions/qorin.nemo_action
for line in 'Exec=qorin %F' 'EscapeSpaces=true' 'Selection=notnone' 'Extensions=any;'; do
  grep -qx "$line" "$prefix/$action" || fail "$action lacks $line"
done
ext=$prefix/share/nautilus-python/extensions/qorin.py
PYTHONPYCACHEPREFIX=$stage/pycache python3 -m py_compile "$ext"
python3 scripts/check-nautilus-extension.py "$ext"
for f in "$prefix/$menu" "$prefix/$action"; do
  grep -qx 'Name\[zh_CN\]=用Qorin批量更名' "$f" || fail "$f has no Chinese name"
done

echo "check-install: $(echo "$got" | wc -l) files as listed; desktop entry, file manager entries and metainfo valid"
