#!/bin/sh
# Installs every Debian package the project builds, runs and tests with.
# Idempotent: packages already present are left as they are.
set -eu

PACKAGES="
build-essential cmake ninja-build pkg-config git
clang libclang-rt-14-dev
qt6-base-dev qt6-webengine-dev qt6-webchannel-dev
libvlc-dev vlc-plugin-base libvlc-bin
libcups2-dev cups
dosfstools mtools
xvfb xauth imagemagick libxml2-utils
ffmpeg
libgtest-dev libgmock-dev libbenchmark-dev
libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev libswresample-dev libavutil-dev
nlohmann-json3-dev
appstream desktop-file-utils file dpkg-dev man-db lintian
"
# The map page's script library comes from npm; a machine that already has
# Node.js and npm from elsewhere keeps them (Debian's npm would conflict).
if ! command -v npm >/dev/null 2>&1; then
    PACKAGES="$PACKAGES npm"
fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    echo "install-deps: all packages present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

echo "install-deps: installing$missing"
$SUDO apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
