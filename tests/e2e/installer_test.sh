#!/bin/bash
# End-to-end test of the packaged installer: real window, real clicks and keys,
# real files and registry, in a fresh Wine prefix for each scenario.
# Usage: installer_test.sh SCENARIO Install-Aurora.exe Aurora.scr skin-file probe.exe ARTWORK-DIR InstallerWin.exe
# Scenarios: window, hover, close, install-no, install-yes, bad-trailer, signed,
# plain-append, full-disk, taskbar. Exits 77 (skipped) where a scenario cannot be set up.
SCENARIO=${1:?} PACKAGE=${2:?} PAYLOAD=${3:?} SKIN=${4:?} PROBE=${5:?} ARTWORK=${6:?} HOST=${7:?}
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

# The picture button lies at 351, 210 of the client area, 28 x 9.
BUTTON_X=351 BUTTON_Y=210 BUTTON_W=28 BUTTON_H=9

# Moves the pointer onto the picture button of window $1, arriving from a
# neighbouring pixel so that the move is seen.
point_at_button() {
  local cx cy
  read -r cx cy < <(client_origin "$1")
  xdotool mousemove $((cx + BUTTON_X + 11)) $((cy + BUTTON_Y + 4)) sleep 0.05 \
          mousemove $((cx + BUTTON_X + 14)) $((cy + BUTTON_Y + 4))
}

# Clicks the picture button of window $1, once the window has the focus.
click_install() {
  xdotool windowfocus --sync "$1"
  point_at_button "$1"
  xdotool sleep 0.1 click 1
}

# Moves the pointer well away from the window.
point_away() { xdotool mousemove 5 5 sleep 0.05 mousemove 8 8; }

# Saves the client area of window $1 as $2 (PNG).
grab_client() {
  local cx cy
  read -r cx cy < <(client_origin "$1")
  import -window root -crop "443x304+$cx+$cy" +repage "$2"
}

# Number of pixels that differ between two pictures of the same size.
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }

# Waits until the button area of window $1 shows picture $2 exactly.
wait_button_shows() {
  local end=$((SECONDS + 5)) cx cy
  read -r cx cy < <(client_origin "$1")
  while :; do
    import -window root -crop "${BUTTON_W}x${BUTTON_H}+$((cx + BUTTON_X))+$((cy + BUTTON_Y))" +repage "$E2E_WORK/button.png"
    [ "$(differing "$E2E_WORK/button.png" "$2")" = 0 ] && return 0
    [ $SECONDS -lt "$end" ] || return 1
    sleep 0.1
  done
}

# Prints the text of the box captioned $1 once it shows.
box_text() { { /usr/lib/wine/wine64 "$PROBE" box "$1" 15 2>/dev/null || echo "(no box captioned $1)"; } | tr -d '\r'; }

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

# Installs package $1 (named Install-Aurora.exe) with a click and No, and
# checks that Aurora.scr holds exactly the payload.
install_and_compare() {
  start_installer "$1"
  click_install "$WID"
  text=$(box_text Confirm)
  [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question was: $text"
  cmp -s "$sys/Aurora.scr" "$PAYLOAD" || fail "Aurora.scr differs from the payload"
  answer_box Confirm n
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
}

# Prints "OFFSET SIZE FILESIZE" of the security directory of PE file $1.
security_directory() {
  /usr/bin/python3 -c 'import os, sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
d = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
print(d.VirtualAddress, d.Size, os.path.getsize(sys.argv[1]))' "$1"
}

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
  grab_client "$WID" "$E2E_WORK/client.png"
  face=$(convert "$E2E_WORK/client.png" -format '%[pixel:p{442,100}]' info:)
  convert -size 443x304 "xc:$face" \( "$E2E_WORK/background.ppm" -crop 442x304+8+0 +repage \) -geometry +0+0 -composite \
    "$E2E_WORK/normal.ppm" -geometry +$BUTTON_X+$BUTTON_Y -composite "$E2E_WORK/expected.png"
  [ "$(differing "$E2E_WORK/client.png" "$E2E_WORK/expected.png")" = 0 ] ||
    fail "the client area differs from the pictures in $(differing "$E2E_WORK/client.png" "$E2E_WORK/expected.png") pixels"
  [ "$(convert "$E2E_WORK/client.png" -crop 1x304+442+0 -unique-colors -format '%w' info:)" = 1 ] ||
    fail "column 442 is not one colour"
}

scenario_hover() {
  start_installer "$PACKAGE"
  note "hover shows the hover picture, leaving brings back the normal one"
  point_at_button "$WID"
  wait_button_shows "$WID" "$E2E_WORK/hover.png" || fail "hover picture not shown"
  point_away
  wait_button_shows "$WID" "$E2E_WORK/normal.png" || fail "normal picture not back after leaving"

  note "press, drag off and release runs nothing"
  point_at_button "$WID"
  wait_button_shows "$WID" "$E2E_WORK/hover.png" || fail "hover picture not shown"
  xdotool mousedown 1 sleep 0.2 mousemove 5 5 sleep 0.2 mouseup 1
  ! e2e_wait_window Confirm 2 >/dev/null || fail "a press dragged off the button ran the install"
  [ ! -e "$sys/Aurora.scr" ] || fail "a press dragged off the button installed Aurora.scr"
  wait_button_shows "$WID" "$E2E_WORK/normal.png" || fail "normal picture not back after the drag"
}

scenario_close() {
  note "closing before any click installs nothing"
  start_installer "$PACKAGE"
  xdotool windowfocus --sync "$WID" key alt+F4
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after closing"
  [ ! -e "$sys/Aurora.scr" ] || fail "closing installed Aurora.scr"
  [ -z "$(registered)" ] || fail "closing wrote the registry"
}

scenario_install_no() {
  note "a click installs, asks, and No starts nothing"
  install_and_compare "$PACKAGE"
  cmp -s "$sys/swing.mskn" "$SKIN" || fail "swing.mskn differs from the skin"
  [ "$(registered)" = 'C:\windows\system32\Aurora.scr' ] || fail "registered: $(registered)"
  sleep 0.5
  ! xdotool search --onlyvisible --name '^Aurora$' >/dev/null 2>&1 || fail "No started the screensaver"
}

scenario_install_yes() {
  note "Yes starts the installed screensaver"
  start_installer "$PACKAGE"
  click_install "$WID"
  answer_box Confirm y
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after Yes"
  saver=$(e2e_wait_window Aurora 20) || true
  [ -n "$saver" ] || fail "Yes did not start the screensaver"
  xdotool key space
  e2e_wait_gone Aurora 10 || fail "the screensaver did not end on a key"
}

scenario_bad_trailer() {
  note "a package whose trailer does not fit shows the error and stays"
  bad="$E2E_WORK/Install-Aurora.Saver.exe"
  cp "$PACKAGE" "$bad"
  size=$(stat -c %s "$bad")
  python3 -c 'import struct, sys
with open(sys.argv[1], "r+b") as f:
    f.seek(-4, 2)
    f.write(struct.pack("<i", int(sys.argv[2])))' "$bad" "$((size - 3))"
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

scenario_signed() {
  note "a package signed after packing installs its payload"
  mkdir "$E2E_WORK/signed"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$E2E_WORK/key.pem" -out "$E2E_WORK/cert.pem" -days 2 \
    -subj /CN=InstallerWin-test >/dev/null 2>&1 || fail "openssl could not make a test certificate"
  osslsigncode sign -certs "$E2E_WORK/cert.pem" -key "$E2E_WORK/key.pem" -n "Install Aurora" \
    -in "$PACKAGE" -out "$E2E_WORK/signed/Install-Aurora.exe" >/dev/null || fail "osslsigncode could not sign"
  read -r offset size total < <(security_directory "$E2E_WORK/signed/Install-Aurora.exe")
  [ "$offset" = "$(stat -c %s "$PACKAGE")" ] || fail "the signer padded the package: table at $offset"
  [ $((offset + size)) = "$total" ] || fail "the certificate table does not end the file"
  install_and_compare "$E2E_WORK/signed/Install-Aurora.exe"
}

scenario_plain_append() {
  note "a package made by hand, host and payload and length with nothing between, installs"
  mkdir "$E2E_WORK/plain"
  plain="$E2E_WORK/plain/Install-Aurora.exe"
  cat "$HOST" "$PAYLOAD" >"$plain"
  /usr/bin/python3 -c 'import struct, sys
sys.stdout.buffer.write(struct.pack("<i", int(sys.argv[1])))' "$(stat -c %s "$PAYLOAD")" >>"$plain"
  install_and_compare "$plain"
}

# Runs the probe with arguments $@, its output without CRs.
probe() { /usr/lib/wine/wine64 "$PROBE" "$@" 2>/dev/null | tr -d '\r'; }

# Clicks the screen at $1 $2, arriving from a neighbouring pixel.
click_at() { xdotool mousemove $(($1 - 2)) "$2" sleep 0.05 mousemove "$1" "$2" sleep 0.1 click 1; }

# Clicks the middle of the one button of Wine's taskbar that stands for the
# installer showing window $TITLE.
click_entry() {
  local x y w h
  read -r x y w h < <(probe tray "$TITLE" 5) || fail "no taskbar button for the installer"
  click_at $((x + w / 2)) $((y + h / 2))
}

# Makes Wine's desktop window the active one, as a click on another program would.
click_desktop() {
  click_at 1000 40
  [ "$(probe foreground "shell - Wine desktop" 5)" = "shell - Wine desktop" ] || fail "the desktop did not take the focus"
}

scenario_taskbar() {
  note "in Wine's desktop with its taskbar, for the rest of the scenario"
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
  # A desktop named "shell" has Wine's taskbar.
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1
  saver="$E2E_WORK/Install-Aurora.Saver.exe"
  cp "$PACKAGE" "$saver"

  note "one taskbar entry for the running program, titled Install-aurora, on Wine's taskbar too"
  start_installer "$saver"
  entries=$(probe taskbar "$TITLE" 5)
  [ "$entries" = "Install-aurora" ] || fail "windows with a taskbar button: ${entries:-none}"
  [ "$(probe tray "$TITLE" 5 | wc -l)" = 1 ] || fail "Wine's taskbar shows $(probe tray "$TITLE" 5 | wc -l) buttons"

  note "the entry cannot minimise a window without a minimise button"
  probe entry-minimize "$TITLE" 5 || fail "no taskbar window to minimise"
  sleep 0.5
  [ -n "$(probe origin "$TITLE" 1)" ] || fail "the installer window went from the screen"

  note "a click on the entry brings the installer window forward"
  click_desktop
  click_entry
  active=$(probe foreground "$TITLE" 5)
  [ "$active" = "$TITLE" ] || fail "after a click on the entry the active window is $active"

  note "the taskbar menu's Close closes the window and ends the program, installing nothing"
  probe entry-close "$TITLE" 5 || fail "no taskbar window to close"
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after the taskbar's Close"
  [ ! -e "$sys/Aurora.Saver.scr" ] || fail "closing installed Aurora.Saver.scr"
  [ -z "$(registered)" ] || fail "closing wrote the registry"

  note "with the question open, the entry brings the question forward, and its Close waits for an answer"
  start_installer "$saver"
  read -r cx cy < <(probe origin "$TITLE" 5)
  click_at $((cx + BUTTON_X + 14)) $((cy + BUTTON_Y + 4))
  text=$(box_text Confirm)
  [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question was: $text"
  click_desktop
  click_entry
  active=$(probe foreground Confirm 5)
  [ "$active" = Confirm ] || fail "with the question open, a click on the entry activated $active"
  probe entry-close "$TITLE" 5 || fail "no taskbar window to close"
  sleep 0.5
  kill -0 "$E2E_PID" 2>/dev/null || fail "the taskbar's Close ended the program under its open question"
  read -r bx by < <(probe button Confirm '&No' 5) || fail "no No button"
  click_at "$bx" "$by"
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
  cmp -s "$sys/Aurora.Saver.scr" "$PAYLOAD" || fail "Aurora.Saver.scr differs from the payload"

  note "code page 932: a package whose name starts with a double-byte character keeps that character whole"
  # Wine takes its code pages from the locale, which need not be installed on the machine.
  mkdir "$E2E_WORK/locale"
  localedef -i ja_JP -f UTF-8 "$E2E_WORK/locale/ja_JP.UTF-8" >/dev/null 2>&1 || true
  [ -f "$E2E_WORK/locale/ja_JP.UTF-8/LC_CTYPE" ] || fail "localedef could not make ja_JP.UTF-8 (Debian's locales package)"
  # In code page 932 "ア" is 0x83 0x41, its second byte an "A".
  cp "$PACKAGE" "$E2E_WORK/アBC.exe"
  LOCPATH="$E2E_WORK/locale" LC_ALL=ja_JP.UTF-8 start_installer "$E2E_WORK/アBC.exe"
  entries=$(probe taskbar "$TITLE" 5)
  [ "$entries" = "アbc" ] || fail "windows with a taskbar button: ${entries:-none} ($(od -An -tx1 <<<"$entries"))"
  probe entry-close "$TITLE" 5 || fail "no taskbar window to close"
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after the taskbar's Close"
}

scenario_full_disk() {
  note "an install onto a full disk shows the write error and leaves nothing behind"
  [ "$(id -u)" -eq 0 ] || { note "SKIPPED: mounting a small disk needs root"; exit 77; }
  start_installer "$PACKAGE"
  # The probe cannot start once the system directory is gone: it starts now and
  # waits for the box.
  /usr/lib/wine/wine64 "$PROBE" box Install-aurora 30 </dev/null >"$E2E_WORK/box.txt" 2>"$E2E_WORK/probe.err" &
  probe=$!
  for _ in $(seq 200); do grep -qs ready "$E2E_WORK/probe.err" && break; sleep 0.1; done
  grep -qs ready "$E2E_WORK/probe.err" || fail "the probe did not start"
  # The system directory becomes a small, full disk once the programs have
  # loaded (Wine loads its own DLLs from there at start).
  mount -t tmpfs -o size=64k installerwin-e2e-full "$sys" 2>/dev/null ||
    { note "SKIPPED: mounting a tmpfs is refused here"; exit 77; }
  E2E_MOUNTS+=("$sys")
  dd if=/dev/zero of="$sys/filler" bs=4k 2>/dev/null || true
  before=$(ls -A "$sys")
  click_install "$WID"
  wait "$probe" || true
  text=$(tr -d '\r' <"$E2E_WORK/box.txt")
  [ "$text" = "Stream write error." ] || fail "error box said: ${text:-nothing}"
  [ "$(ls -A "$sys")" = "$before" ] || fail "the full disk holds new files: $(ls -A "$sys" | tr '\n' ' ')"
  answer_box Install-aurora Return
  e2e_wait_gone Install-aurora 10 || fail "error box did not close"
  xdotool windowfocus --sync "$WID" key alt+F4
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end after closing"
  umount "$sys" && E2E_MOUNTS=()
  [ ! -e "$sys/Aurora.scr" ] || fail "Aurora.scr exists"
  [ ! -e "$sys/swing.mskn" ] || fail "swing.mskn exists"
  [ -z "$(registered)" ] || fail "the registry names $(registered)"
}

e2e_start_display
e2e_start_wine
sys=$(SYSDIR_UNIX)
point_away

# The pictures as libjpeg decodes them.
djpeg -ppm -outfile "$E2E_WORK/background.ppm" "$ARTWORK/background.jpg"
djpeg -ppm -outfile "$E2E_WORK/normal.ppm" "$ARTWORK/button-normal.jpg"
djpeg -ppm -outfile "$E2E_WORK/hover.ppm" "$ARTWORK/button-hover.jpg"
convert "$E2E_WORK/normal.ppm" "$E2E_WORK/normal.png"
convert "$E2E_WORK/hover.ppm" "$E2E_WORK/hover.png"

case "$SCENARIO" in
  window) scenario_window ;;
  hover) scenario_hover ;;
  close) scenario_close ;;
  install-no) scenario_install_no ;;
  install-yes) scenario_install_yes ;;
  bad-trailer) scenario_bad_trailer ;;
  signed) scenario_signed ;;
  plain-append) scenario_plain_append ;;
  full-disk) scenario_full_disk ;;
  taskbar) scenario_taskbar ;;
  *) fail "no scenario $SCENARIO" ;;
esac
note "passed"
