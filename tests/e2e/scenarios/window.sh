# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "window".

scenario_window() {
  note "the window"
  start_installer "$PACKAGE"
  geo=$(xwininfo -id "$WID")
  w=$(awk '/^ *Width:/ {print $2}' <<<"$geo"); h=$(awk '/^ *Height:/ {print $2}' <<<"$geo")
  [ "$w x $h" = "449 x 329" ] || fail "window is $w x $h, want a 443 x 304 client area in a thin frame"
  x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geo"); y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geo")
  [ "$x $y" = "$(((1024 - w) / 2)) $(((768 - h) / 2))" ] || fail "window at $x,$y is not centred"
  # Thin fixed frame, no minimise or maximise button, no scroll bar, 443 x 304 client.
  style=$(/usr/lib/wine/wine64 "$PROBE" window "$TITLE" 5 2>/dev/null | tr -d '\r')
  [ "$style" = "0 0 0 0 0 443x304" ] || fail "frame min max hscroll vscroll client: $style"

  note "the face: background shifted 8 left, the button at 351, 210, the window colour in column 442"
  check_face "$WID"
}
