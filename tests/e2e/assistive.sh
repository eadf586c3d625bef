#!/usr/bin/env bash
# The real program as a screen reader user meets it, through AT-SPI only:
# the intro offers a button to press, which opens the main window; the
# closed intro has left what the screen reader lists; the main window and
# its picture carry names; the exit question's buttons are seen, and Yes
# ends the program with status 0.
#
# usage: assistive.sh path/to/zft-toolkit
set -uo pipefail
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=x11_driver.sh
. "$here/x11_driver.sh"

clear_desktop_environment
in_session_bus "$@"
begin_session
start_atspi
export QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
start_program "$program"

wait_intro
wait_for "the intro, named, as a screen reader sees it" atspi has frame "ZFT Toolkit"
wait_for "the intro's Start button" atspi has "push button" Start
atspi press "push button" Start || fail "the intro's Start button cannot be pressed"

wait_main 261x230
wait_for "the intro to leave what a screen reader lists" atspi lacks "push button" Start
wait_for "the main window, named" atspi has frame "ZFT Toolkit"
wait_for "the picture, named after what it shows" atspi has image logo

# File > Exit from the keyboard, as a screen reader user picks menu items
# (pressed through AT-SPI, an item that opens a box would keep the screen
# reader waiting until the box closed: Qt answers such a press only then).
# The question's buttons are there for the screen reader; Return is Yes.
focus_window "$main"
ask_to_exit
wait_for "the exit question's Yes, as a screen reader sees it" atspi has "push button" Yes
answer_yes_and_end "the program"
echo "PASS"
