#!/usr/bin/env bash
# The real program under Wayland, in Weston's headless backend: the intro
# shows; pressed through AT-SPI (the backend has no keyboard or mouse), it
# gives way to the main window with the logo. What Weston shows is seen in
# its screenshots.
#
# usage: wayland_start.sh path/to/zft-toolkit
set -uo pipefail
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=x11_driver.sh
. "$here/x11_driver.sh"

clear_desktop_environment
for tool in weston weston-screenshooter convert timeout; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" >/dev/null || skip "qt6-wayland is not installed"
in_session_bus "$@"

weston_pid=
stop_weston() {
    cleanup
    if [ -n "$weston_pid" ] && kill -0 "$weston_pid" 2>/dev/null; then
        kill "$weston_pid" 2>/dev/null
        wait "$weston_pid" 2>/dev/null
    fi
}
trap stop_weston EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

work_dir=$(mktemp -d "${TMPDIR:-/tmp}/zft-wayland.XXXXXX")
export XDG_RUNTIME_DIR="$work_dir/runtime" XDG_CONFIG_HOME="$work_dir/config"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$work_dir/shots"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY
socket=zft-e2e
# --debug lets weston-screenshooter take pictures; no idle time: the screen
# is never blanked.
weston --backend=headless-backend.so --socket="$socket" --use-pixman --debug --width=1024 --height=768 \
    --idle-time=0 >"$work_dir/weston.log" 2>&1 &
weston_pid=$!
wait_for "Weston's socket" test -S "$XDG_RUNTIME_DIR/$socket"
export WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland
share_with_session_bus

# How many pixels of Weston's screen are exactly the colour $1 ("R,G,B").
shown_pixels() {
    rm -f "$work_dir"/shots/*.png
    (cd "$work_dir/shots" && timeout 10 weston-screenshooter) >/dev/null 2>&1 || return 1
    convert "$work_dir"/shots/*.png -fill black +opaque "rgb($1)" -fill white -opaque "rgb($1)" \
        -format '%[fx:round(mean*w*h)]' info:
}
# The intro's grey (160, 160, 160), under and around its labels: more than
# 20,000 pixels of it; Weston's own background has none to speak of.
intro_on_screen() { [ "$(shown_pixels 160,160,160)" -gt 20000 ]; }
intro_gone() { [ "$(shown_pixels 160,160,160)" -lt 2000 ]; }
# The main window's surface beside the logo and its menu bar, in the window
# colour of Qt's own palette.
main_on_screen() { [ "$(shown_pixels 239,239,239)" -gt 2000 ]; }

accessible=1
[ -x /usr/libexec/at-spi-bus-launcher ] && /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || accessible=
if [ -n "$accessible" ]; then
    start_atspi
    export QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
fi
start_program "$program"
wait_for "the intro on Weston's screen" intro_on_screen
if [ -z "$accessible" ]; then
    echo "PASS (start-up only: AT-SPI is not installed)"
    exit 0
fi
wait_for "the intro's Start button" atspi has "push button" Start
atspi press "push button" Start || fail "the intro's Start button cannot be pressed"
wait_for "the main window with the logo, as a screen reader sees it" atspi has image logo
wait_for "the intro to leave Weston's screen" intro_gone
wait_for "the main window on Weston's screen" main_on_screen
kill -0 "$app_pid" 2>/dev/null || fail "the program ended"
echo "PASS"
