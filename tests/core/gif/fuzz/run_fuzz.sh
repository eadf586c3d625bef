#!/usr/bin/env bash
# Builds the GIF decoder's fuzz target with clang++ into BUILD_DIR and fuzzes
# it for SECONDS seconds, starting from the seed corpus that tst_gif wrote
# (tests/core/gif/corpus). New inputs go to BUILD_DIR/found, a crashing
# input to BUILD_DIR/crash-*.
#   run_fuzz.sh BUILD_DIR [SECONDS]      (CLANGXX picks the compiler)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build_dir=$1
seconds=${2:-20}

cmake -S "$here" -B "$build_dir" -DCMAKE_CXX_COMPILER="${CLANGXX:-clang++}" >/dev/null
cmake --build "$build_dir" -j2 >/dev/null
mkdir -p "$build_dir/found"
# detect_leaks: LeakSanitizer needs ptrace, which containers often forbid.
# The sink refuses screens past 4 megapixels, so a picture's canvas stays
# far inside -rss_limit_mb.
export ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=32
exec "$build_dir/fuzz_gif" \
    -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 -max_len=4096 \
    -dict="$here/gif.dict" -artifact_prefix="$build_dir/" -print_final_stats=1 \
    "$build_dir/found" "$here/../corpus"
