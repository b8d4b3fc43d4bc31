# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "install-yes".

scenario_install_yes() {
  note "a close request to the window under the question, as taskkill without /F sends, is ignored"
  start_installer "$PACKAGE"
  click_install "$WID"
  text=$(box_text Confirm)
  [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question was: $text"
  probe close "$TITLE" 5 || fail "no window titled $TITLE to close"
  sleep 0.5
  kill -0 "$E2E_PID" 2>/dev/null || fail "a close request ended the program under its open question"
  [ -n "$(e2e_windows Confirm)" ] || fail "the question went away unanswered"

  note "Yes starts the installed screensaver"
  answer_box Confirm y
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after Yes"
  saver=$(e2e_wait_window Aurora 20) || true
  [ -n "$saver" ] || fail "Yes did not start the screensaver"
  xdotool key space
  e2e_wait_gone Aurora 10 || fail "the screensaver did not end on a key"
}
