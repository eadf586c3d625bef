#!/usr/bin/env bash
# Builds the C libraries under the core (libjpeg-turbo, libpng, zlib,
# giflib, ICU's common library and the part of its data the notice needs)
# for WebAssembly with Debian's emscripten, from Debian's source packages of
# the versions this machine's Debian offers, into a cache outside the tree
# that later builds reuse:
#
#   ${XDG_CACHE_HOME:-~/.cache}/zft-toolkit/wasm-<versions>/{include,lib,share}
#
# Prints that folder's path on its last line. The first run needs apt's
# sources (it adds a deb-src entry mirroring the machine's Debian sources)
# and takes some minutes (under ten on two cores); a run that finds the
# folder complete does nothing. One build at a time fills a folder: another
# waits for it (saying so) and takes what it built. A build broken off
# (killed, a full disk) leaves the folder without its mark "complete", and
# the next run goes on from the last library it finished.
set -euo pipefail

jobs=${JOBS:-$(nproc)}
# Raised whenever what is built here changes, so that an old cache is not taken.
recipe=1
packages=(libjpeg-turbo libpng1.6 zlib giflib icu)
declare -A short=([libjpeg-turbo]=jpeg [libpng1.6]=png [zlib]=zlib [giflib]=gif [icu]=icu)

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

# The sources of the machine's Debian, for apt-get source: its deb822 files
# and sources.list lines that name Debian (another vendor's repository may
# serve no sources), with their types changed to deb-src.
source_list=/etc/apt/sources.list.d/zft-toolkit-deb-src.sources
ensure_deb_src() {
    if [ -n "$(apt-cache showsrc --only-source zlib 2>/dev/null | grep '^Version:')" ]; then
        return
    fi
    echo "Adding Debian's source packages to apt ($source_list)" >&2
    local text=""
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -e "$file" ] && [ "$file" != "$source_list" ] || continue
        grep -qi 'debian' "$file" || continue
        text+=$(sed -E 's/^Types:.*/Types: deb-src/' "$file")$'\n\n'
    done
    if [ -f /etc/apt/sources.list ]; then
        while read -r type rest; do
            [ "$type" = deb ] || continue
            # one-line entries become a deb822 stanza each: "[opts] URI suite components..."
            local opts="" uri suite
            if [[ $rest == \[* ]]; then
                opts=${rest%%]*}; opts=${opts#[}; rest=${rest#*] }
            fi
            read -r uri suite components <<<"$rest"
            [[ $uri == *debian* ]] || continue
            text+="Types: deb-src"$'\n'"URIs: $uri"$'\n'"Suites: $suite"$'\n'"Components: $components"$'\n'
            [[ $opts == *signed-by=* ]] && text+="Signed-By: $(sed -E 's/.*signed-by=([^ ]*).*/\1/' <<<"$opts")"$'\n'
            text+=$'\n'
        done </etc/apt/sources.list
    fi
    printf '%s' "$text" | "${sudo[@]}" tee "$source_list" >/dev/null
    # Another apt run holding its lists is waited for, as scripts/dev.sh waits.
    "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 update -qq
}

# The newest version of a source package in a suite other than the security
# suite, whose source files the mirrors do not serve.
main_version() {
    apt-cache madison "$1" | awk -F'|' '$3 ~ /Sources/ && $3 !~ /-security/ {gsub(/ /, "", $2); print $2; exit}'
}

# emscripten's optimizer needs Debian's acorn; programs CMake's checks run
# go to node, which must not try to fetch the .wasm as a URL.
export NODE_PATH=/usr/share/nodejs
export NODE_OPTIONS=--no-experimental-fetch
cflags="-O3 -DNDEBUG -msimd128"
emulator=(-DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/node)

unpack() {  # package → the unpacked source folder
    local folder=$work/src-$1
    if [ ! -d "$folder" ]; then
        # apt checked the files against the archive's signed index; its
        # warning that root downloads unsandboxed is no news.
        (cd "$work" && apt-get source -qq --download-only "$1=${version[$1]}" 2>&1 >/dev/null |
            grep -v 'unsandboxed' >&2) || true
        rm -rf "$folder.new"  # what a run broken off unpacked
        dpkg-source -x --no-check "$work/$1_${version[$1]#*:}.dsc" "$folder.new" >/dev/null || return 1
        mv "$folder.new" "$folder"
    fi
    echo "$folder"
}

# Runs build_NAME unless an earlier run finished it.
step() {
    [ -f "$work/done-$1" ] && return
    "build_$1"
    touch "$work/done-$1"
    echo "$1 built ($((SECONDS - started)) s)" >&2
}

build_zlib() {
    local src
    src=$(unpack zlib)
    (cd "$src" && CFLAGS="$cflags" emconfigure ./configure --static --prefix="$prefix" >/dev/null &&
        emmake make -j"$jobs" libz.a >/dev/null)
    cp "$src/libz.a" "$prefix/lib/"
    cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"
}

build_libpng() {
    local src
    src=$(unpack libpng1.6)
    emcmake cmake -S "$src" -B "$work/png" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="$cflags" "${emulator[@]}" \
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF \
        -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a" \
        -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
    cmake --build "$work/png" -j"$jobs" >/dev/null
    cmake --install "$work/png" >/dev/null
}

# The libjpeg API the decoder uses, and TurboJPEG, which the core's encoder
# uses. Its SIMD is x86 and Arm assembly: none for wasm.
build_libjpeg() {
    local src
    src=$(unpack libjpeg-turbo)
    emcmake cmake -S "$src" -B "$work/jpeg" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="$cflags" "${emulator[@]}" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=ON >/dev/null
    cmake --build "$work/jpeg" -j"$jobs" --target jpeg-static turbojpeg-static >/dev/null
    cp "$work/jpeg/libjpeg.a" "$work/jpeg/libturbojpeg.a" "$prefix/lib/"
    cp "$work/jpeg/jconfig.h" "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$src/turbojpeg.h" "$prefix/include/"
}

# Its library's sources, no build system needed.
build_giflib() {
    local src
    src=$(unpack giflib)
    mkdir -p "$work/gif"
    for name in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize; do
        emcc $cflags -c "$src/$name.c" -o "$work/gif/$name.o"
    done
    rm -f "$prefix/lib/libgif.a"
    emar rcs "$prefix/lib/libgif.a" "$work"/gif/*.o
    cp "$src/gif_lib.h" "$prefix/include/"
}

# ICU's common library, compiled straight (its configure is not needed; an
# object already there is kept), with the data the notice needs beyond what
# ICU compiles in (NFC's data and the character properties are in its code):
# grapheme breaks and the emoji properties they use. The data is compiled in
# as the array ICU looks for when it loads no data file.
build_icu() {
    local src objects=$work/icu
    src=$(unpack icu)/source
    mkdir -p "$objects/items/brkitr" "$objects/data"
    export ICU_SOURCE=$src ICU_OBJECTS=$objects ICU_CFLAGS=$cflags
    printf '%s\n' "$src"/common/*.cpp | xargs -P"$jobs" -I{} sh -c 'object=$ICU_OBJECTS/$(basename "$1" .cpp).o
        [ -f "$object" ] || { em++ -std=c++17 $ICU_CFLAGS -w -DU_COMMON_IMPLEMENTATION -DU_STATIC_IMPLEMENTATION \
            -I"$ICU_SOURCE/common" -c "$1" -o "$object.new" && mv "$object.new" "$object"; }' _ {}
    (
        cd "$objects"
        printf '%s\n' nfkc.nrm uemoji.icu ulayout.icu brkitr/char.brk brkitr/root.res brkitr/res_index.res \
            root.res res_index.res >items.txt
        icupkg -x items.txt -d items "$src/data/in/icudt72l.dat"
        rm -f data/icudt72l.dat
        icupkg --ignore-deps -tl -a items.txt -s items new data/icudt72l.dat
        genccode -d . data/icudt72l.dat >/dev/null
        sed -i 's/\bicudt72l_dat\b/icudt72_dat/' icudt72l_dat.c
        emcc $cflags -I"$src/common" -c icudt72l_dat.c -o icudata.o
    )
    rm -f "$prefix/lib/libicuuc.a"
    emar rcs "$prefix/lib/libicuuc.a" "$objects"/*.o
    cp -r "$src/common/unicode" "$prefix/include/"
    cp "$objects/data/icudt72l.dat" "$prefix/share/"
}

# What pkg-config tells the core's build, as Debian's own packages do.
pc() {  # name, libs, version
    printf 'prefix=%s\nName: %s\nDescription: %s for WebAssembly\nVersion: %s\nCflags: -I${prefix}/include\nLibs: -L${prefix}/lib %s\n' \
        "$prefix" "$1" "$1" "$3" "$2" >"$prefix/lib/pkgconfig/$1.pc"
}

# Builds the libraries into the folder $1 unless it is complete, and prints
# its path. The lock beside it (flock(1)) lets one build at a time in; it
# goes with the process that holds it, however that ends. "complete" is
# written last, once everything is on the disk.
build_into() {
    cache=$1 prefix=$1 work=$1.work
    local lock=$1.lock
    mkdir -p "$(dirname "$cache")"
    exec 9>>"$lock"
    if ! flock -n 9; then
        local holder
        holder=$(cat "$lock")
        echo "Waiting for another build of the C libraries for WebAssembly into $cache${holder:+ (process $holder)}" \
            "to finish; this one then takes what it built" >&2
        flock 9
    fi
    echo "$BASHPID" >"$lock"
    if [ -f "$cache/complete" ]; then
        echo "$cache"
        return
    fi
    echo "Building the C libraries for WebAssembly into $cache (once; some minutes)" >&2
    started=$SECONDS
    # Sources and objects, kept until the cache is complete, so that a build
    # broken off goes on where it stopped.
    mkdir -p "$prefix"/{include,lib/pkgconfig,share} "$work"
    step zlib
    step libpng
    step libjpeg
    step giflib
    step icu
    pc libjpeg -ljpeg "${version[libjpeg-turbo]}"
    pc libturbojpeg -lturbojpeg "${version[libjpeg-turbo]}"
    pc icu-uc -licuuc "${version[icu]}"
    for package in "${packages[@]}"; do
        echo "$package ${version[$package]}"
    done >"$prefix/versions"
    sync
    touch "$prefix/complete"
    rm -rf "$work"
    exec 9>&-
    echo "The C libraries for WebAssembly took $((SECONDS - started)) s" >&2
    echo "$cache"
}

# Sourced (tests/web/build_libs_lock.sh), it only defines the above.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

ensure_deb_src
declare -A version
key="r$recipe-em$(cat /usr/share/emscripten/emscripten-version.txt)"
for package in "${packages[@]}"; do
    version[$package]=$(main_version "$package")
    [ -n "${version[$package]}" ] || { echo "No source package $package in apt's sources" >&2; exit 1; }
    key+="-${short[$package]}${version[$package]#*:}"
done
cache=${XDG_CACHE_HOME:-$HOME/.cache}/zft-toolkit/wasm-$key
# A complete folder is never changed again: no lock needed to take it.
if [ -f "$cache/complete" ]; then
    echo "$cache"
    exit 0
fi
build_into "$cache"
