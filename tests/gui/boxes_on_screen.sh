#!/usr/bin/env bash
# Runs the message box tests of the desktop application on an X server of their own whose screen has the given
# size, so that every box sizes itself as on a desktop of that width; run by ctest:
#
#   boxes_on_screen.sh WIDTHxHEIGHT TESTS_GUI TESTS_GUI_START
#
# Each test program runs in the current folder (the build's output folder, where the pictures are).
set -euo pipefail

size=$1
tests_gui=$2
tests_gui_start=$3

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

command -v Xvfb >/dev/null || fail "Xvfb is not installed (scripts/setup installs it)"
work=$(mktemp -d)
xvfb=
cleanup() {
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  [ -z "$xvfb" ] || wait "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display number itself and writes it to descriptor 3 once it accepts clients.
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
deadline=$((SECONDS + 30))
until [ -s "$work/display" ]; do
  kill -0 "$xvfb" 2>/dev/null || fail "Xvfb ended: $(cat "$work/xvfb.log")"
  [ $SECONDS -lt $deadline ] || fail "Xvfb did not start in 30 s: $(cat "$work/xvfb.log")"
  sleep 0.1
done
export DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb TARNIX_EXPECTED_SCREEN_WIDTH="${size%x*}"
# The boxes need no session bus: an address where nothing listens keeps the programs off whatever bus the
# machine has (with none set, libdbus's search for one leaves a buffer that the sanitizer build reports).
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus"
# Nor do they need OpenGL: without this, Qt's xcb platform loads its GLX integration for every window, and with
# Mesa's GL stack installed the GLX library keeps a buffer that the sanitizer build reports as a leak.
export QT_XCB_GL_INTEGRATION=none

# Runs one test of a program; a filter that matched no test would pass without testing anything.
expect_passes="$(cd "$(dirname "$0")/../support" && pwd)/expect_gtest_passes.sh"
failed=0
run_one() {
  local output
  if output=$(sh "$expect_passes" 1 "$1" --gtest_filter="$2" 2>&1); then
    echo "PASS: $2 on a ${size} screen"
  else
    echo "FAIL: $2 on a ${size} screen:"$'\n'"$output" >&2
    failed=1
  fi
}

run_one "$tests_gui" MainWindowTest.EveryMessageBoxShowsEachLineOfItsTextWholeWhereTheScreenAllows
run_one "$tests_gui_start" DesktopApplicationTest.ASecondInstanceOnlyShowsAWarningWithoutTitleAndEndsWithZero
exit $failed
