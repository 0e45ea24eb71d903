#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for a bounded time
# under AddressSanitizer: scripts/fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=build/fuzz/corpus
mkdir -p "$work/avi" "$work/nmea" "$work/flash" "$work/obd" build/fuzz/artifacts
build/fuzz/fuzz/fuzz_make_seeds "$work/avi"
cp fuzz/corpus/nmea/* "$work/nmea/"
cp fuzz/corpus/flash/* "$work/flash/"
cp fuzz/corpus/obd/* "$work/obd/"

# The camera's header puts the index past offset 14148: inputs must be
# allowed to reach it.
build/fuzz/fuzz/fuzz_avi_extract -max_total_time="$seconds" -max_len=70000 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/avi- "$work/avi"
build/fuzz/fuzz/fuzz_nmea -max_total_time="$seconds" -max_len=1024 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/nmea- "$work/nmea"
# Drive logs: a header and a few hundred records reach every rule.
build/fuzz/fuzz/fuzz_flash_log -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/flash- "$work/flash"
build/fuzz/fuzz/fuzz_obd_log -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/obd- "$work/obd"
