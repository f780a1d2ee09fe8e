#!/usr/bin/env bash
# Builds the Debian source and binary packages with dpkg-buildpackage from a clean copy of
# the tree in build-pkg/, checks them (lintian --pedantic on both, the desktop entries,
# the AppStream metainfo, two users sharing the folder its postinst prepares, its purge,
# what a screen reader is told)
# and prints the path of the .deb as its last line. Installs what is missing, like the
# other scripts.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh --packaging
out=$PWD/build-pkg
version=$(dpkg-parsechangelog -S Version)
tree=$out/quillmoor-$version
rm -rf "$out"
mkdir -p "$tree"
# The working tree as it is, without version control and build folders.
tar -c --exclude=./.git --exclude='./build*' --exclude=./.cache --exclude=./compile_commands.json . | tar -x -C "$tree"
(cd "$tree" && dpkg-buildpackage -us -uc --no-sign >"$out/build.log" 2>&1) || {
    tail -n 40 "$out/build.log"
    exit 1
}
arch=$(dpkg --print-architecture)
deb=$out/quillmoor_${version}_$arch.deb

dpkg-deb -x "$deb" "$out/root"
desktop-file-validate "$out"/root/usr/share/applications/*.desktop "$out"/root/etc/xdg/autostart/*.desktop
appstreamcli validate --no-net "$out"/root/usr/share/metainfo/*.metainfo.xml
lintian --pedantic --fail-on error,warning "$out/quillmoor_${version}_$arch.changes"
# The checks run the programs as other users, who may not enter this folder (a home folder of
# mode 0700, a mktemp -d): they run a copy in a folder every user can read.
programs=$(mktemp -d)
trap 'rm -rf "$programs"' EXIT
cp -a "$out/root/usr/lib/quillmoor/." "$programs/"
chmod -R a+rX "$programs"
scripts/check_shared_folder.sh "$programs"
scripts/check_purge.sh "$programs"
scripts/screen_reader_check.sh "$programs" ${QUILLMOOR_DISPLAY:-}
echo "$deb"
