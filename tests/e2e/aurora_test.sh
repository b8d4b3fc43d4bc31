#!/bin/bash
# End-to-end test of the demo screensaver: full-screen animation that ends on
# a key press or a mouse move, and the configuration box.
# Usage: aurora_test.sh PATH/TO/Aurora.scr   (needs WINE_TEMPLATE_PREFIX)
SCR=${1:?usage: aurora_test.sh Aurora.scr}
source "$(dirname "$0")/../tools/e2e-lib.sh"
[ -f "$SCR" ] || fail "no screensaver at $SCR"

SCREEN_W=1024 SCREEN_H=768

# Brightest value of any channel in the screenshot $1, 0..255.
brightest() {
  convert "$1" -separate -evaluate-sequence max -format '%[fx:int(255*maxima)]' info:
}

# Number of pixels that differ between screenshots $1 and $2.
changed_pixels() {
  compare -metric AE "$1" "$2" null: 2>&1 || true
}

# Starts the screensaver full-screen and checks the window and the animation.
# Sets WID.
start_saver() {
  local run=$1 shot="$E2E_WORK/$1"
  # The saver measures pointer moves from where the pointer was at its start.
  xdotool mousemove $((SCREEN_W / 2)) $((SCREEN_H / 2))
  e2e_launch "$SCR" "${@:2}"
  WID=$(e2e_wait_window Aurora 20) || true
  [ -n "$WID" ] || fail "$run: no visible window titled Aurora"

  local geo
  geo=$(xwininfo -id "$WID")
  local x y w h
  x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geo")
  y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geo")
  w=$(awk '/^ *Width:/ {print $2}' <<<"$geo")
  h=$(awk '/^ *Height:/ {print $2}' <<<"$geo")
  [ "$x,$y,$w,$h" = "0,0,$SCREEN_W,$SCREEN_H" ] ||
    fail "$run: window at $x,$y size ${w}x$h, expected the whole ${SCREEN_W}x$SCREEN_H screen"

  # The first frames may still be on their way to the X server.
  local end=$((SECONDS + 10)) max=0
  while :; do
    import -window root "$shot-a.png"
    max=$(brightest "$shot-a.png")
    [ "$max" -ge 100 ] && break
    [ $SECONDS -lt $end ] || fail "$run: screen stays dark (brightest channel $max)"
    sleep 0.1
  done

  end=$((SECONDS + 10))
  local diff=0
  while :; do
    sleep 0.2
    import -window root "$shot-b.png"
    diff=$(changed_pixels "$shot-a.png" "$shot-b.png")
    [ "$diff" -ge 1000 ] && break
    [ $SECONDS -lt $end ] || fail "$run: the picture does not move ($diff pixels changed)"
  done
  note "$run: ${w}x$h window, brightest channel $max, $diff pixels changed"
  kill -0 "$E2E_PID" 2>/dev/null || fail "$run: the screensaver ended by itself"
}

# Expects the screensaver process to end with exit code 0 and its window gone.
expect_end() {
  local run=$1 rc=0
  e2e_wait_exit "$E2E_PID" 5 || rc=$?
  [ $rc -ne 124 ] || fail "$run: the screensaver did not end"
  [ $rc -eq 0 ] || fail "$run: exit code $rc"
  e2e_wait_gone Aurora 5 || fail "$run: the window stays on the screen"
  note "$run: ended with exit code 0"
}

e2e_start_display
e2e_start_wine

# 1. "/s": a key press ends it.
start_saver key /s
xdotool windowfocus --sync "$WID"
xdotool key space
expect_end key

# 2. "/S": a mouse move of 50 pixels ends it.
start_saver mouse /S
xdotool mousemove_relative 50 0
expect_end mouse

# 3. "/c": the configuration box, dismissed with Return.
e2e_launch "$SCR" /c
box=$(e2e_wait_window Aurora 20) || true
[ -n "$box" ] || fail "config: no message box titled Aurora"
kill -0 "$E2E_PID" 2>/dev/null || fail "config: the program ended before the box was answered"
bw=$(xwininfo -id "$box" | awk '/^ *Width:/ {print $2}')
[ "$bw" -lt $SCREEN_W ] || fail "config: the Aurora window is ${bw} wide, not a message box"
xdotool windowfocus --sync "$box"
xdotool key Return
expect_end config

echo "PASS: aurora"
