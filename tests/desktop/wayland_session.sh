#!/usr/bin/env bash
# The program under a Wayland compositor, checked by hand: there the
# compositor, not the program, places windows, and only it can give the
# keyboard to a window, so what a user meets depends on it. CTest does not
# run this: Weston places windows where it likes, and a drive from outside
# would have to find them in screenshots.
#
#   wayland_session.sh path/to/zft-toolkit [PICTURE.zft]
#
# Needs Debian's weston and qt6-wayland, and a desktop session (DISPLAY or
# WAYLAND_DISPLAY): Weston opens as a window in it. Move the pointer out of
# Weston's window and back once before typing. Then check:
#   1. Click the intro; press F1, then Return: About closes, and Alt+F opens
#      the File menu with no click on the main window.
#   2. File > Preview the picture (999 × 999 pixels at best): the main window
#      grows, perhaps past the edge of Weston's window. Press the left button
#      on the picture and drag: the window follows, and can be brought back
#      whole (or, larger than the output, shown part by part).
#   3. A click on the picture without a drag does nothing.
set -uo pipefail
program=$(realpath "$1")
picture=${2:-}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No desktop session: DISPLAY or WAYLAND_DISPLAY must be set." >&2
    exit 2
fi
command -v weston >/dev/null || { echo "weston is not installed (apt install weston qt6-wayland)" >&2; exit 2; }
[ -n "$picture" ] && echo "The picture to preview: $(realpath "$picture")"

socket=zft-check-$$
weston --socket="$socket" >"${TMPDIR:-/tmp}/$socket.log" 2>&1 &
weston_pid=$!
trap 'kill "$weston_pid" 2>/dev/null' EXIT
for _ in $(seq 100); do
    [ -S "${XDG_RUNTIME_DIR:?}/$socket" ] && break
    sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/$socket" ] || { echo "Weston did not start: see ${TMPDIR:-/tmp}/$socket.log" >&2; exit 1; }

# What Weston offers its clients; xdg_activation_v1 is how a program may ask
# for the keyboard for one of its windows.
if command -v wayland-info >/dev/null; then
    WAYLAND_DISPLAY=$socket wayland-info | grep -q xdg_activation_v1 &&
        echo "Weston offers xdg_activation_v1." || echo "Weston does not offer xdg_activation_v1."
fi
env -u DISPLAY WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland "$program"
