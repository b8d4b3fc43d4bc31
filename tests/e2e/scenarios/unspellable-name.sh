# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "unspellable-name".

scenario_unspellable_name() {
  note "a package whose own name has no ANSI spelling names no file it can create: the error shows,"
  note "nothing is written, and the window stays"
  mkdir "$E2E_WORK/downloads"
  cp "$PACKAGE" "$E2E_WORK/downloads/Install-极光.exe"
  before=$(ls -A "$sys")
  start_installer "$E2E_WORK/downloads/Install-极光.exe"
  # The system spells the name Install-??.exe in the ANSI code page.
  click_install "$WID"
  text=$(box_text 'Install-??')
  [ "$text" = 'Cannot create file C:\windows\system32\??.scr.' ] || fail "error box said: $text"
  answer_box 'Install-\?\?' Return
  e2e_wait_gone 'Install-\?\?' 10 || fail "error box did not close"
  kill -0 "$E2E_PID" || fail "the installer ended after an error"
  [ "$(ls -A "$sys")" = "$before" ] || fail "the system directory changed: $(ls -A "$sys" | tr '\n' ' ')"
  [ -z "$(registered)" ] || fail "the registry names $(registered)"
  xdotool windowfocus --sync "$WID" key alt+F4
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end after closing"

  note "a name that the code page spells by its nearest letters installs under that spelling"
  cp "$PACKAGE" "$E2E_WORK/downloads/Install-Łukasz.exe"
  start_installer "$E2E_WORK/downloads/Install-Łukasz.exe"
  click_install "$WID"
  text=$(box_text Confirm)
  [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question was: $text"
  cmp -s "$sys/Lukasz.scr" "$PAYLOAD" ||
    fail "Lukasz.scr is not the payload: $(ls -A "$sys" | grep -i '\.scr$' | tr '\n' ' ')"
  [ "$(registered)" = 'C:\windows\system32\Lukasz.scr' ] || fail "registered: $(registered)"
  answer_box Confirm n
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
}
