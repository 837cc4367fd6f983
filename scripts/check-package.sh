#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a build folder (cpack -G DEB), checks its
# fields, its changelog and lintian's verdict, installs it into this machine
# with apt-get, starts the installed program once on the offscreen platform
# with a folder to list, checks what it listed and where it kept its
# settings, and removes the package again.
# Usage: scripts/check-package.sh BUILD_FOLDER
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:?usage: $0 BUILD_FOLDER}" && pwd)
work=$(mktemp -d)
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300)
installed=0
cleanup() {
  if [ "$installed" = 1 ]; then "${apt[@]}" purge qorin >/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "check-package: $*"
  exit 1
}

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null)
deb=$(echo "$work"/out/qorin_*.deb)
[ -f "$deb" ] || fail "cpack made no package"
info=$(dpkg-deb --field "$deb")
for field in Package Version Architecture Maintainer Depends Section Description; do
  grep -q "^$field: ." <<<"$info" || fail "the package has no $field field"
done
grep -q '^Depends: .*libqt6widgets6' <<<"$info" || fail "Depends lacks the Qt libraries: $(grep '^Depends' <<<"$info")"
grep -q '^Depends: .*libavformat' <<<"$info" || fail "Depends lacks libavformat (videos' dates): $(grep '^Depends' <<<"$info")"
[ "$(dpkg-deb --field "$deb" Description | wc -l)" -gt 3 ] || fail "the description has no long part"
version=$(dpkg-deb --field "$deb" Version)
top=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/doc/qorin/changelog.Debian.gz | zcat | head -1)
[[ "$top" == "qorin ($version) "* ]] || fail "packaging/debian/changelog has no entry for $version: $top"

# Debian's policy checks: an error fails, warnings are shown.
lint=0
verdict=$(lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1) || lint=$?
grep -v '^running with root privileges' <<<"$verdict" || true
[ "$lint" = 0 ] || fail "lintian found errors (or could not read the package)"

# One run at a time on a machine that several checkouts test on: each
# installs and removes the same package.
exec 9>"${TMPDIR:-/tmp}/qorin-check-package.lock"
flock -w 900 9 || fail "another run holds the package lock"
# A machine where an earlier run stopped half way may still have it.
if dpkg-query -W -f='${Status}' qorin 2>/dev/null | grep -q "install ok installed"; then
  "${apt[@]}" purge qorin >/dev/null
fi
"${apt[@]}" install "$deb" >/dev/null
installed=1
[ -x /usr/bin/qorin ] || fail "/usr/bin/qorin is missing after the install"
[ -x /usr/libexec/qorin/qorin-media ] || fail "/usr/libexec/qorin/qorin-media (the media worker) is missing"
mkdir -p "$work/media"
touch "$work/media/crash-1.jpg"
worker_said=$(env HOME="$work/media" QORIN_TEST_MEDIA_FAULTS=1 /usr/bin/qorin-cli --date dd --date-source exif \
  "$work/media/crash-1.jpg" 2>&1 || true)
grep -q '文件已损坏' <<<"$worker_said" || fail "the installed qorin-cli does not read through its media worker: $worker_said"

# The smoke start: a folder handed over as "Open with" does; the program
# prints what it listed (QORIN_SELFCHECK) and closes.
folder="$work/音乐 文件夹"
mkdir -p "$folder/sub" "$work/home"
touch "$folder/b.mp3" "$folder/a.txt" "$folder/歌曲.mp3" "$folder/sub/not-listed.txt"
printf '%s\n' "$folder/a.txt" "$folder/b.mp3" "$folder/歌曲.mp3" >"$work/want"
before=$(ls /usr/bin)
(cd "$work" && env -u XDG_CONFIG_HOME -u XDG_STATE_HOME HOME="$work/home" QT_QPA_PLATFORM=offscreen \
  QORIN_SELFCHECK=1 timeout 60 /usr/bin/qorin "$folder" >"$work/got" 2>"$work/stderr") ||
  fail "the installed program failed: $(cat "$work/stderr")"
diff "$work/want" "$work/got" || fail "the installed program listed other files"
[ -f "$work/home/.config/qorin/config.ini" ] || fail "config.ini is not in ~/.config/qorin"
[ "$before" = "$(ls /usr/bin)" ] || fail "the program wrote beside itself in /usr/bin"

"${apt[@]}" purge qorin >/dev/null
installed=0
[ ! -e /usr/bin/qorin ] || fail "/usr/bin/qorin is still there after the removal"
[ ! -e /usr/libexec/qorin ] || fail "/usr/libexec/qorin is still there after the removal"
echo "check-package: $(basename "$deb") built, installed, listed a folder, removed"
