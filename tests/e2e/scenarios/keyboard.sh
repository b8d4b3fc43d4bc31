# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "keyboard".

scenario_keyboard() {
  note "Escape closes the window and installs nothing"
  start_installer "$PACKAGE"
  xdotool windowfocus --sync "$WID" key Escape
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after Escape"
  [ ! -e "$sys/Aurora.scr" ] || fail "Escape installed Aurora.scr"
  [ -z "$(registered)" ] || fail "Escape wrote the registry"

  note "Enter, pressed and released in the window, installs as a click does"
  start_installer "$PACKAGE"
  xdotool windowfocus --sync "$WID" key Return
  confirm_installed
  rm -f "$sys/Aurora.scr"

  note "typed text never reaches the destination: the keypad's Enter installs into the system directory"
  start_installer "$PACKAGE"
  xdotool windowfocus --sync "$WID" type --delay 20 'Saver\'
  xdotool key BackSpace Tab space KP_Enter
  confirm_installed "in the system directory"
  [ "$(registered)" = 'C:\windows\system32\Aurora.scr' ] || fail "registered: $(registered)"
  rm -f "$sys/Aurora.scr"

  note "a held Enter asks once, on its release, and never goes on to answer Yes"
  start_installer "$PACKAGE"
  xdotool windowfocus --sync "$WID" keydown Return sleep 0.2 keydown Return sleep 0.2 keydown Return keyup Return
  e2e_wait_window Confirm 15 >/dev/null || fail "no question after Enter was released"
  sleep 1
  [ "$(e2e_windows Confirm | wc -l)" = 1 ] || fail "$(e2e_windows Confirm | wc -l) questions show"
  ! xdotool search --onlyvisible --name '^Aurora$' >/dev/null 2>&1 || fail "a held Enter started the screensaver"
  answer_box Confirm n
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
  cmp -s "$sys/Aurora.scr" "$PAYLOAD" || fail "Aurora.scr differs from the payload"
}
