# Drives the real zft-toolkit in its own Xvfb, from outside, as a person at
# the keyboard and mouse would: sourced by the end-to-end test and by the
# script that takes the README's screenshots.
#
# Every wait polls every 100 ms and gives up after $wait_limit tenths of a
# second, naming what it waited for.

wait_limit=${wait_limit:-150}
xvfb_pid=
app_pid=
work_dir=

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
    for tool in Xvfb xdotool import convert compare timeout; do
        command -v "$tool" >/dev/null || {
            echo "SKIP: $tool is not installed (scripts/dev.sh test installs it)" >&2
            exit 77
        }
    done
}

# Gives the keyboard to a window, as a click on it would; bounded, since
# --sync waits for the X server to report the change.
focus_window() {
    timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null || true
}

# Polls `$@` until it succeeds.
wait_for() {
    local what=$1
    shift
    local i
    for ((i = 0; i < wait_limit; i++)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    fail "gave up waiting for $what"
}

# Starts Xvfb on a display number it picks itself among the free ones, and
# waits until it answers.
start_x() {
    work_dir=$(mktemp -d "${TMPDIR:-/tmp}/zft-e2e.XXXXXX")
    local number_file="$work_dir/display"
    Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp -noreset 3>"$number_file" \
        >"$work_dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    wait_for "Xvfb to pick a display" test -s "$number_file"
    export DISPLAY=":$(head -n1 "$number_file")"
    wait_for "Xvfb to answer on $DISPLAY" xdotool getdisplaygeometry
    # Nothing of the user's settings is read or written.
    export XDG_CONFIG_HOME="$work_dir/config" XDG_RUNTIME_DIR="$work_dir/runtime"
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
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

# The program, with any arguments after it.
start_program() {
    "$@" >"$work_dir/program.log" 2>&1 &
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

# The intro window: the program's one window at the start, 260 × 337 pixels.
wait_intro() {
    wait_for "the intro window" intro_shown
}

intro_shown() {
    local id
    id=$(program_windows | head -n1)
    [ -n "$id" ] && window_count_is 1 && geometry_is "$id" 260x337 && intro=$id
}

# The main window, found by its menu bar's place: it is the one visible
# window of the program once the intro has gone.
wait_main() {
    wait_for "the main window at $1" main_shown "$1"
}

main_shown() {
    local id
    for id in $(program_windows); do
        if geometry_is "$id" "$1"; then
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

# Types text into the focused window, then Return.
type_and_enter() {
    xdotool type --delay 10 -- "$1"
    xdotool key Return
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
