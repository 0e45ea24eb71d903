#!/bin/sh
# Installs the map page's script library (Leaflet, pinned) with npm into
# DIR/node_modules, DIR being $1 or build/web of the source tree.
# Idempotent: an install of the pinned version is left as it is, so a
# configure without network works once the files are there.
# Prints the folder holding leaflet.js, leaflet.css and images/ on stdout.
set -eu

LEAFLET_VERSION=1.9.4

root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build/web}"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
dist="$dir/node_modules/leaflet/dist"

installed_version() {
    # The version field of the installed package.json, or nothing.
    sed -n 's/^[[:space:]]*"version":[[:space:]]*"\([^"]*\)".*/\1/p' \
        "$dir/node_modules/leaflet/package.json" 2>/dev/null | head -n 1
}

complete() {
    [ "$(installed_version)" = "$LEAFLET_VERSION" ] &&
        [ -f "$dist/leaflet.js" ] && [ -f "$dist/leaflet.css" ] &&
        [ -f "$dist/images/marker-icon.png" ]
}

if ! complete; then
    if ! command -v npm >/dev/null 2>&1; then
        echo "fetch-web-deps: npm not found; install the Debian package npm" >&2
        exit 1
    fi
    echo "fetch-web-deps: installing leaflet@$LEAFLET_VERSION into $dir" >&2
    # --prefix keeps the install inside DIR whatever package.json lies above it.
    npm install --prefix "$dir" --no-save --no-package-lock --no-audit --no-fund \
        --loglevel=error "leaflet@$LEAFLET_VERSION" >&2
    if ! complete; then
        echo "fetch-web-deps: npm did not leave leaflet@$LEAFLET_VERSION in $dist" >&2
        exit 1
    fi
fi

echo "$dist"
