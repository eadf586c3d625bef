#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   scripts/dev.sh run    installs what the program needs, builds it, starts it
#                         (on a display)
#   scripts/dev.sh test   installs what is missing, builds everything (every
#                         host's plug-in, the tests and the page), runs every test
#   scripts/dev.sh web [--build-only]
#                         installs what is missing, builds the page into
#                         build/web/site and serves it on 127.0.0.1:8000
#                         (ZFT_WEB_PORT), unless --build-only
#   scripts/dev.sh fuzz [SECONDS]
#                         installs clang, fuzzes every fuzz target for SECONDS
#                         (default 60) each, under AddressSanitizer and UBSan,
#                         says what each ran and found, and fails when one
#                         does not build or an input breaks it
# Each can be run again at no cost: apt is asked only for missing packages,
# and the builds are incremental.
set -euo pipefail

build_packages=(
    cmake g++ make pkg-config qt6-base-dev fonts-dejavu-core
    bash-completion  # where zft's completion goes
    libturbojpeg0-dev libjpeg62-turbo-dev libgif-dev libpng-dev  # the picture decoders
    libicu-dev  # the notice's Unicode rules
    libxcb1-dev  # naming windows on X11
    dpkg-dev file  # the Debian packages: dpkg-shlibdeps finds their dependencies
)
# Each host's plug-in is built where its packages are (the build's summary
# says which); `test` builds and tests them all.
host_packages=(
    qtbase5-dev  # the image plugin for Qt 5 programs
    libgdk-pixbuf-2.0-dev  # the gdk-pixbuf loader
    libgimp2.0-dev libmagickcore-6.q16-dev  # the GIMP plug-in, the ImageMagick coder
    pybind11-dev python3-dev  # pillow_zft, for Debian's python3
)
all_hosts=(-DZFT_QT6_PLUGIN=ON -DZFT_QT5_PLUGIN=ON -DZFT_PIXBUF=ON -DZFT_GIMP=ON -DZFT_MAGICK=ON -DZFT_PYTHON=ON)
test_packages=(
    libjpeg-turbo-progs  # djpeg: the independent JPEG decoder the tests compare against
    xvfb xdotool imagemagick x11-utils  # the end-to-end tests in a real X server
    qt6-gtk-platformtheme  # ... under GNOME's and Xfce's look, with GTK's file dialog
    at-spi2-core python3-pyatspi dbus-daemon dbus-bin  # ... as assistive technologies see them
    weston qt6-wayland  # ... under Wayland
    shared-mime-info desktop-file-utils  # checks of the installed desktop files
    lintian hicolor-icon-theme man-db  # checks of the Debian package and the triggers it relies on
    gimp python3-pil python3-gi gir1.2-gdkpixbuf-2.0  # the hosts themselves: GIMP, Pillow, gdk-pixbuf from Python
    firefox-esr webkit2gtk-driver  # the page in Firefox ESR and in WebKitGTK, Safari's engine (under the Xvfb above)
)

web_packages=(
    emscripten icu-devtools dpkg-dev cmake make pkg-config  # the page: the core for WebAssembly, from Debian's sources (web/build.sh)
    python3  # ... served by its http.server
)
web_test_packages=(
    chromium chromium-driver python3-selenium python3-pil  # the page's tests, in Debian's headless Chromium
)

fuzz_packages=(
    clang libclang-rt-14-dev  # libFuzzer, AddressSanitizer and UBSan
)

# Another apt or dpkg run (unattended-upgrades, a software centre, a
# terminal) holds these locks while it works; ours waits for it, up to
# apt_wait seconds, rather than fail at once.
apt_locks=(/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock /var/cache/apt/archives/lock)
apt_wait=900

# "PID (COMMAND)" of the process holding one of apt's locks, or nothing.
# /proc/locks names each lock's file by its inode, and anyone may read it.
apt_lock_holder() {
    local lock inode pid
    for lock in "${apt_locks[@]}"; do
        inode=$(stat -c %i "$lock" 2>/dev/null) || continue
        pid=$(awk -v inode="$inode" '$2 != "->" { split($6, id, ":"); if (id[3] == inode) { print $5; exit } }' /proc/locks)
        if [ -n "$pid" ]; then
            echo "$pid ($(cat "/proc/$pid/comm" 2>/dev/null || echo "another container's"))"
            return
        fi
    done
}

wait_for_apt() {
    local waited=0 holder
    while holder=$(apt_lock_holder) && [ -n "$holder" ]; do
        if [ "$waited" -ge "$apt_wait" ]; then
            echo "Another apt or dpkg run, process $holder, still holds the package system after $((apt_wait / 60)) minutes: run this again once it has finished." >&2
            exit 1
        fi
        [ "$waited" -eq 0 ] &&
            echo "Waiting for another apt or dpkg run, process $holder, to finish (at most $((apt_wait / 60)) minutes)..." >&2
        sleep 5
        waited=$((waited + 5))
    done
}

# A package counts as installed also while its triggers wait to run (dpkg
# runs them at the end of the next run, or of this one's install).
install_missing() {
    local installed missing=()
    installed=$({ dpkg-query -W -f='${db:Status-Status} ${Package}\n' "$@" 2>/dev/null || true; } |
        awk '$1 == "installed" || $1 == "triggers-pending" || $1 == "triggers-awaited" { print $2 }')
    for package in "$@"; do
        grep -qxF -e "$package" <<<"$installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    # apt's own wait covers a run that starts between our look and our call.
    local apt=("${sudo[@]}" apt-get -o "DPkg::Lock::Timeout=$apt_wait")
    wait_for_apt
    "${apt[@]}" update -qq
    wait_for_apt
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y -qq "${missing[@]}" >/dev/null
}

# Configures with the options given and builds the targets given after
# "--", or everything.
build() {
    local options=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        options+=("$1")
        shift
    done
    shift || true
    [ -f build/CMakeCache.txt ] || echo "The first build takes some minutes ($(nproc) cores); later ones only what changed."
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
    cmake --build build -j"$(nproc)" ${1:+--target "$@"}
}

# Sourced (tests/desktop/dev_apt.sh), it only defines the above.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0
cd "$(dirname "$0")/.."

case "${1:-}" in
run)
    # Said before minutes of building, not after.
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display: ZFT Toolkit is a desktop program and needs a graphical session (DISPLAY or WAYLAND_DISPLAY is not set). Run this from a terminal on the desktop." >&2
        exit 1
    fi
    install_missing "${build_packages[@]}"
    # The program alone: the plug-ins, tests, benchmarks and fuzz targets are for `test`.
    build -- zft-toolkit
    exec build/app/zft-toolkit
    ;;
test)
    install_missing "${build_packages[@]}" "${host_packages[@]}" "${test_packages[@]}" "${web_packages[@]}" \
        "${web_test_packages[@]}"
    build -DBUILD_TESTING=ON "${all_hosts[@]}" -DZFT_WEB=ON
    cd build && ctest --output-on-failure -j"$(nproc)"
    ;;
web)
    install_missing "${web_packages[@]}"
    web/build.sh build
    [ "${2:-}" = --build-only ] && exit 0
    port=${ZFT_WEB_PORT:-8000}
    echo "ZFT Toolkit is at http://127.0.0.1:$port/ (Ctrl+C stops it)"
    exec /usr/bin/python3 -m http.server --bind 127.0.0.1 --directory build/web/site "$port"
    ;;
fuzz)
    seconds=${2:-60}
    install_missing "${build_packages[@]}" "${fuzz_packages[@]}"
    # Each target in a clang++ build of its own, from its seed corpus; what
    # it finds, and a crashing input, go to build/fuzz/TARGET. Every target
    # runs even when one breaks; the status says whether any did.
    said=() failed=0
    for source in tests/*/fuzz/fuzz_*.cpp tests/*/*/fuzz/fuzz_*.cpp; do
        target=$(basename "$source" .cpp)
        echo "Fuzzing $target for $seconds seconds"
        said+=("$(tests/support/run_fuzz.sh "$(dirname "$source")" "build/fuzz/$target" "$target" "$seconds")") || failed=1
        echo "${said[-1]}"
    done
    printf '\nFuzzed %d targets for %s seconds each:\n' "${#said[@]}" "$seconds"
    printf '  %s\n' "${said[@]}"
    exit "$failed"
    ;;
*)
    echo "usage: $0 run|test|web [--build-only]|fuzz [SECONDS]" >&2
    exit 2
    ;;
esac
