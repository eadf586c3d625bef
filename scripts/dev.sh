#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   scripts/dev.sh run    installs what is missing, builds the program, starts it
#   scripts/dev.sh test   installs what is missing, builds, runs every test
#   scripts/dev.sh web [--build-only]
#                         installs what is missing, builds the page into
#                         build/web/site and serves it on 127.0.0.1:8000
#                         (ZFT_WEB_PORT), unless --build-only
#   scripts/dev.sh fuzz [SECONDS]
#                         installs clang, fuzzes every fuzz target for SECONDS
#                         (default 60) each, under AddressSanitizer and UBSan
# Each can be run again at no cost: apt is asked only for missing packages,
# and the builds are incremental.
set -euo pipefail
cd "$(dirname "$0")/.."

build_packages=(
    cmake g++ make pkg-config qt6-base-dev fonts-dejavu-core
    qtbase5-dev  # the image plugin for Qt 5 programs
    libgdk-pixbuf-2.0-dev  # the gdk-pixbuf loader
    libgimp2.0-dev libmagickcore-6.q16-dev  # the GIMP plug-in, the ImageMagick coder
    pybind11-dev python3-dev  # pillow_zft, for Debian's python3
    bash-completion  # where zft's completion goes
    dpkg-dev file  # the Debian package: dpkg-shlibdeps finds its dependencies
    libturbojpeg0-dev libjpeg62-turbo-dev libgif-dev libpng-dev  # the picture decoders
    libicu-dev  # the notice's Unicode rules
    libxcb1-dev  # naming windows on X11
)
test_packages=(
    libjpeg-turbo-progs  # djpeg: the independent JPEG decoder the tests compare against
    xvfb xdotool imagemagick x11-utils  # the end-to-end tests in a real X server
    qt6-gtk-platformtheme  # ... under GNOME's and Xfce's look, with GTK's file dialog
    at-spi2-core python3-pyatspi dbus-daemon dbus-bin  # ... as assistive technologies see them
    weston qt6-wayland  # ... under Wayland
    shared-mime-info desktop-file-utils  # checks of the installed desktop files
    lintian hicolor-icon-theme man-db  # checks of the Debian package and the triggers it relies on
    gimp python3-pil python3-gi gir1.2-gdkpixbuf-2.0  # the hosts themselves: GIMP, Pillow, gdk-pixbuf from Python
)

web_packages=(
    emscripten icu-devtools dpkg-dev cmake make pkg-config  # the page: the core for WebAssembly, from Debian's sources (web/build.sh)
    chromium chromium-driver python3-selenium python3-pil  # ... and its tests in Debian's headless Chromium
)

fuzz_packages=(
    clang libclang-rt-14-dev  # libFuzzer, AddressSanitizer and UBSan
)

install_missing() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Builds the targets given, or everything.
build() {
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j"$(nproc)" ${1:+--target "$@"}
}

case "${1:-}" in
run)
    install_missing "${build_packages[@]}"
    # The program alone: the tests, benchmarks and fuzz targets are for `test`.
    build zft-toolkit
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display: ZFT Toolkit is a desktop program and needs a graphical session (DISPLAY or WAYLAND_DISPLAY is not set)." >&2
        exit 1
    fi
    exec build/shell/zft-toolkit
    ;;
test)
    install_missing "${build_packages[@]}" "${test_packages[@]}" "${web_packages[@]}"
    build
    web/build.sh build
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
    # it finds, and a crashing input, go to build/fuzz/TARGET.
    for source in tests/*/fuzz/fuzz_*.cpp tests/*/*/fuzz/fuzz_*.cpp; do
        target=$(basename "$source" .cpp)
        echo "Fuzzing $target for $seconds seconds"
        tests/support/run_fuzz.sh "$(dirname "$source")" "build/fuzz/$target" "$target" "$seconds"
    done
    ;;
*)
    echo "usage: $0 run|test|web [--build-only]|fuzz [SECONDS]" >&2
    exit 2
    ;;
esac
