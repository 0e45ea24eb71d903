#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for a bounded time
# under AddressSanitizer: scripts/fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=build/fuzz/corpus
mkdir -p "$work/avi" "$work/nmea" "$work/flash" "$work/obd" "$work/trip" build/fuzz/artifacts
build/fuzz/fuzz/fuzz_make_seeds "$work/avi"
cp fuzz/corpus/nmea/* "$work/nmea/"
cp fuzz/corpus/flash/* "$work/flash/"
cp fuzz/corpus/obd/* "$work/obd/"
cp fuzz/corpus/trip/* "$work/avi/"* "$work/trip/"

# The camera's header puts the index past offset 14148: inputs must be
# allowed to reach it. Memory is bounded, so a blow-up is a finding, not a
# slow run: the largest allocation a well-formed 70 KB input needs is under
# 1 MB (the lined-up list), while an index listing one GPS record thousands
# of times asks for 50 MB at once.
# AddressSanitizer keeps 256 MB of freed memory in quarantine by default,
# which alone would reach the limit; 16 MB still catches use after free of
# the small buffers here.
limits="-rss_limit_mb=256 -malloc_limit_mb=32"
ASAN_OPTIONS="quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export ASAN_OPTIONS
build/fuzz/fuzz/fuzz_avi_extract -max_total_time="$seconds" -max_len=70000 -print_final_stats=1 $limits \
    -artifact_prefix=build/fuzz/artifacts/avi- "$work/avi"
build/fuzz/fuzz/fuzz_nmea -max_total_time="$seconds" -max_len=1024 -print_final_stats=1 $limits \
    -artifact_prefix=build/fuzz/artifacts/nmea- "$work/nmea"
# Drive logs: a header and a few hundred records reach every rule.
build/fuzz/fuzz/fuzz_flash_log -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/flash- "$work/flash"
build/fuzz/fuzz/fuzz_obd_log -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/obd- "$work/obd"
# Track CSV read back and the health check on the same bytes: the AVI seeds
# reach the index, the CSV seed the reader.
build/fuzz/fuzz/fuzz_trip_files -max_total_time="$seconds" -max_len=70000 -print_final_stats=1 $limits \
    -artifact_prefix=build/fuzz/artifacts/trip- "$work/trip"
