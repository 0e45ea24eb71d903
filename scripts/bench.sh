#!/bin/sh
# Builds and runs the benchmarks (figures, not pass/fail).
set -eu
cd "$(dirname "$0")/.."
cmake --preset dev >/dev/null
cmake --build --preset dev --target media_bench
build/dev/bench/media_bench "$@"
