#!/usr/bin/env bash
# Takes the README's screenshots from the real program in its own Xvfb:
#   docs/intro.png    the intro window
#   docs/main.png     the main window with the logo
#   docs/preview.png  the main window showing a preview
# usage: scripts/screenshots.sh [path/to/zft-toolkit]   (default build/app/zft-toolkit)
# Needs xvfb, xdotool and imagemagick (scripts/dev.sh test installs them).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/app/zft-toolkit}")
# shellcheck source=../tests/e2e/x11_driver.sh
. "$root/tests/e2e/x11_driver.sh"

begin_session
mkdir -p "$root/docs"

# A window and a margin of 12 pixels of the screen around it.
shoot_window() {
    read_geometry "$1" || fail "cannot read the geometry of window $1"
    local w=${geometry%x*} h=${geometry#*x} x=${position%,*} y=${position#*,}
    screenshot "$work_dir/screen.ppm"
    convert "$work_dir/screen.ppm" -crop "$((w + 24))x$((h + 24))+$((x - 12))+$((y - 12))" +repage \
        -strip "$2" || fail "cannot write $2"
    echo "wrote $2"
}

# The picture to preview: 200 × 150, drawn here.
convert -size 200x150 gradient:'#f6d365'-'#fda085' \
    -fill '#2b5876' -draw 'circle 60,75 60,25' \
    -fill '#4e4376' -draw 'rectangle 110,35 175,115' \
    -fill white -draw 'polygon 60,40 90,100 30,100' \
    -type TrueColor "BMP3:$work_dir/sample.bmp" || fail "cannot draw the sample picture"

start_program "$program"
wait_intro
shoot_window "$intro" "$root/docs/intro.png"

xdotool mousemove --window "$intro" 130 150 click 1
wait_main 261x230
shoot_window "$main" "$root/docs/main.png"

menu_file c
wait_titled "Select a file to convert ..."
type_and_enter "$work_dir/sample.bmp"
wait_gone "$found"
wait_titled "Select a filename to save ..."
type_and_enter "$work_dir/sample.zft"
wait_gone "$found"
wait_titled "ZFT Toolkit - SP1"
box=$found
xdotool key Return
wait_gone "$box"
wait_titled "ZFT Toolkit - SP1" "$box"
box=$found
type_and_enter "(c) ZFT Toolkit sample"
wait_gone "$box"
wait_titled "ZFT Toolkit - SP1" "$box"
box=$found
xdotool key Return
wait_gone "$box"

menu_file p
wait_titled "Select a file to preview ..."
type_and_enter "$work_dir/sample.zft"
wait_gone "$found"
wait_titled "$work_dir/sample.zft"
xdotool key Return
wait_gone "$found"
wait_main 211x180
# The preview is painted point by point after the box: wait until its last
# point, bottom right, shows the picture's colour.
convert "$work_dir/sample.bmp" -depth 8 "ppm:$work_dir/sample.ppm"
read_geometry "$main"
preview_painted() {
    screenshot "$work_dir/screen.ppm" &&
        crop_to "$work_dir/screen.ppm" "200x150+$((${position%,*} + 5))+$((${position#*,} + 24))" \
            "$work_dir/painted.ppm" &&
        [ "$(pixels_differing "$work_dir/painted.ppm" "$work_dir/sample.ppm")" = 0 ]
}
wait_for "the preview to be painted" preview_painted
shoot_window "$main" "$root/docs/preview.png"

menu_file e
wait_titled "ZFT Toolkit - SP1"
xdotool key alt+y
wait_for "the program to end" program_ended
