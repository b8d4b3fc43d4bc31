# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "density-limits".

scenario_density_limits() {
  note "a posted WM_DPICHANGED, whatever its lParam points at, changes nothing"
  start_installer "$PACKAGE"
  local before lparam dpi geo
  before=$(xwininfo -id "$WID" | grep -E 'Absolute|Width|Height')
  for lparam in 0 1 0x10000; do
    probe post "$TITLE" "dpichanged:$lparam" 5 || fail "could not post WM_DPICHANGED with $lparam"
  done
  sleep 0.5
  kill -0 "$E2E_PID" 2>/dev/null || fail "a posted WM_DPICHANGED ended the program"
  [ "$(xwininfo -id "$WID" | grep -E 'Absolute|Width|Height')" = "$before" ] || fail "a posted WM_DPICHANGED moved the window"
  [ "$(probe window "$TITLE" 5)" = "0 0 0 0 0 443x304" ] || fail "a posted WM_DPICHANGED scaled the window"
  xdotool windowfocus --sync "$WID" key alt+F4
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end after closing"

  for dpi in 0 95 481; do
    note "LogPixels $dpi, a density no screen has: the window appears, fits the screen, and Enter installs"
    e2e_set_density "$dpi"
    start_installer "$PACKAGE"
    geo=$(xwininfo -id "$WID")
    read -r x y w h < <(awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4}
                              /^ *Width:/ {w = $2} /^ *Height:/ {print x, y, w, $2}' <<<"$geo")
    [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 1024 ] && [ $((y + h)) -le 768 ] ||
      fail "at LogPixels $dpi the ${w}x$h window at $x,$y does not fit the screen"
    xdotool windowfocus --sync "$WID" key Return
    confirm_installed "at LogPixels $dpi"
    rm -f "$sys/Aurora.scr"
  done

  note "LogPixels 65535: the program asks the system for nothing larger than at 480, and its window appears."
  note "(Wine's own caption, drawn at that density, then takes gigabytes: no window of any program is usable.)"
  e2e_set_density 65535
  got=$(probe density)
  [ "${got% *}" = "480 480 80 160" ] || fail "at LogPixels 65535 the framework works with: $got"
  start_installer "$PACKAGE"
  kill "$E2E_PID"
}
