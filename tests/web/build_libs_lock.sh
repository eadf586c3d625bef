#!/usr/bin/env bash
# web/build-libs.sh's lock, over stand-ins for the libraries' builds: of two
# builds at once into one folder, the second says that it waits for the
# first, builds nothing, and prints the folder the first completed.
set -euo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# shellcheck source=../../web/build-libs.sh
source "$1"
declare -A version=([libjpeg-turbo]=1 [libpng1.6]=1 [zlib]=1 [giflib]=1 [icu]=1)

# Polls the shell command $2 for at most $1 seconds.
within() { timeout "$1" bash -c "until $2; do sleep 0.1; done"; }
# zlib's stand-in keeps the first build at work until the test says "go".
for library in zlib libpng libjpeg giflib icu; do
    eval "build_$library() { echo $library >>$scratch/built; [ $library != zlib ] || within 60 '[ -e $scratch/go ]'; }"
done

folder=$scratch/wasm
(build_into "$folder" >"$scratch/first" 2>&1) &
first=$!
within 30 "grep -qs zlib $scratch/built" || fail "the first build never began: $(cat "$scratch/first")"
[ ! -e "$folder/complete" ] || fail "the folder is marked complete before its libraries are built"
(build_into "$folder" >"$scratch/second" 2>&1) &
within 30 "grep -q 'Waiting for another build .* (process $first) to finish' $scratch/second" ||
    fail "the second build does not say it waits for the first: $(cat "$scratch/second")"
touch "$scratch/go"
wait "$first" && wait $! || fail "a build failed: $(cat "$scratch/first" "$scratch/second")"
[ "$(tail -n1 "$scratch/first") $(tail -n1 "$scratch/second")" = "$folder $folder" ] ||
    fail "the builds printed: $(cat "$scratch/first" "$scratch/second")"
[ "$(tr '\n' ' ' <"$scratch/built")" = "zlib libpng libjpeg giflib icu " ] ||
    fail "two builds at once built: $(cat "$scratch/built")"
[ -f "$folder/complete" ] && [ ! -e "$folder.work" ] || fail "the folder is not complete, or its work folder stayed"
echo "PASS"
