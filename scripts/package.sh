#!/usr/bin/env bash
# Builds Quillmoor for release in build-pkg/, makes the Debian package with CPack, checks
# it (lintian, the desktop entry, the AppStream metainfo, two users sharing the folder its
# postinst prepares) and prints the path of the .deb as its last line. Installs what is
# missing, like the other scripts.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh --packaging
build=build-pkg
if [ ! -f "$build/build.ninja" ]; then
    # Debian's hardening flags, as a package built by Debian's own tools gets them.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DQUILLMOOR_PACKAGE=ON -DQUILLMOOR_TESTS=OFF -DQUILLMOOR_BENCHMARKS=OFF
fi
cmake --build "$build"
scripts/check_shared_folder.sh "$build/bin"

out=$PWD/$build/deb
rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
deb=$(echo "$out"/quillmoor_*.deb)

dpkg-deb -x "$deb" "$out/root"
desktop-file-validate "$out"/root/usr/share/applications/*.desktop "$out"/root/etc/xdg/autostart/*.desktop
appstreamcli validate --no-net "$out"/root/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error "$deb"
echo "$deb"
