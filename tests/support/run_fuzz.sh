#!/usr/bin/env bash
# Builds a fuzz target with clang++ and fuzzes it for SECONDS seconds,
# starting from its seed corpus (the corpus/ folder beside FUZZ_DIR, written
# by the tests) and a dictionary (a *.dict file in FUZZ_DIR) where there is
# one. New inputs go to BUILD_DIR/found, an input that crashed the target,
# hung it or took too much memory to BUILD_DIR/crash-*, timeout-* or oom-*,
# libFuzzer's log to BUILD_DIR/fuzz.log. Ends with one line saying what it
# fuzzed and what it found; exits 0 when the target ran and kept its
# promises, 1 when it found an input that breaks it, 2 when it does not build.
#   run_fuzz.sh FUZZ_DIR BUILD_DIR TARGET [SECONDS]   (CLANGXX picks the compiler)
# scripts/dev.sh fuzz runs it for every target; for one target by hand:
#   tests/support/run_fuzz.sh tests/core/bmp/fuzz /tmp/fuzz-bmp fuzz_bmp 600
# and an input found, again: BUILD_DIR/TARGET BUILD_DIR/crash-...
set -uo pipefail
fuzz_dir=$(cd "$1" && pwd) || exit 2
build_dir=$2
target=$3
seconds=${4:-20}
mkdir -p "$build_dir/found"
log=$build_dir/fuzz.log

if ! { cmake -S "$fuzz_dir" -B "$build_dir" -DCMAKE_CXX_COMPILER="${CLANGXX:-clang++}" &&
       cmake --build "$build_dir" -j2; } >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    echo "$target: does not build (the whole of it in $log)"
    exit 2
fi
dictionary=()
for dict in "$fuzz_dir"/*.dict; do
    [ -e "$dict" ] && dictionary=(-dict="$dict")
done
findings() { find "$build_dir" -maxdepth 1 \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \) | sort; }
before=$(findings)
# detect_leaks: LeakSanitizer needs ptrace, which containers often forbid. A
# small quarantine keeps a run of millions of inputs inside -rss_limit_mb;
# the targets' sinks refuse pictures past a few megapixels.
ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=32 "$build_dir/$target" \
    -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 -max_len=4096 "${dictionary[@]}" \
    -artifact_prefix="$build_dir/" -print_final_stats=1 \
    "$build_dir/found" "$fuzz_dir/../corpus" >>"$log" 2>&1
status=$?

# libFuzzer's own lines: "#N INITED ... corp: 17/9435b", "#N DONE ... corp:
# 380/60Kb", and the final statistics.
final() { sed -n "s/^stat::$1: *//p" "$log" | tail -n 1; }
corpus() { grep -E "^#[0-9]+[[:space:]]+$1 " "$log" | tail -n 1 | sed -n 's/.* corp: \([0-9]*\).*/\1/p'; }
runs=$(final number_of_executed_units)
new=$(comm -13 <(echo "$before") <(findings) | sed '/^$/d')
if [ -n "$new" ]; then
    # What broke, and the top of its stack.
    awk '/^broken:|ERROR: |runtime error:|^SUMMARY/ { print; frames = 4; next } frames && /^ +#[0-9]/ { print; frames-- }' "$log" >&2
    echo "$target: ${runs:-0} runs, FOUND $(echo "$new" | wc -l) input(s) that break it: $(echo $new) (again: $build_dir/$target FILE)"
    exit 1
fi
if [ "$status" -ne 0 ]; then
    tail -n 20 "$log" >&2
    echo "$target: did not run through (exit $status; the whole of it in $log)"
    exit 1
fi
echo "$target: ${runs:-0} runs in $seconds s, corpus $(corpus INITED) -> $(corpus DONE) inputs," \
    "$(final new_units_added) new ones kept in $build_dir/found, nothing found"
