#!/bin/sh
# Builds and runs the benchmarks (figures, not pass/fail).
set -eu
cd "$(dirname "$0")/.."
cmake --preset dev >/dev/null
cmake --build --preset dev --target media_bench trip_bench cold_extract_bench logs_bench viewer_bench start_bench logs_page_bench clip_bench tamek-demo-card
build/dev/bench/media_bench "$@"
build/dev/bench/trip_bench "$@"
build/dev/bench/logs_bench "$@"
XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp}" build/dev/bench/viewer_bench "$@" 2>/dev/null
XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp}" build/dev/bench/logs_page_bench "$@" 2>/dev/null
# A process per launch; TAMEK_BENCH_APP=<other build>/src/viewer/tamek compares another build.
XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp}" build/dev/bench/start_bench "$@"
# Drops the page cache (root only; skips otherwise).
build/dev/bench/cold_extract_bench "$@"
# tamek-clip against the ffmpeg command line (slow: minutes on 2 cores).
build/dev/bench/clip_bench "$@"
