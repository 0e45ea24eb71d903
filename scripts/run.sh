#!/bin/sh
# Installs what is needed, builds, and opens the viewer: on the folder given
# as argument, else the last folder opened, else the demo card the build
# generates in build/dev/demo. Viewer options (e.g. --play) pass through.
set -eu
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev

viewer=build/dev/src/viewer/tamek
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running the viewer on a virtual X server (xvfb-run)." >&2
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$viewer" "$@"
fi
exec "$viewer" "$@"
