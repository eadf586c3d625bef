#!/usr/bin/env bash
# The real program in a real X server, used as a person would use it, under
# the look of one desktop: click the intro, find File and Help on the menu
# bar, convert a GIF with a transparent part through the File menu's access
# keys and the real file dialogs (GTK's own under GNOME's theme), preview the
# result, check what the screen shows and what the file holds, open About
# with F1 and the File menu from the keyboard after it, answer the exit
# question with Escape (No) and then Return (Yes). Under a large font on a
# small screen, where the menu bar is taller than the window's margins leave
# room for, also convert a tall BMP through the menu and a wide JPEG the
# program is opened with, each written as zft convert writes it.
#
# usage: convert_and_preview.sh VARIANT path/to/zft-toolkit path/to/zft
#   plain        Qt's own look on a bare X server
#   gnome-light  GNOME's desktop: Qt's GTK platform theme, Adwaita
#   gnome-dark   the same with Adwaita's dark variant
#   scale2       a screen scaled by 2 (QT_SCALE_FACTOR=2)
#   gnome-large-font  GNOME's, with a 16-point interface font, on an
#                800 × 600 screen
set -uo pipefail
variant=$1
program=$(realpath "$2")
zft=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=x11_driver.sh
. "$here/x11_driver.sh"

clear_desktop_environment
case $variant in
plain) ;;
scale2)
    export QT_SCALE_FACTOR=2
    scale=2
    ;;
gnome-light | gnome-dark | gnome-large-font)
    compgen -G "/usr/lib/*/qt6/plugins/platformthemes/libqgtk3.so" >/dev/null ||
        skip "qt6-gtk-platformtheme is not installed"
    in_session_bus "$@"
    export XDG_CURRENT_DESKTOP=GNOME
    [ "$variant" = gnome-dark ] && export GTK_THEME=Adwaita:dark
    [ "$variant" = gnome-large-font ] && screen_size=800x600
    gtk=1
    ;;
*)
    echo "usage: $0 plain|gnome-light|gnome-dark|gnome-large-font|scale2 PROGRAM ZFT" >&2
    exit 2
    ;;
esac

begin_session
if [ "$variant" = gnome-large-font ]; then
    mkdir -p "$XDG_CONFIG_HOME/gtk-3.0"
    printf '[Settings]\ngtk-font-name = DejaVu Sans 16\n' >"$XDG_CONFIG_HOME/gtk-3.0/settings.ini"
fi
# GTK's file dialog is seen through what it tells assistive technologies.
[ -n "$gtk" ] && start_atspi

# The source picture: a 120 × 90 GIF (so at most 256 colours) whose red
# changes with every column and green with every row, repeating every 15 and
# 16 pixels, with the bytes that are easy to get wrong (13, 10, 26; black;
# white) in the corners, so that a swapped channel, a flipped row or a
# shifted column shows; a block of 40 × 30 pixels in it is transparent.
width=120
height=90
pictures="$work_dir/pictures"
mkdir -p "$pictures"
awk -v w=$width -v h=$height 'BEGIN {
    print "P3"; print w, h; print 255
    for (y = 0; y < h; y++) for (x = 0; x < w; x++) {
        r = (x % 15) * 17; g = (y % 16) * 17; b = 80
        if (x == 0 && y == 0) { r = 13; g = 10; b = 26 }
        if (x == w - 1 && y == 0) { r = 0; g = 0; b = 0 }
        if (x == 0 && y == h - 1) { r = 255; g = 255; b = 255 }
        print r, g, b
    }
}' >"$work_dir/colours.ppm"
awk -v w=$width -v h=$height 'BEGIN {
    print "P2"; print w, h; print 255
    for (y = 0; y < h; y++) for (x = 0; x < w; x++) print (x >= 40 && x < 80 && y >= 30 && y < 60) ? 0 : 255
}' >"$work_dir/opacity.pgm"
convert "$work_dir/colours.ppm" "$work_dir/opacity.pgm" -alpha off -compose CopyOpacity -composite \
    "$pictures/source.gif" || fail "cannot write the source GIF"
[ "$(convert "$pictures/source.gif" -format '%[opaque]' info: | tr 'A-Z' 'a-z')" = false ] || fail "the source GIF has no transparent part"
# Beside it, files the open dialog must list whatever their case, and two it must not.
touch "$pictures/PHOTO.Jpg" "$pictures/x.jpeg" "$pictures/y.BMP" "$pictures/z.JFIF" "$pictures/notes.txt" \
    "$pictures/w.png"
listed_pictures=$(printf '%s\n' PHOTO.Jpg source.gif x.jpeg y.BMP z.JFIF | LC_ALL=C sort)

out="$work_dir/out folder"
target="$out/converted.zft"
mkdir -p "$out"
# Saving over an existing file asks nothing: the command asks before it writes.
echo "an earlier file of that name" >"$target"
notice="E2E notice, typed by hand"
date_before=$(date +%m%d%Y)

if [ "$variant" = plain ]; then
    # An option the program does not know is refused before any window shows.
    "$program" --convert >"$work_dir/refused.log" 2>&1
    status=$?
    [ "$status" -eq 2 ] || fail "an unknown option ended the program with status $status, not 2"
    grep -q "unknown option '--convert'" "$work_dir/refused.log" ||
        fail "the unknown option was not named: $(cat "$work_dir/refused.log")"
fi

# The program runs in the pictures' folder: its first file dialog opens there.
run_in=$pictures
start_program "$program"

# The intro, with no caption and no icon for a taskbar to show.
wait_intro
intro_props=$(xprop -id "$intro" _NET_WM_NAME WM_NAME _NET_WM_ICON)
grep -q '^_NET_WM_NAME(UTF8_STRING) = $' <<<"$intro_props" || fail "the intro has a name: $intro_props"
grep -q '^_NET_WM_ICON:  not found' <<<"$intro_props" || fail "the intro has an icon: $intro_props"

# A double click: the first click closes the intro and opens the main window
# at 261 × 230 pixels with the logo. The second lands where the main
# window's File menu now lies, and must not open it.
xdotool mousemove --window "$intro" $((20 * scale)) $((62 * scale)) click --repeat 2 --delay 250 1
wait_main 261x230
sleep 0.3
window_count_is 1 || fail "a window besides the main window is shown (the intro, or a menu the second click opened)"
read_geometry "$main"
main_x=${position%,*}
main_y=${position#*,}
main_w=${geometry%x*}
main_h=${geometry#*x}
# The surface's colour, in the margin right of the logo.
screenshot "$work_dir/screen.ppm"
window_colour=$(pixel_at $((main_x + main_w - 1 - 3 * scale)) $((main_y + main_h / 2)))

# The other visible window of the program, besides the main window.
popup_shown() {
    local id
    for id in $(program_windows); do
        [ "$id" != "$main" ] && popup=$id && return 0
    done
    return 1
}
popup_moved_from() {
    popup_shown && read_geometry "$popup" && [ "${position%,*}" != "$1" ]
}

# File and Help are on the bar, not behind its extension button. A click on
# the bar near its left edge opens a menu; Right opens the next one, smaller:
# File has three items, Help one.
bar_y=$((main_y + 10 * scale))  # the bar is at least 19 pixels tall
xdotool mousemove $((main_x + 8 * scale)) "$bar_y" click 1
wait_for "a menu to open from the left of the menu bar" popup_shown
read_geometry "$popup"
file_x=${position%,*}
file_h=${geometry#*x}
xdotool key Right
wait_for "the next menu of the bar to open" popup_moved_from "$file_x"
read_geometry "$popup"
help_x=${position%,*}
help_h=${geometry#*x}
[ "$help_h" -lt "$file_h" ] || fail "the menu right of the first is not smaller ($help_h, $file_h pixels): no Help menu"
xdotool key Escape
wait_for "the menu to close" window_count_is 1
# A click where that menu opened opens it again, and its A is About: Help is
# on the bar itself. Behind the extension button, the click would open a
# menu of menus, where A does nothing.
xdotool mousemove $((help_x + 4 * scale)) "$bar_y" click 1
wait_for "the Help menu to open from the bar" popup_shown
xdotool key a
wait_titled "ZFT Toolkit - SP1"
about=$found

# The surface is the palette's window colour, the colour of the theme's
# boxes: About's background.
screenshot "$work_dir/screen.ppm"
read_geometry "$about"
box_colour=$(pixel_at $((${position%,*} + 2 * scale)) $((${position#*,} + 2 * scale)))
[ -n "$window_colour" ] && [ "$window_colour" = "$box_colour" ] ||
    fail "the surface shows $window_colour, the theme's boxes $box_colour"
IFS=, read -r red green blue <<<"$window_colour"
case $variant in
plain | scale2)
    [ "$window_colour" = 239,239,239 ] || fail "under Qt's own palette the surface is $window_colour, not 239,239,239"
    ;;
gnome-dark)
    [ $((red + green + blue)) -lt 300 ] || fail "under the dark theme the surface is light: $window_colour"
    ;;
gnome-light | gnome-large-font)
    [ $((red + green + blue)) -gt 600 ] || fail "under the light theme the surface is dark: $window_colour"
    ;;
esac
echo "window colour: $window_colour"
xdotool key Return
wait_gone "$about"

# The confirmation, the notice $1 and the success box of a conversion to
# the file $2 whose dialogs are done; the window back at the logo's size.
confirm_and_name() {
    wait_titled "ZFT Toolkit - SP1"   # Click <OK> to start convertion
    local confirmation=$found
    xdotool key Return  # OK is the default button whatever the theme's order of buttons
    wait_gone "$confirmation"
    wait_titled "ZFT Toolkit - SP1" "$confirmation"   # the notice
    local notice_box=$found
    type_and_enter "$1"
    wait_gone "$notice_box"
    wait_titled "ZFT Toolkit - SP1" "$notice_box"   # Conversion succesfull !
    local success=$found
    [ "$(head -c 2 "$2")" = 1A ] || fail "the success box came before the file $2"
    xdotool key Return
    wait_gone "$success"
    wait_main 261x230
}

# The file $2 is what zft convert writes for the picture $1 with the notice
# $3, the window's colour and the file's own date.
written_as_zft_writes() {
    local header
    header=$(head -c 10 "$2")
    "$zft" convert --force --background "$hex" --notice "$3" --date "${header:2:2}/${header:4:2}/${header:6:4}" \
        "$1" -o "$work_dir/by-zft.zft" || fail "zft convert $1 failed"
    cmp -s "$2" "$work_dir/by-zft.zft" || fail "the window wrote other bytes than zft convert for $1"
}

# File > Convert, with the access keys, through the real dialogs and boxes.
menu_file c
wait_titled "Select a file to convert ..."
dialog=$found
if [ -n "$gtk" ]; then
    # GTK's own dialog, in the working folder, lists the pictures whatever
    # the case of their names, and nothing else.
    files_listed() { [ "$(atspi files "Select a file to convert ...")" = "$listed_pictures" ]; }
    wait_for "GTK's dialog to list: $(echo $listed_pictures)" files_listed ||
        fail "GTK's dialog lists: $(atspi files "Select a file to convert ..." | tr '\n' ' ')"
    focus_window "$dialog"
fi
choose_file "source.gif" Open "$dialog"  # with no folder: the dialog opened in the working folder
wait_titled "Select a filename to save ..."
# Saving over the existing file: no question, the dialog just closes.
choose_file "$target" Save "$found"
confirm_and_name "$notice" "$target"
date_after=$(date +%m%d%Y)

# The file's bytes: header, then the source's pixels as red, green, blue,
# the transparent block in the window's colour.
header=$(head -c 64 "$target")
padded_notice=$(printf '%-48s' "$notice")
expected_header="1A${date_before}${padded_notice}120090"
if [ "$header" != "$expected_header" ] && [ "$header" != "1A${date_after}${padded_notice}120090" ]; then
    fail "header is '$header', expected '$expected_header'"
fi
convert "$pictures/source.gif" -background "rgb($window_colour)" -flatten -depth 8 "ppm:$work_dir/expected.ppm"
pixel_bytes=$((width * height * 3))
tail -c "$pixel_bytes" "$work_dir/expected.ppm" >"$work_dir/expected.pixels"
size=$(stat -c %s "$target")
[ "$size" -eq $((64 + pixel_bytes)) ] || fail "the file has $size bytes, expected $((64 + pixel_bytes))"
tail -c "$pixel_bytes" "$target" | cmp -s - "$work_dir/expected.pixels" ||
    fail "the file's pixel bytes differ from the source picture's over the window colour"
# zft writes the same bytes when given the window's colour.
hex=$(printf '#%02x%02x%02x' "$red" "$green" "$blue")
written_as_zft_writes "$pictures/source.gif" "$target" "$notice"

# File > Preview of the new file, in the folder it was saved to; its header
# box is titled with the path.
menu_file p
wait_titled "Select a file to preview ..."
choose_file "converted.zft" Open "$found"  # the dialog opens where the last file was chosen
wait_titled "$target"
xdotool key Return
wait_gone "$found"

# The window fits the picture, 15 × 120 + 165 by 15 × 90 + 450 twips, and the
# points painted where `beeld` stands equal the file's pixels. The menu bar
# is as tall as the theme makes it: the picture is looked for below bars of
# 19 pixels and more.
wait_main 131x120
read_geometry "$main"
main_x=${position%,*}
main_y=${position#*,}
# Below a bar taller than 24 pixels the window, fitted with the same margins
# whatever the bar, shows the picture's top rows only: those are compared.
painted_below_bar() {
    local rows=$((90 + 24 - $1))
    [ "$rows" -gt "$height" ] && rows=$height
    convert "$work_dir/expected.ppm" -crop "${width}x${rows}+0+0" +repage -scale "$((100 * scale))%" -depth 8 \
        "ppm:$work_dir/expected-shown.ppm" &&
        screenshot "$work_dir/screen.ppm" && crop_to "$work_dir/screen.ppm" \
        "$(scaled ${width}x${rows})+$((main_x + 5 * scale))+$((main_y + (5 + $1) * scale))" "$work_dir/painted.ppm" &&
        [ "$(pixels_differing "$work_dir/painted.ppm" "$work_dir/expected-shown.ppm")" = 0 ]
}
painted_as_file() {
    local bar
    for ((bar = 19; bar <= 40; bar++)); do
        painted_below_bar "$bar" && bar_height=$bar && return 0
    done
    return 1
}
wait_for "the painted preview to equal the file's pixels" painted_as_file
echo "menu bar: $bar_height pixels"
case $variant in
plain | scale2) [ "$bar_height" -eq 19 ] || fail "under Qt's own look the menu bar is $bar_height pixels, not 19" ;;
esac

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

# Exit, Escape (No): the program goes on, its window and its preview as they were.
wait_titled "ZFT Toolkit - SP1"
xdotool key Escape
wait_gone "$found"
main_shown 131x120 || fail "the main window changed after No to the exit question"
painted_below_bar "$bar_height" || fail "the preview changed after No to the exit question"

if [ "$variant" = gnome-large-font ]; then
    # A menu bar taller than the window's margins leave room for: the window
    # shows less than the whole of a tall picture, and still writes all of it.
    awk 'BEGIN { print "P3"; print 200, 500; print 255
        for (y = 0; y < 500; y++) for (x = 0; x < 200; x++) print (x * 5) % 256, y % 256, (x + 2 * y) % 256 }' |
        convert - "BMP3:$pictures/tall.bmp" || fail "cannot write the tall BMP"
    awk 'BEGIN { print "P3"; print 760, 150; print 255
        for (y = 0; y < 150; y++) for (x = 0; x < 760; x++) print x % 256, (3 * y) % 256, (x * y) % 256 }' |
        convert - -quality 90 "$pictures/wide.jpg" || fail "cannot write the wide JPEG"
    menu_file c
    wait_titled "Select a file to convert ..."
    choose_file "$pictures/tall.bmp" Open "$found"
    wait_titled "Select a filename to save ..."
    choose_file "$out/tall.zft" Save "$found"
    confirm_and_name "tall" "$out/tall.zft"
    written_as_zft_writes "$pictures/tall.bmp" "$out/tall.zft" "tall"
fi

# Exit, Return (Yes, the default button): the program ends with status 0.
ask_to_exit
answer_yes_and_end "the program"

if [ "$variant" = gnome-large-font ]; then
    # Opened with a picture, as a file manager's "Open With" does: the intro,
    # then straight to the save dialog.
    run_in=$work_dir
    start_program "$program" "$pictures/wide.jpg"
    wait_intro
    xdotool mousemove --window "$intro" 130 150 click 1
    wait_titled "Select a filename to save ..."
    choose_file "$out/wide.zft" Save "$found"
    confirm_and_name "wide" "$out/wide.zft"
    written_as_zft_writes "$pictures/wide.jpg" "$out/wide.zft" "wide"
    ask_to_exit
    answer_yes_and_end "the program opened with a picture"
fi

if [ "$variant" = plain ]; then
    # Opened with a file, as a file manager opens one: the intro as ever,
    # then the file's header box and its preview, with no file dialog.
    run_in=$work_dir
    start_program "$program" "$target"
    wait_intro
    xdotool mousemove --window "$intro" 130 150 click 1
    wait_titled "$target"
    xdotool key Return
    wait_gone "$found"
    wait_main 131x120
    read_geometry "$main"
    main_x=${position%,*}
    main_y=${position#*,}
    wait_for "the preview of the file the program was given" painted_below_bar 19
    ask_to_exit
    answer_yes_and_end "the program opened with a file"
fi
echo "PASS ($variant)"
