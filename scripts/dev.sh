#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   scripts/dev.sh run    installs what is missing, builds, starts the program
#   scripts/dev.sh test   installs what is missing, builds, runs every test
# Both can be run again at no cost: apt is asked only for missing packages,
# and the build is incremental.
set -euo pipefail
cd "$(dirname "$0")/.."

build_packages=(
    cmake g++ make pkg-config qt6-base-dev fonts-dejavu-core
    qtbase5-dev  # the image plugin for Qt 5 programs
    libgdk-pixbuf-2.0-dev  # the gdk-pixbuf loader
    bash-completion  # where zft's completion goes
    dpkg-dev file  # the Debian package: dpkg-shlibdeps finds its dependencies
    libturbojpeg0-dev libjpeg62-turbo-dev libgif-dev libpng-dev  # the picture decoders
    libxcb1-dev  # naming windows on X11
)
test_packages=(
    libjpeg-turbo-progs  # djpeg: the independent JPEG decoder the tests compare against
    xvfb xdotool imagemagick x11-utils  # the end-to-end test in a real X server
    clang libclang-rt-14-dev  # the fuzz target (libFuzzer, AddressSanitizer)
    shared-mime-info desktop-file-utils  # checks of the installed desktop files
    lintian hicolor-icon-theme man-db  # checks of the Debian package and the triggers it relies on
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

build() {
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j"$(nproc)"
}

case "${1:-}" in
run)
    install_missing "${build_packages[@]}"
    build
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display: ZFT Toolkit is a desktop program and needs a graphical session (DISPLAY or WAYLAND_DISPLAY is not set)." >&2
        exit 1
    fi
    exec build/shell/zft-toolkit
    ;;
test)
    install_missing "${build_packages[@]}" "${test_packages[@]}"
    build
    cd build && ctest --output-on-failure -j"$(nproc)"
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
