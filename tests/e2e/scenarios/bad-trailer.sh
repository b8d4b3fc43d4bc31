# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "bad-trailer".

scenario_bad_trailer() {
  note "a package whose trailer does not fit shows the error and stays"
  bad="$E2E_WORK/Install-Aurora.Saver.exe"
  cp "$PACKAGE" "$bad"
  size=$(stat -c %s "$bad")
  set_trailer "$bad" "$((size - 3))"
  start_installer "$bad"
  for click in 1 2; do
    click_install "$WID"
    text=$(box_text Install-aurora)
    [ "$text" = "Stream read error." ] || fail "click $click: error box said: $text"
    answer_box Install-aurora Return
    # Two presses within the double-click time make a double click, which never clicks.
    sleep 1
    e2e_wait_gone Install-aurora 10 || fail "error box did not close"
    kill -0 "$E2E_PID" || fail "the installer ended after an error"
  done
  [ ! -e "$sys/Aurora.Saver.scr" ] || fail "a bad trailer created Aurora.Saver.scr"
  xdotool windowfocus --sync "$WID" key alt+F4
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end after closing"
}
