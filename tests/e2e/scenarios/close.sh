# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "close".

scenario_close() {
  note "closing before any click installs nothing"
  start_installer "$PACKAGE"
  xdotool windowfocus --sync "$WID" key alt+F4
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after closing"
  [ ! -e "$sys/Aurora.scr" ] || fail "closing installed Aurora.scr"
  [ -z "$(registered)" ] || fail "closing wrote the registry"
}
