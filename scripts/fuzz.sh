#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for a bounded time
# under AddressSanitizer: scripts/fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=build/fuzz/corpus
mkdir -p "$work/avi" "$work/nmea" build/fuzz/artifacts
build/fuzz/fuzz/fuzz_make_seeds "$work/avi"
cp fuzz/corpus/nmea/* "$work/nmea/"

# The camera's header puts the index past offset 14148: inputs must be
# allowed to reach it. Memory is bounded: a 70 KB input that needs more
# than 256 MB is a finding, not a slow run.
limits="-rss_limit_mb=256 -malloc_limit_mb=256"
build/fuzz/fuzz/fuzz_avi_extract -max_total_time="$seconds" -max_len=70000 -print_final_stats=1 $limits \
    -artifact_prefix=build/fuzz/artifacts/avi- "$work/avi"
build/fuzz/fuzz/fuzz_nmea -max_total_time="$seconds" -max_len=1024 -print_final_stats=1 $limits \
    -artifact_prefix=build/fuzz/artifacts/nmea- "$work/nmea"
