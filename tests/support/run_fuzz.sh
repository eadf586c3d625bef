#!/usr/bin/env bash
# Builds a fuzz target with clang++ and fuzzes it for SECONDS seconds,
# starting from its seed corpus (the corpus/ folder beside FUZZ_DIR, written
# by the tests) and a dictionary (a *.dict file in FUZZ_DIR) where there is
# one. New inputs go to BUILD_DIR/found, a crashing input to BUILD_DIR/crash-*.
#   run_fuzz.sh FUZZ_DIR BUILD_DIR TARGET [SECONDS]   (CLANGXX picks the compiler)
# scripts/dev.sh fuzz runs it for every target; for one target by hand:
#   tests/support/run_fuzz.sh tests/core/bmp/fuzz /tmp/fuzz-bmp fuzz_bmp 600
set -euo pipefail
fuzz_dir=$(cd "$1" && pwd)
build_dir=$2
target=$3
seconds=${4:-20}

cmake -S "$fuzz_dir" -B "$build_dir" -DCMAKE_CXX_COMPILER="${CLANGXX:-clang++}" >/dev/null
cmake --build "$build_dir" -j2 >/dev/null
mkdir -p "$build_dir/found"
dictionary=()
for dict in "$fuzz_dir"/*.dict; do
    [ -e "$dict" ] && dictionary=(-dict="$dict")
done
# detect_leaks: LeakSanitizer needs ptrace, which containers often forbid. A
# small quarantine keeps a run of millions of inputs inside -rss_limit_mb;
# the targets' sinks refuse pictures past a few megapixels.
export ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=32
exec "$build_dir/$target" \
    -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 -max_len=4096 "${dictionary[@]}" \
    -artifact_prefix="$build_dir/" -print_final_stats=1 \
    "$build_dir/found" "$fuzz_dir/../corpus"
