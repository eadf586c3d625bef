#!/usr/bin/env bash
# Builds the page into BUILD/web/site (BUILD is build/ unless given): the C
# libraries once into their cache (web/build-libs.sh), the core and the
# module with emscripten in BUILD/web/wasm, then the page's files beside
# them. Everything in the site folder is what a web server serves.
#   web/build.sh [BUILD]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
build=$(mkdir -p "${1:-$top/build}" && cd "${1:-$top/build}" && pwd)
jobs=${JOBS:-$(nproc)}

libs=$("$here/build-libs.sh" | tail -n 1)

# emscripten's optimizer needs Debian's acorn.
export NODE_PATH=/usr/share/nodejs
wasm=$build/web/wasm
if [ ! -f "$wasm/CMakeCache.txt" ] || ! grep -q "^ZFT_WASM_LIBS:PATH=$libs\$" "$wasm/CMakeCache.txt"; then
    emcmake cmake -S "$here" -B "$wasm" -DCMAKE_BUILD_TYPE=Release -DZFT_WASM_LIBS:PATH="$libs" \
        -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/node >/dev/null
fi
cmake --build "$wasm" -j"$jobs"

site=$build/web/site
rm -rf "$site.new"
mkdir -p "$site.new"
cp "$here"/{index.html,page.css,page.js,decoder.js,zft.js,manifest.webmanifest} "$site.new/"
cp "$wasm"/zft-core.{js,wasm} "$site.new/"
cp "$top"/assets/{icon.png,icon-192.png,icon-512.png} "$site.new/"
# The service worker keeps every file of the site, in a cache named after
# their contents, so that a new build replaces what browsers keep.
files=$(cd "$site.new" && ls | sort)
digest=$(cd "$site.new" && cat $files "$here/sw.js" | sha256sum | cut -c1-16)
list=$(printf '"./",'; for f in $files; do printf '"%s",' "$f"; done)
sed -e "s|@DIGEST@|$digest|" -e "s|@FILES@|${list%,}|" "$here/sw.js" >"$site.new/sw.js"
rm -rf "$site"
mv "$site.new" "$site"
echo "The page is in $site"
