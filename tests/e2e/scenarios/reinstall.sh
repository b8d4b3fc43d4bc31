# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "reinstall".

scenario_reinstall() {
  local name='Aurora Borealis' caption='Install-aurora borealis'
  local package="$E2E_WORK/Install-$name.exe" scr="$sys/$name.scr" win="C:\\windows\\system32\\$name.scr"
  note "a first install registers the long name"
  cp "$PACKAGE" "$package"
  start_installer "$package"
  click_install "$WID"
  answer_box Confirm n
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
  [ "$(registered)" = "$win" ] || fail "registered: $(registered)"
  short=$(probe short "$win")
  [ -n "$short" ] && [ "$short" != "$win" ] || fail "no short form of $win: $short"

  note "a reinstall that cannot replace the old screensaver, held open without sharing by another program,"
  note "reports it under the screensaver's name after trying for two seconds, and keeps the old one and its"
  note "registry value"
  printf 'an older Aurora Borealis' >"$scr"
  cp "$scr" "$E2E_WORK/older.scr"
  start_installer "$package"
  /usr/lib/wine/wine64 "$PROBE" hold-until-box "$win" "$caption" 30 </dev/null >"$E2E_WORK/hold.txt" 2>/dev/null &
  local holder=$!
  for _ in $(seq 300); do grep -qs held "$E2E_WORK/hold.txt" && break; sleep 0.1; done
  grep -qs held "$E2E_WORK/hold.txt" || fail "the old screensaver could not be held"
  click_install "$WID"
  text=$(box_text "$caption")
  [ "$text" = "Cannot create file $short." ] || fail "error box said: $text"
  wait "$holder" || fail "the holder saw no error box"
  cmp -s "$scr" "$E2E_WORK/older.scr" || fail "the old screensaver changed"
  ! ls -A "$sys" | grep -qi '^aurora borealis.*tmp$' || fail "the new copy was left behind: $(ls -A "$sys" | grep -i borealis)"
  [ "$(registered)" = "$win" ] || fail "registered: $(registered)"
  answer_box "$caption" Return
  # Two presses within the double-click time make a double click, which never clicks.
  sleep 1
  e2e_wait_gone "$caption" 10 || fail "error box did not close"

  note "a second click, with nothing holding the file, replaces it and keeps its short name"
  click_install "$WID"
  text=$(box_text Confirm)
  [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question was: $text"
  answer_box Confirm n
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
  cmp -s "$scr" "$PAYLOAD" || fail "$name.scr is not the payload"
  [ ! -e "$scr.tmp" ] || fail "the copy stayed under its temporary name"
  [ "$(registered)" = "$short" ] || fail "registered: $(registered)"
  [ "$(probe short "$win")" = "$short" ] || fail "the short name became $(probe short "$win")"
}
