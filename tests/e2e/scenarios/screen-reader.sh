# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "screen-reader".

scenario_screen_reader() {
  start_installer "$PACKAGE"
  note "start-up loads no accessibility library"
  [ "$(probe module "$TITLE" oleacc.dll)" = absent ] || fail "oleacc is loaded before any screen reader asked"

  note "another process reads one push button, 'Install', at the picture's place, and nothing out of sight"
  local got
  got=$(read_as_screen_reader)
  [ "$got" = "$(expected_reading Install 0)" ] || fail "a screen reader read: $got"
  [ "$(probe module "$TITLE" oleacc.dll)" = loaded ] || fail "oleacc is not loaded after the first request"

  note "the windowed controls out of sight say so themselves"
  got=$(probe hidden "$TITLE")
  [ "$(wc -l <<<"$got")" = 3 ] && ! grep -qv ' invisible offscreen$' <<<"$got" ||
    fail "the child windows said: $got"

  note "hot-tracked under the pointer, and no more once it has left"
  point_at_button "$WID"
  wait_button_shows "$WID" "$E2E_WORK/hover.png" || fail "hover picture not shown"
  got=$(read_as_screen_reader)
  [ "$got" = "$(expected_reading Install 128)" ] || fail "under the pointer a screen reader read: $got"
  point_away
  wait_button_shows "$WID" "$E2E_WORK/normal.png" || fail "normal picture not back after leaving"
  got=$(read_as_screen_reader)
  [ "$got" = "$(expected_reading Install 0)" ] || fail "after leaving a screen reader read: $got"

  note "its default action, from the other process, asks the question, and No installs the payload"
  [ "$(probe press "$TITLE" Install)" = pressed ] || fail "the press failed"
  confirm_installed

  note "a package branded with --button-label names its button so, in any script the code page spells"
  local label
  for label in Installieren 'Instalación rápida'; do
    mkdir -p "$E2E_WORK/label"
    "$MKINSTALLER" --host "$HOST" --payload "$PAYLOAD" --button-label "$label" \
      --output "$E2E_WORK/label/Install-Aurora.exe" 2>"$E2E_WORK/mk.err" ||
      fail "mkinstaller refused: $(cat "$E2E_WORK/mk.err")"
    start_installer "$E2E_WORK/label/Install-Aurora.exe"
    got=$(read_as_screen_reader)
    [ "$got" = "$(expected_reading "$label" 0)" ] || fail "the package labelled '$label' read: $got"
    xdotool windowfocus --sync "$WID" key alt+F4
    e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end after closing"
  done
}
