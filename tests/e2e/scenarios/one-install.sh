# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "one-install".

scenario_one_install() {
  note "while the question waits, a screen reader's presses, a posted click and a posted Enter start no"
  note "second install: one question shows, and No ends the program"
  start_installer "$PACKAGE"
  local got
  got=$(probe press-many "$TITLE" Install 20)
  note "  $(tr '\n' ' ' <<<"$got")"
  e2e_wait_window Confirm 15 >/dev/null || fail "no question after the presses"
  probe post "$TITLE" click 5 || fail "could not post a click"
  probe post "$TITLE" enter 5 || fail "could not post Enter"
  sleep 1
  [ "$(e2e_windows Confirm | wc -l)" = 1 ] || fail "$(e2e_windows Confirm | wc -l) questions show"
  got=$(probe press "$TITLE" Install 5 || true)
  [ "$got" = failed ] || fail "a screen reader could press the button under the question: $got"
  cmp -s "$sys/Aurora.scr" "$PAYLOAD" || fail "Aurora.scr differs from the payload"
  answer_box Confirm n
  ! e2e_wait_window Confirm 2 >/dev/null || fail "a second question followed the first"
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
}
