#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (preset "fuzz") and runs each of them (the stream
# decoder's, the config.ini reader's and the history axes') for a bounded time.
# Usage: scripts/fuzz.sh [SECONDS]   (default 60, for each target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target framestream_fuzz config_fuzz axis_fuzz
corpus=build/fuzz/corpus/framestream
mkdir -p "$corpus"
# Seed: a live frame, a memory record and a halt frame, with a little line noise.
printf '\x05\x0F\xFF\x00\x07\x12\x02\x53\x0D\x00\x0F\xFD\x42\x0F\xFF\x12\x02\x50\x02\x50\x01\x00\x0F\xFD\x0F\xFF\x99\x99\x99\x99\x99\x99\x99\x0F\xFD' \
    > "$corpus/seed"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    build/fuzz/fuzz/framestream_fuzz -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$corpus"

corpus=build/fuzz/corpus/config
mkdir -p "$corpus"
printf '[Pexumo]\r\nChangeDecimal=$1\r\nFormCaption = Pond 3\r\n; note\r\n' > "$corpus/seed"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    build/fuzz/fuzz/config_fuzz -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 "$corpus"

corpus=build/fuzz/corpus/axis
mkdir -p "$corpus"
# Seed: a flat line of 7 zoomed to one step of a double (7 .. 7 + 2^-50), 6 ticks, an hour at
# UTC+1 from 2026-12-09.
printf '\x00\x00\x00\x00\x00\x00\x1C\x40\x01\x00\x00\x00\x00\x00\x1C\x40\x00\x00\x00\x00\x00\x00\x00\x00\x06\x80\xF2\x07\x5A\xA2\x01\x00\x00\x80\xEE\x36\x00\x00\x00\x00\x00\x10\x0E\x00\x00' \
    > "$corpus/seed"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    build/fuzz/fuzz/axis_fuzz -max_total_time="$seconds" -max_len=64 -print_final_stats=1 "$corpus"
