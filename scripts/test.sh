#!/bin/sh
# Installs what is needed, builds, and runs every test: the normal build,
# the core libraries under AddressSanitizer + UndefinedBehaviorSanitizer,
# the Debian package (built and run from a scratch root), and a short
# fuzzing run of each fuzz target.
set -eu
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR="$(mktemp -d)"
    export XDG_RUNTIME_DIR
fi
chmod 700 "$XDG_RUNTIME_DIR"

echo "== normal build"
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev -j2

echo "== Debian package"
sh scripts/package-check.sh

echo "== core libraries under sanitizers"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j2

echo "== fuzzing"
sh scripts/fuzz.sh "${TAMEK_FUZZ_SECONDS:-20}"
