#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the screenshots need;
# with --packaging also those that make and check the Debian package, with --screen-reader
# those that read the accessibility bus.
# Does nothing when they are all present, so it is safe to run every time.
set -euo pipefail

packages=(cmake ninja-build g++ pkgconf clang-format qt6-base-dev libqt6svg6 libsqlite3-dev
          libical-dev qtkeychain-qt6-dev radicale xandikos libbenchmark-dev libxtst-dev fonts-liberation2 xvfb xdotool imagemagick xauth
          dbus dbus-daemon)
if [ "${1:-}" = "--packaging" ]; then
    packages+=(dpkg-dev debhelper file librsvg2-bin help2man lintian desktop-file-utils appstream)
elif [ "${1:-}" = "--screen-reader" ]; then
    packages+=(at-spi2-core python3-pyatspi xvfb xdotool dbus-daemon)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
