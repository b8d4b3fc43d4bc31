# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "hover".

scenario_hover() {
  start_installer "$PACKAGE"
  note "hover shows the hover picture, leaving brings back the normal one"
  point_at_button "$WID"
  wait_button_shows "$WID" "$E2E_WORK/hover.png" || fail "hover picture not shown"
  point_away
  wait_button_shows "$WID" "$E2E_WORK/normal.png" || fail "normal picture not back after leaving"

  note "press, drag off and release runs nothing"
  point_at_button "$WID"
  wait_button_shows "$WID" "$E2E_WORK/hover.png" || fail "hover picture not shown"
  xdotool mousedown 1 sleep 0.2 mousemove 5 5 sleep 0.2 mouseup 1
  ! e2e_wait_window Confirm 2 >/dev/null || fail "a press dragged off the button ran the install"
  [ ! -e "$sys/Aurora.scr" ] || fail "a press dragged off the button installed Aurora.scr"
  wait_button_shows "$WID" "$E2E_WORK/normal.png" || fail "normal picture not back after the drag"
}
