#!/bin/sh
# Installs what is needed, builds, and shows the telemetry of the generated
# demo card (or of the recordings given as arguments).
set -eu
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev

if [ "$#" -eq 0 ]; then
    set -- $(find build/dev/demo -name '*_[FR].avi' | sort)
fi
exec build/dev/tools/telemetry/tamek-telemetry "$@"
