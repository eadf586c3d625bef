#!/usr/bin/env bash
# The real program in a real X server, used as a person would use it: click
# the intro, convert a BMP through the File menu's access keys and the real
# dialogs, preview the result, check what the screen shows and what the file
# holds, open About with F1 and the File menu from the keyboard after it, answer
# No and then Yes to the exit question.
#
# usage: convert_and_preview.sh path/to/zft-toolkit
set -uo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=x11_driver.sh
. "$here/x11_driver.sh"

begin_session

# The source picture: 120 × 90 pixels, a different colour at almost every
# pixel, with the bytes that are easy to get wrong (13, 10, 26; black; white)
# in the corners, so that a swapped channel, a flipped row or a shifted
# column shows.
width=120
height=90
awk -v w=$width -v h=$height 'BEGIN {
    print "P3"; print w, h; print 255
    for (y = 0; y < h; y++) for (x = 0; x < w; x++) {
        r = (x * 2 + y) % 256; g = (y * 3 + 7) % 256; b = (x * y + 50) % 256
        if (x == 0 && y == 0) { r = 13; g = 10; b = 26 }
        if (x == w - 1 && y == 0) { r = 0; g = 0; b = 0 }
        if (x == 0 && y == h - 1) { r = 255; g = 255; b = 255 }
        print r, g, b
    }
}' >"$work_dir/source.ppm"
convert "$work_dir/source.ppm" -type TrueColor "BMP3:$work_dir/source.bmp" || fail "cannot write the source BMP"
convert "$work_dir/source.ppm" -depth 8 "ppm:$work_dir/expected.ppm"
pixel_bytes=$((width * height * 3))
tail -c "$pixel_bytes" "$work_dir/expected.ppm" >"$work_dir/expected.pixels"

target="$work_dir/out folder/converted.zft"
mkdir -p "$(dirname "$target")"
notice="E2E notice, typed by hand"
date_before=$(date +%m%d%Y)

# An option the program does not know is refused before any window shows.
"$program" --convert >"$work_dir/refused.log" 2>&1
status=$?
[ "$status" -eq 2 ] || fail "an unknown option ended the program with status $status, not 2"
grep -q "unknown option '--convert'" "$work_dir/refused.log" || fail "the unknown option was not named: $(cat "$work_dir/refused.log")"

start_program "$program"

# The intro, with no caption and no icon for a taskbar to show.
wait_intro
intro_props=$(xprop -id "$intro" _NET_WM_NAME WM_NAME _NET_WM_ICON)
grep -q '^_NET_WM_NAME(UTF8_STRING) = $' <<<"$intro_props" || fail "the intro has a name: $intro_props"
grep -q '^_NET_WM_ICON:  not found' <<<"$intro_props" || fail "the intro has an icon: $intro_props"

# A double click: the first click closes the intro and opens the main window
# at 261 × 230 pixels with the logo. The second lands where the main
# window's File menu now lies, and must not open it.
xdotool mousemove --window "$intro" 20 62 click --repeat 2 --delay 250 1
wait_main 261x230
sleep 0.3
window_count_is 1 || fail "a window besides the main window is shown (the intro, or a menu the second click opened)"

# File > Convert, with the access keys, through the real dialogs and boxes.
menu_file c
wait_titled "Select a file to convert ..."
type_and_enter "$work_dir/source.bmp"
wait_gone "$found"
wait_titled "Select a filename to save ..."
type_and_enter "$target"
wait_gone "$found"
wait_titled "ZFT Toolkit - SP1"   # Click <OK> to start convertion
confirmation=$found
xdotool key Return
wait_gone "$confirmation"
wait_titled "ZFT Toolkit - SP1" "$confirmation"   # the notice
notice_box=$found
type_and_enter "$notice"
wait_gone "$notice_box"
wait_titled "ZFT Toolkit - SP1" "$notice_box"   # Conversion succesfull !
success=$found
[ -f "$target" ] || fail "the success box came before the file $target"
xdotool key Return
wait_gone "$success"
wait_main 261x230
date_after=$(date +%m%d%Y)

# The file's bytes: header, then the source's pixels as red, green, blue.
header=$(head -c 64 "$target")
padded_notice=$(printf '%-48s' "$notice")
expected_header="1A${date_before}${padded_notice}120090"
if [ "$header" != "$expected_header" ] && [ "$header" != "1A${date_after}${padded_notice}120090" ]; then
    fail "header is '$header', expected '$expected_header'"
fi
size=$(stat -c %s "$target")
[ "$size" -eq $((64 + pixel_bytes)) ] || fail "the file has $size bytes, expected $((64 + pixel_bytes))"
tail -c "$pixel_bytes" "$target" | cmp -s - "$work_dir/expected.pixels" ||
    fail "the file's pixel bytes differ from the source picture's"

# File > Preview of the new file; its header box is titled with the path.
menu_file p
wait_titled "Select a file to preview ..."
type_and_enter "$target"
wait_gone "$found"
wait_titled "$target"
xdotool key Return
wait_gone "$found"

# The window fits the picture, 15 × 120 + 165 by 15 × 90 + 450 twips, and the
# points painted where `beeld` stands equal the source's pixels.
wait_main 131x120
read_geometry "$main"
origin_x=$((${position%,*} + 1 + 4))
origin_y=$((${position#*,} + 1 + 19 + 4))
painted_as_source() {
    screenshot "$work_dir/screen.ppm" &&
        crop_to "$work_dir/screen.ppm" "${width}x${height}+${origin_x}+${origin_y}" "$work_dir/painted.ppm" &&
        [ "$(pixels_differing "$work_dir/painted.ppm" "$work_dir/expected.ppm")" = 0 ]
}
wait_for "the painted preview to equal the source picture" painted_as_source

# F1 opens About from the main window. Once About has closed the keyboard is
# the main window's again, with no click: Alt+F opens the File menu.
focus_window "$main"
xdotool key F1
wait_titled "ZFT Toolkit - SP1"
xdotool key Return
wait_gone "$found"
xdotool key alt+f
wait_for "the File menu to open after About closed" window_count_is 2
xdotool key e

# Exit, No: the program goes on, its window and its preview as they were.
wait_titled "ZFT Toolkit - SP1"
xdotool key alt+n
wait_gone "$found"
main_shown 131x120 || fail "the main window changed after No to the exit question"
painted_as_source || fail "the preview changed after No to the exit question"

# Exit, Yes: the program ends with status 0.
menu_file e
wait_titled "ZFT Toolkit - SP1"
xdotool key alt+y
wait_for "the program to end after Yes" program_ended
wait "$app_pid"
status=$?
app_pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "PASS"
