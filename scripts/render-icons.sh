#!/bin/sh
# Renders the application icon's PNG sizes from its SVG with rsvg-convert
# (Debian package librsvg2-bin). Run after changing the SVG and commit the
# PNGs with it, so that builds need no SVG renderer.
set -eu
cd "$(dirname "$0")/../resources/desktop/icons"

if ! command -v rsvg-convert >/dev/null 2>&1; then
    echo "render-icons: rsvg-convert not found; install the Debian package librsvg2-bin" >&2
    exit 1
fi
for size in 16 24 32 48 64 128 256 512; do
    rsvg-convert -w "$size" -h "$size" org.tamek.Tamek.svg -o "org.tamek.Tamek-$size.png"
done
