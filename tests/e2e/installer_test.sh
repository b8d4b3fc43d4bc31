#!/bin/bash
# End-to-end test of the packaged installer: real window, real clicks and keys,
# real files and registry in a fresh Wine prefix per run.
# Usage: installer_test.sh Install-Aurora.exe Aurora.scr skin-file boxtext.exe
PACKAGE=${1:?} PAYLOAD=${2:?} SKIN=${3:?} BOXTEXT=${4:?}
source "$(dirname "$0")/../tools/e2e-lib.sh"

TITLE='Install Screensaver'
SYSDIR_UNIX() { echo "$WINEPREFIX/drive_c/windows/system32"; }

# Client origin of window $1 on the screen: Wine draws a 3-pixel frame and a
# 22-pixel caption around the client area.
client_origin() {
  local geo x y
  geo=$(xwininfo -id "$1")
  x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geo")
  y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geo")
  echo "$((x + 3)) $((y + 22))"
}

# Clicks the Install button of window $1.
click_install() {
  local cx cy
  read -r cx cy < <(client_origin "$1")
  xdotool mousemove $((cx + 351 + 30)) $((cy + 210 + 12)) sleep 0.1 click 1
}

# Prints the text of the box captioned $1 once it shows.
box_text() { /usr/lib/wine/wine64 "$BOXTEXT" "$1" 15 2>/dev/null | tr -d '\r'; }

# Answers the box captioned $1 with key $2.
answer_box() {
  local wid
  wid=$(e2e_wait_window "$1" 15) || true
  [ -n "$wid" ] || fail "no box captioned $1"
  xdotool windowfocus --sync "$wid" key "$2"
}

registered() {
  /usr/lib/wine/wine64 reg query 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE 2>/dev/null |
    tr -d '\r' | sed -n 's/.*SCRNSAVE.EXE[[:space:]]*REG_SZ[[:space:]]*//p'
}

start_installer() {
  e2e_launch "$1"
  WID=$(e2e_wait_window "$TITLE" 20) || true
  [ -n "$WID" ] || fail "no window titled $TITLE"
}

e2e_start_display
e2e_start_wine
sys=$(SYSDIR_UNIX)

note "the window"
start_installer "$PACKAGE"
geo=$(xwininfo -id "$WID")
w=$(awk '/^ *Width:/ {print $2}' <<<"$geo"); h=$(awk '/^ *Height:/ {print $2}' <<<"$geo")
[ "$w x $h" = "449 x 329" ] || fail "window is $w x $h, want a 443 x 304 client area in a thin frame"
x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geo"); y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geo")
[ "$x $y" = "$(((1024 - w) / 2)) $(((768 - h) / 2))" ] || fail "window at $x,$y is not centred"

note "closing before any click installs nothing"
xdotool windowfocus --sync "$WID" key alt+F4
e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after closing"
[ ! -e "$sys/Aurora.scr" ] || fail "closing installed Aurora.scr"
[ -z "$(registered)" ] || fail "closing wrote the registry"

note "a click installs, asks, and No starts nothing"
start_installer "$PACKAGE"
click_install "$WID"
text=$(box_text Confirm)
[ "$text" = "Screensaver installation completed, run it now?" ] || fail "question was: $text"
cmp -s "$sys/Aurora.scr" "$PAYLOAD" || fail "Aurora.scr differs from the payload"
cmp -s "$sys/swing.mskn" "$SKIN" || fail "swing.mskn differs from the skin"
[ "$(registered)" = 'C:\windows\system32\Aurora.scr' ] || fail "registered: $(registered)"
answer_box Confirm n
e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
sleep 0.5
! xdotool search --onlyvisible --name '^Aurora$' >/dev/null 2>&1 || fail "No started the screensaver"

note "Yes starts the installed screensaver"
start_installer "$PACKAGE"
click_install "$WID"
answer_box Confirm y
e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after Yes"
saver=$(e2e_wait_window Aurora 20) || true
[ -n "$saver" ] || fail "Yes did not start the screensaver"
xdotool key space
e2e_wait_gone Aurora 10 || fail "the screensaver did not end on a key"

note "a package whose trailer does not fit shows the error and stays"
bad="$E2E_WORK/Install-Aurora.Saver.exe"
cp "$PACKAGE" "$bad"
size=$(stat -c %s "$bad")
python3 - "$bad" "$((size - 3))" <<'PY'
import struct, sys
with open(sys.argv[1], "r+b") as f:
    f.seek(-4, 2)
    f.write(struct.pack("<i", int(sys.argv[2])))
PY
start_installer "$bad"
for click in 1 2; do
  click_install "$WID"
  text=$(box_text Install-aurora)
  [ "$text" = "Stream read error." ] || fail "click $click: error box said: $text"
  answer_box Install-aurora Return
  e2e_wait_gone Install-aurora 10 || fail "error box did not close"
  kill -0 "$E2E_PID" || fail "the installer ended after an error"
done
[ ! -e "$sys/Aurora.Saver.scr" ] || fail "a bad trailer created Aurora.Saver.scr"
xdotool windowfocus --sync "$WID" key alt+F4
e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end after closing"
note "passed"
