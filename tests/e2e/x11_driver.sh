# Drives the real zft-toolkit in its own Xvfb, from outside, as a person at
# the keyboard and mouse would: sourced by the end-to-end test and by the
# script that takes the README's screenshots.
#
# Every wait polls every 100 ms and gives up after $wait_seconds seconds,
# naming what it waited for: a bound in time, not in tries, whose length
# depends on the machine's load and on how soon each try fails.

wait_seconds=${wait_seconds:-60}
xvfb_pid=
app_pid=
atspi_pid=
work_dir=
scale=1  # QT_SCALE_FACTOR: screen pixels per pixel of the program
screen_size=${screen_size:-1600x1200}
gtk=     # set where the file dialog is GTK's own

fail() {
    echo "FAIL: $*" >&2
    if [ -n "$work_dir" ] && [ -n "${DISPLAY:-}" ]; then
        import -window root "$work_dir/failure.png" 2>/dev/null &&
            echo "screen at the failure: $work_dir/failure.png" >&2
        keep_work_dir=1
    fi
    exit 1
}

# Stops the program and the X server, whatever state they are in.
cleanup() {
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null
        wait "$app_pid" 2>/dev/null
    fi
    if [ -n "$atspi_pid" ] && kill -0 "$atspi_pid" 2>/dev/null; then
        kill "$atspi_pid" 2>/dev/null
        wait "$atspi_pid" 2>/dev/null
    fi
    if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    if [ -n "$work_dir" ] && [ -z "${keep_work_dir:-}" ]; then
        rm -rf "$work_dir"
    fi
}

# The tools the drive needs; exits with 77 (a skipped test) when one is missing.
require_tools() {
    local tool
    for tool in Xvfb xdotool import convert compare timeout "$@"; do
        command -v "$tool" >/dev/null || skip "$tool is not installed"
    done
}

skip() {
    echo "SKIP: $* (scripts/dev.sh test installs what is needed)" >&2
    exit 77
}

# Nothing of the environment the tests were started in decides the look:
# each variant sets what it needs.
clear_desktop_environment() {
    unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI \
        QT_ENABLE_HIGHDPI_SCALING QT_AUTO_SCREEN_SCALE_FACTOR QT_SCALE_FACTOR_ROUNDING_POLICY \
        XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION GTK_THEME KDE_FULL_SESSION \
        QT_ACCESSIBILITY QT_LINUX_ACCESSIBILITY_ALWAYS_ON NO_AT_BRIDGE
}

# Runs the calling script again inside a D-Bus session of its own, once:
# GTK and assistive technologies talk over one, and a program without one
# starts a session bus that outlives it.
in_session_bus() {
    [ -n "${ZFT_E2E_SESSION_BUS:-}" ] && return
    command -v dbus-run-session >/dev/null || skip "dbus-run-session is not installed"
    ZFT_E2E_SESSION_BUS=1 exec dbus-run-session -- bash "$0" "$@"
}

# What the session bus starts on demand (GTK's settings service, dconf)
# runs with this test's folders and display, as the program does: the bus
# was started before they were chosen, and would otherwise hand it the
# user's settings and runtime folder, which every test shares.
share_with_session_bus() {
    [ -n "${ZFT_E2E_SESSION_BUS:-}" ] || return 0
    dbus-update-activation-environment XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME DISPLAY WAYLAND_DISPLAY ||
        fail "cannot hand the test's environment to the session bus"
}

# The bus of assistive technologies (AT-SPI) in the session, for the
# program and for atspi.py; waits until the launcher started here owns the
# bus's name, asking the session bus, which starts nothing. A call to the
# name before then has D-Bus start a launcher of its own, and when that one
# won the name, its bus lay at ~/.cache/at-spi/bus, one path for every
# test running: the next test's bus took the path over, and the program
# and atspi.py of the first reached it, or nothing.
start_atspi() {
    local launcher=/usr/libexec/at-spi-bus-launcher
    [ -x "$launcher" ] || skip "at-spi2-core is not installed"
    /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi is not installed"
    "$launcher" --launch-immediately >"$work_dir/atspi.log" 2>&1 &
    atspi_pid=$!
    wait_for "the AT-SPI bus launcher $atspi_pid to own org.a11y.Bus and answer" atspi_bus_ours
}

atspi_bus_ours() {
    local owner
    owner=$(dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.GetConnectionUnixProcessID string:org.a11y.Bus) &&
        [ "${owner##* }" = "$atspi_pid" ] &&
        dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress
}

# What a screen reader sees of the program: atspi.py COMMAND ARGS..., bounded.
atspi() {
    timeout 20 /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/atspi.py" "$1" "$app_pid" "${@:2}"
}

# Gives the keyboard to a window, as a click on it would; bounded, since
# --sync waits for the X server to report the change.
focus_window() {
    timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null || true
}

# Polls `$2...` for at most $1 seconds; false if it never succeeds.
within() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# Polls `$2...` until it succeeds, for at most $wait_seconds seconds.
wait_for() {
    local what=$1
    shift
    within "$wait_seconds" "$@" || fail "gave up waiting $wait_seconds s for $what"
}

# Starts Xvfb on a display number it picks itself among the free ones, and
# waits until it answers.
start_x() {
    work_dir=$(mktemp -d "${TMPDIR:-/tmp}/zft-e2e.XXXXXX")
    local number_file="$work_dir/display"
    Xvfb -displayfd 3 -screen 0 "${screen_size}x24" -nolisten tcp -noreset 3>"$number_file" \
        >"$work_dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    wait_for "Xvfb to pick a display" test -s "$number_file"
    export DISPLAY=":$(head -n1 "$number_file")"
    wait_for "Xvfb to answer on $DISPLAY" xdotool getdisplaygeometry
    # Nothing of the user's settings is read or written, nor GTK's list of
    # recent files.
    export XDG_CONFIG_HOME="$work_dir/config" XDG_DATA_HOME="$work_dir/data" XDG_RUNTIME_DIR="$work_dir/runtime"
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
    share_with_session_bus
}

# What a driving script does first: checks the tools, binds the clean-up to
# the script's end, whatever ends it (a test killed on its time limit still
# takes its X server and program with it), and starts the X server.
begin_session() {
    require_tools
    trap cleanup EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
    start_x
}

# The program, with any arguments after it, in the working folder $run_in
# when set.
start_program() {
    (cd "${run_in:-.}" && exec "$@") >"$work_dir/program.log" 2>&1 &
    app_pid=$!
}

# The program's visible windows, one id a line.
program_windows() {
    xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null
}

window_count_is() {
    [ "$(program_windows | wc -l)" -eq "$1" ]
}

# The id of the one visible window with this exact title (a regular
# expression), in $found.
find_titled() {
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1)
    [ -n "$found" ]
}

# Waits for a visible window titled exactly $1 (plain text) other than $2, and
# gives it the keyboard. Its id is left in $found.
wait_titled() {
    local title_pattern
    title_pattern="^$(printf '%s' "$1" | sed 's/[][\.*^$+?(){}|/]/\\&/g')\$"
    local not=${2:-none}
    wait_for "a window titled '$1'" find_new_titled "$title_pattern" "$not"
    focus_window "$found"
}

find_new_titled() {
    local id
    for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
        if [ "$id" != "$2" ]; then
            found=$id
            return 0
        fi
    done
    return 1
}

window_gone() {
    ! xdotool search --onlyvisible --name '.*' 2>/dev/null | grep -qx "$1"
}

wait_gone() {
    wait_for "window $1 to close" window_gone "$1"
}

# Size of a window as "WxH", in $geometry; its top-left corner in $position.
read_geometry() {
    local output
    output=$(xdotool getwindowgeometry "$1" 2>/dev/null) || return 1
    geometry=$(sed -n 's/^ *Geometry: //p' <<<"$output")
    position=$(sed -n 's/^ *Position: \([0-9]*,[0-9]*\).*/\1/p' <<<"$output")
    [ -n "$geometry" ] && [ -n "$position" ]
}

geometry_is() {
    read_geometry "$1" && [ "$geometry" = "$2" ]
}

# Pixels of the program as screen pixels: WxH scaled.
scaled() {
    echo "$((${1%x*} * scale))x$((${1#*x} * scale))"
}

# The intro window: the program's one window at the start, 260 × 337 pixels.
wait_intro() {
    wait_for "the intro window" intro_shown
}

intro_shown() {
    local id
    id=$(program_windows | head -n1)
    [ -n "$id" ] && window_count_is 1 && geometry_is "$id" "$(scaled 260x337)" && intro=$id
}

# The main window, found by its menu bar's place: it is the one visible
# window of the program once the intro has gone.
wait_main() {
    wait_for "the main window at $1" main_shown "$1"
}

main_shown() {
    local id
    for id in $(program_windows); do
        if geometry_is "$id" "$(scaled "$1")"; then
            main=$id
            return 0
        fi
    done
    return 1
}

# True once the program has ended (a child that has ended and not yet been
# waited for counts as ended).
program_ended() {
    local stat
    stat=$(cat "/proc/$app_pid/stat" 2>/dev/null) || return 0
    # The state follows the command name, which is in brackets.
    stat=${stat##*) }
    [ "${stat%% *}" = Z ]
}

# Opens the File menu with Alt+F and picks an item by its access key.
menu_file() {
    focus_window "$main"
    local before
    before=$(program_windows | wc -l)
    xdotool key alt+f
    wait_for "the File menu to open" window_count_is $((before + 1))
    xdotool key "$1"
}

# The exit question, from the File menu.
ask_to_exit() {
    menu_file e
    wait_titled "ZFT Toolkit - SP1"
}

# Return at the exit question answers Yes, its default button: the program
# ends, with status 0.
answer_yes_and_end() {  # answer_yes_and_end WHAT
    xdotool key Return
    wait_for "the program to end after Yes" program_ended
    wait "$app_pid"
    local status=$?
    app_pid=
    [ "$status" -eq 0 ] || fail "$1 ended with status $status"
}

# Types text into the focused window, then Return.
type_and_enter() {
    xdotool type --delay 10 -- "$1"
    xdotool key Return
}

# Picks a file in the file dialog $3 by typing its name, with its folder or
# relative to the folder the dialog shows, and taking it with the dialog's
# button $2 (Open, Save); returns when the dialog has closed. Ctrl+L opens
# GTK's location field; Qt's dialog has its name field open and takes
# Ctrl+L as nothing. Qt's dialog takes the name with Return. In GTK's,
# Return may go to the list of completions that its location field opens
# as the name is typed, and the button, pressed as a screen reader would,
# may be taken while the field still looks the name up: it is pressed again
# until the dialog goes, unless the dialog has asked a question meanwhile.
choose_file() {
    local try
    xdotool key ctrl+l
    if [ -z "$gtk" ]; then
        type_and_enter "$1"
        wait_gone "$3"
        return
    fi
    xdotool type --delay 10 -- "$1"
    # Pressed before the field has taken every key, the button would take
    # part of the name.
    wait_for "GTK's location field to hold $1" atspi holds "$1"
    for ((try = 0; try < 5; try++)); do
        wait_for "GTK's dialog to show its $2 button" atspi press "push button" "$2"
        within 5 window_gone "$3" && return
        atspi lacks "push button" "Replace" || fail "GTK's dialog asks whether to replace $1"
    done
    fail "GTK's dialog did not take $1"
}

# The colour of the screen pixel at X Y as "R,G,B".
pixel_at() {
    convert "$work_dir/screen.ppm" -crop "1x1+$1+$2" -depth 8 txt:- |
        sed -n 's/^0,0: (\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1,\2,\3/p'
}

# The screen as a 24-bit PPM file.
screenshot() {
    import -window root -depth 8 "ppm:$1"
}

# Crops $1 (an image file) to WxH+X+Y and writes a PPM.
crop_to() {
    convert "$1" -crop "$2" +repage -depth 8 "ppm:$3"
}

# How many pixels of two pictures of equal size differ.
pixels_differing() {
    compare -metric AE "$1" "$2" null: 2>&1
}
