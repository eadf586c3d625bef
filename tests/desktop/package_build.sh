#!/bin/sh
# The README's package build (preset "package"), configured: Release, no page
# though emscripten be installed, nothing of tests/ or benchmarks/.
set -eu
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$1"
cmake --preset package -B "$scratch" >"$scratch/log" 2>&1 || { cat "$scratch/log"; fail "configuring"; }
grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$scratch/CMakeCache.txt" || fail "not a Release build"
[ ! -e "$scratch/tests" ] && [ ! -e "$scratch/benchmarks" ] || fail "it builds the tests"
! cmake --build "$scratch" --target help | grep -qx '\.\.\. zft_web' || fail "it builds the page"
echo PASS
