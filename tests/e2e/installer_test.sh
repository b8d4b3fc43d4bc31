#!/bin/bash
# End-to-end test of the packaged installer: real window, real clicks and keys,
# real files and registry, in a fresh Wine prefix for each scenario.
# Usage: installer_test.sh SCENARIO Install-Aurora.exe Aurora.scr skin-file probe.exe ARTWORK-DIR InstallerWin.exe
#        planted.dll
# Scenarios: window, hover, close, install-no, install-yes, unspellable-name,
# bad-trailer, signed, plain-append, full-disk, reinstall, branded, branded-signed, taskbar, deb,
# zip, deb-cmake, density, density-limits, keyboard, one-install, screen-reader, inspect, languages.
# Exits 77 (skipped) where a scenario cannot be set up. The branded
# ones take from the environment: BRAND_DIR (artwork, and package/ made with it by the CMake
# function), MKINSTALLER, MKINSTALLER_EXE (the package maker, native and for
# Windows) and INSTALLERWIN_VERSION; deb, zip and deb-cmake take DIST_DIR, where
# scripts/release wrote its archives.
SCENARIO=${1:?} PACKAGE=${2:?} PAYLOAD=${3:?} SKIN=${4:?} PROBE=${5:?} ARTWORK=${6:?} HOST=${7:?} PLANTED=${8:?}
source "$(dirname "$0")/../tools/e2e-lib.sh"
# Wine reads file names and arguments in the locale's character set: UTF-8, as written here.
export LC_ALL=C.UTF-8

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

# The background picture in folder $1 and the button's pictures $2 (normal)
# and $3 (hover) as libjpeg decodes them, for the comparisons below.
decode_pictures() {
  djpeg -ppm -outfile "$E2E_WORK/background.ppm" "$1/background.jpg"
  djpeg -ppm -outfile "$E2E_WORK/normal.ppm" "$1/$2"
  djpeg -ppm -outfile "$E2E_WORK/hover.ppm" "$1/$3"
  convert "$E2E_WORK/normal.ppm" "$E2E_WORK/normal.png"
  convert "$E2E_WORK/hover.ppm" "$E2E_WORK/hover.png"
}

# The client area of window $1 shows the background shifted 8 left, the
# button's normal picture at 351, 210 and the window colour in column 442.
check_face() {
  grab_client "$1" "$E2E_WORK/client.png"
  face=$(convert "$E2E_WORK/client.png" -format '%[pixel:p{442,100}]' info:)
  convert -size 443x304 "xc:$face" \( "$E2E_WORK/background.ppm" -crop 442x304+8+0 +repage \) -geometry +0+0 -composite \
    "$E2E_WORK/normal.ppm" -geometry +$BUTTON_X+$BUTTON_Y -composite "$E2E_WORK/expected.png"
  [ "$(differing "$E2E_WORK/client.png" "$E2E_WORK/expected.png")" = 0 ] ||
    fail "the client area differs from the pictures in $(differing "$E2E_WORK/client.png" "$E2E_WORK/expected.png") pixels"
  [ "$(convert "$E2E_WORK/client.png" -crop 1x304+442+0 -unique-colors -format '%w' info:)" = 1 ] ||
    fail "column 442 is not one colour"
}

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
# checks that Aurora.scr holds exactly the payload. With $2, the button is
# first read as a screen reader reads it, named $2.
install_and_compare() {
  start_installer "$1"
  if [ $# -gt 1 ]; then
    got=$(read_as_screen_reader)
    [ "$got" = "$(expected_reading "$2" 0)" ] || fail "a screen reader read: $got"
  fi
  click_install "$WID"
  text=$(box_text Confirm)
  [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question was: $text"
  # Named as the installer names it: after itself, less "Install-".
  local name=${1##*[\\/]}
  name=${name%.exe} name=${name#Install-}
  cmp -s "$sys/$name.scr" "$PAYLOAD" || fail "$name.scr differs from the payload"
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
  check_face "$WID"
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
  note "a click installs, asks, and No starts nothing; from a download folder named in two scripts,"
  note "outside the ANSI code page, with a comctl32.dll beside the package that is never loaded"
  downloads="$WINEPREFIX/drive_c/users/Łukasz 张三/Downloads"
  mkdir -p "$downloads"
  cp "$PACKAGE" "$downloads/Install-Aurora.exe"
  # Taken by the loader, it leaves NAME.loaded beside itself, NAME spelt as the import names it.
  cp "$PLANTED" "$downloads/comctl32.dll"
  install_and_compare 'C:\users\Łukasz 张三\Downloads\Install-Aurora.exe'
  ! ls "$downloads" | grep -qi '\.loaded$' || fail "the comctl32.dll beside the package was loaded"
  cmp -s "$sys/swing.mskn" "$SKIN" || fail "swing.mskn differs from the skin"
  [ "$(registered)" = 'C:\windows\system32\Aurora.scr' ] || fail "registered: $(registered)"
  sleep 0.5
  ! xdotool search --onlyvisible --name '^Aurora$' >/dev/null 2>&1 || fail "No started the screensaver"
}

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

scenario_install_yes() {
  note "a close request to the window under the question, as taskkill without /F sends, is ignored"
  start_installer "$PACKAGE"
  click_install "$WID"
  text=$(box_text Confirm)
  [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question was: $text"
  probe close "$TITLE" 5 || fail "no window titled $TITLE to close"
  sleep 0.5
  kill -0 "$E2E_PID" 2>/dev/null || fail "a close request ended the program under its open question"
  [ -n "$(e2e_windows Confirm)" ] || fail "the question went away unanswered"

  note "Yes starts the installed screensaver"
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

# Signs program file $1 into $2 with a throw-away certificate.
sign() {
  [ -f "$E2E_WORK/cert.pem" ] ||
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$E2E_WORK/key.pem" -out "$E2E_WORK/cert.pem" -days 2 \
      -subj /CN=InstallerWin-test >/dev/null 2>&1 || fail "openssl could not make a test certificate"
  osslsigncode sign -certs "$E2E_WORK/cert.pem" -key "$E2E_WORK/key.pem" -n "Install Aurora" \
    -in "$1" -out "$2" >/dev/null || fail "osslsigncode could not sign $1"
}

scenario_signed() {
  note "a package signed after packing installs its payload"
  mkdir "$E2E_WORK/signed"
  sign "$PACKAGE" "$E2E_WORK/signed/Install-Aurora.exe"
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
  # The window's caption is in Japanese there; the application's title, from the file name, stays.
  local TITLE='スクリーン セーバーのインストール'
  LOCPATH="$E2E_WORK/locale" LC_ALL=ja_JP.UTF-8 start_installer "$E2E_WORK/アBC.exe"
  entries=$(LOCPATH="$E2E_WORK/locale" LC_ALL=ja_JP.UTF-8 probe taskbar "$TITLE" 5)
  [ "$entries" = "アbc" ] || fail "windows with a taskbar button: ${entries:-none} ($(od -An -tx1 <<<"$entries"))"
  LOCPATH="$E2E_WORK/locale" LC_ALL=ja_JP.UTF-8 probe entry-close "$TITLE" 5 || fail "no taskbar window to close"
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after the taskbar's Close"
}

# The user's language: the question, the window's caption and a screen
# reader's name for the button, under Wine set up like a Windows in that
# language (its UI language and ANSI code page come from the locale).
scenario_languages() {
  mkdir "$E2E_WORK/locale"
  local locale
  for locale in de_DE de_CH ru_RU ja_JP ar_SA zh_HK th_TH; do
    localedef -i "$locale" -f UTF-8 "$E2E_WORK/locale/$locale.UTF-8" >/dev/null 2>&1 || true
    [ -f "$E2E_WORK/locale/$locale.UTF-8/LC_CTYPE" ] || fail "localedef could not make $locale.UTF-8"
  done
  # locale | code page | window caption | box caption | question; English where no table serves.
  local rows=(
    "C.UTF-8|1252|Install Screensaver|Confirm|Screensaver installation completed, run it now?"
    "de_DE.UTF-8|1252|Bildschirmschoner installieren|Bestätigen|Der Bildschirmschoner wurde installiert. Jetzt starten?"
    "de_CH.UTF-8|1252|Bildschirmschoner installieren|Bestätigen|Der Bildschirmschoner wurde installiert. Jetzt starten?"
    "ru_RU.UTF-8|1251|Установить заставку|Подтверждение|Установка заставки завершена. Запустить её сейчас?"
    "ja_JP.UTF-8|932|スクリーン セーバーのインストール|確認|スクリーン セーバーのインストールが完了しました。今すぐ実行しますか？"
    "ar_SA.UTF-8|1256|تثبيت شاشة التوقف|تأكيد|اكتمل تثبيت شاشة التوقف. هل تريد تشغيلها الآن؟"
    "zh_HK.UTF-8|950|安裝螢幕保護程式|確認|螢幕保護程式安裝完成，要立即執行嗎？"
    "th_TH.UTF-8|874|Install Screensaver|Confirm|Screensaver installation completed, run it now?"
  )
  local row cp title caption question text package=$PACKAGE
  for row in "${rows[@]}" "de_DE.UTF-8|1252|Bildschirmschoner installieren|Bestätigen|Aurora ist installiert. Jetzt starten?|branded"; do
    IFS='|' read -r locale cp title caption question branded <<<"$row"
    note "${branded:+a package branded with its own German words, }$locale: \"$question\""
    [ -z "$branded" ] || package="$BRAND_DIR/package/Install-Aurora.exe"
    export LOCPATH="$E2E_WORK/locale" LC_ALL=$locale LANG=$locale
    e2e_launch "$package"
    WID=$(e2e_wait_window "$title" 20) || fail "no window titled $title"
    if [ "$locale" = de_CH.UTF-8 ]; then
      # A screen reader reads the button's name and action in the user's language too.
      point_away
      text=$(TITLE=$title read_as_screen_reader)
      [ "$text" = "$(TITLE=$title expected_reading Installieren 0 Drücken)" ] || fail "a screen reader read: $text"
    fi
    click_install "$WID"
    text=$(/usr/lib/wine/wine64 "$PROBE" box "$caption" 15 2>/dev/null | tr -d '\r' | iconv -f "CP$cp" -t UTF-8)
    [ "$text" = "$question" ] || fail "$locale: the box captioned $caption said: ${text:-nothing}"
    kill "$E2E_PID"
    wait "$E2E_PID" 2>/dev/null || true
    e2e_wait_gone "$caption" 15 || fail "$locale: the box stayed after the installer ended"
  done

  note "ru_RU.UTF-8: an error in Russian, in the box captioned with the application's title"
  local bad="$E2E_WORK/Install-Aurora.exe"
  cp "$PACKAGE" "$bad"
  python3 -c 'import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(-4, 2)
    f.write((0x7FFFFFFF).to_bytes(4, "little"))' "$bad"
  export LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8
  e2e_launch "$bad"
  WID=$(e2e_wait_window "Установить заставку" 20) || fail "no window titled Установить заставку"
  click_install "$WID"
  text=$(/usr/lib/wine/wine64 "$PROBE" box Install-aurora 15 2>/dev/null | tr -d '\r' | iconv -f CP1251 -t UTF-8)
  [ "$text" = "Ошибка чтения потока." ] || fail "the error box said: ${text:-nothing}"
  kill "$E2E_PID"
  wait "$E2E_PID" 2>/dev/null || true
  export LC_ALL=C.UTF-8 LANG=C.UTF-8
  unset LOCPATH
}

# What a screen reader finds in window $TITLE when it reads its client object
# from another process (see the probe's "access").
read_as_screen_reader() { probe access "$TITLE" 10; }

# The lines a screen reader should read: one push button named $1 at the
# picture's place, in state $2, its action $3 (by default "Press").
expected_reading() {
  local ox oy
  read -r ox oy < <(probe origin "$TITLE")
  printf "children 1\n1 push-button '%s' %d %d %d %d state %d action '%s'\nhit 1\npoint 1 '%s'" \
    "$1" $((ox + BUTTON_X)) $((oy + BUTTON_Y)) $BUTTON_W $BUTTON_H "$2" "${3:-Press}" "$1"
}

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
  text=$(box_text Confirm)
  [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question was: $text"
  cmp -s "$sys/Aurora.scr" "$PAYLOAD" || fail "Aurora.scr differs from the payload"
  answer_box Confirm n
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"

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

# The probe cannot start once the system directory is gone: this starts one
# now that waits for the installer's error box and writes its text to $1;
# $probe is its process.
watch_for_box() {
  /usr/lib/wine/wine64 "$PROBE" box Install-aurora 30 </dev/null >"$1" 2>"$1.err" &
  probe=$!
  for _ in $(seq 200); do grep -qs ready "$1.err" && break; sleep 0.1; done
  grep -qs ready "$1.err" || fail "the probe did not start"
}

# Clicks Install with the small disk full: the box watch_for_box $1 watches
# watches says the write failed, the disk holds what it held, and box and
# installer are closed.
install_fails_to_write() {
  local before
  before=$(ls -A "$sys")
  click_install "$WID"
  wait "$probe" || true
  text=$(tr -d '\r' <"$1")
  [ "$text" = "Stream write error." ] || fail "error box said: ${text:-nothing}"
  [ "$(ls -A "$sys")" = "$before" ] || fail "the disk holds new files: $(ls -A "$sys" | tr '\n' ' ')"
  answer_box Install-aurora Return
  e2e_wait_gone Install-aurora 10 || fail "error box did not close"
  xdotool windowfocus --sync "$WID" key alt+F4
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end after closing"
}

scenario_full_disk() {
  note "an install onto a full disk shows the write error and leaves nothing behind"
  [ "$(id -u)" -eq 0 ] || { note "SKIPPED: mounting a small disk needs root"; exit 77; }
  start_installer "$PACKAGE"
  watch_for_box "$E2E_WORK/box.txt"
  # The system directory becomes a small, full disk once the programs have
  # loaded (Wine loads its own DLLs from there at start).
  mount -t tmpfs -o size=64k installerwin-e2e-full "$sys" 2>/dev/null ||
    { note "SKIPPED: mounting a tmpfs is refused here"; exit 77; }
  E2E_MOUNTS+=("$sys")
  dd if=/dev/zero of="$sys/filler" bs=4k 2>/dev/null || true
  install_fails_to_write "$E2E_WORK/box.txt"
  umount "$sys" && E2E_MOUNTS=()
  [ ! -e "$sys/Aurora.scr" ] || fail "Aurora.scr exists"
  [ ! -e "$sys/swing.mskn" ] || fail "swing.mskn exists"
  [ -z "$(registered)" ] || fail "the registry names $(registered)"

  note "a reinstall onto a disk that fills up mid-copy keeps the old screensaver and its registry value"
  # An older screensaver, registered as an install of its short form left it.
  { head -c 9000 "$PAYLOAD"; printf 'an older Aurora'; } >"$E2E_WORK/older.scr"
  /usr/lib/wine/wine64 reg add 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /d 'C:\WINDOWS\SYSTEM32\AURORA.SCR' /f \
    >/dev/null 2>&1 || fail "could not register the older screensaver"
  start_installer "$PACKAGE"
  watch_for_box "$E2E_WORK/box2.txt"
  mount -t tmpfs -o size=64k installerwin-e2e-full "$sys" 2>/dev/null || fail "mounting the small disk again failed"
  E2E_MOUNTS+=("$sys")
  cp "$E2E_WORK/older.scr" "$sys/Aurora.scr"
  # Room for part of the payload only.
  free=$(df --output=avail -B1 "$sys" | tail -n1)
  head -c $((free - 8192)) /dev/zero >"$sys/filler"
  [ $(($(df --output=avail -B1 "$sys" | tail -n1))) -lt "$(stat -c %s "$PAYLOAD")" ] || fail "the payload still fits"
  install_fails_to_write "$E2E_WORK/box2.txt"
  cmp -s "$sys/Aurora.scr" "$E2E_WORK/older.scr" || fail "the old screensaver changed"
  umount "$sys" && E2E_MOUNTS=()
  [ "$(registered)" = 'C:\WINDOWS\SYSTEM32\AURORA.SCR' ] || fail "the registry names $(registered)"
}

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

# Runs mkinstaller.exe under Wine with these (UTF-8) arguments; its output
# and its error output land in $E2E_WORK/mk.out and mk.err without carriage returns.
mkinstaller_exe() {
  local rc=0
  /usr/lib/wine/wine64 "$MKINSTALLER_EXE" "$@" </dev/null >"$E2E_WORK/mk.rawout" 2>"$E2E_WORK/mk.raw" || rc=$?
  tr -d '\r' <"$E2E_WORK/mk.rawout" >"$E2E_WORK/mk.out"
  tr -d '\r' <"$E2E_WORK/mk.raw" >"$E2E_WORK/mk.err"
  return $rc
}

# Program file $1 passes the checks of the built program, but for its size.
check_program() {
  local check
  for check in imports hardening identity; do
    /usr/bin/python3 "$(dirname "$0")/../bin/check_binary.py" $check "$1" "$INSTALLERWIN_VERSION" >"$E2E_WORK/check.txt" ||
      fail "the check of $1 for $check failed: $(grep FAIL "$E2E_WORK/check.txt" | tr '\n' ' ')"
  done
}

# Program file $1 holds exactly the images of icon file $2 as MAINICON and no
# other icon image, and imgTitle's picture is an icon file of its 32 x 32
# image alone.
check_icon_resources() {
  /usr/bin/python3 - "$1" "$2" <<'PY' || fail "the icon resources of $1 do not match $2"
import struct, sys, pefile
pe = pefile.PE(sys.argv[1])
ico = open(sys.argv[2], "rb").read()
images = []
for i in range(struct.unpack_from("<H", ico, 4)[0]):
    w, h, colours, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
    images.append(((w, h, colours, planes, bits), ico[offset:offset + size]))

def leaves(type_id):
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if t.id == type_id:
            for n in t.directory.entries:
                d = n.directory.entries[0].data.struct
                yield (n.id if n.name is None else str(n.name)), pe.get_data(d.OffsetToData, d.Size)

icons = dict(leaves(3))
group = dict(leaves(14))["MAINICON"]
entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(struct.unpack_from("<H", group, 4)[0])]
problems = []
if [((w, h, c, p, b), icons.get(n)) for w, h, c, _, p, b, _, n in entries] != images:
    problems.append("MAINICON does not hold the icon file's images")
if len(icons) != len(entries):
    problems.append(f"{len(icons)} icon images for the {len(entries)} of MAINICON")
form = dict(leaves(10))["TINSTALLERFORM"]
at = form.index(b"\x0cPicture.Data\x0a", form.index(b"\x08imgTitle")) + 14
picture = form[at + 4:at + 4 + struct.unpack_from("<I", form, at)[0]]
(w, h, c, p, b), data = next(image for image in images if image[0][:2] == (32, 32))
alone = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", w, h, c, 0, p, b, len(data), 22) + data
if picture != b"\x05TIcon" + alone:
    problems.append("imgTitle's picture is not the 32 x 32 image alone")
for problem in problems:
    print(problem, file=sys.stderr)
sys.exit(1 if problems else 0)
PY
}

scenario_branded() {
  note "mkinstaller.exe brands a package in a folder named in Polish, over an old one"
  local dir="$WINEPREFIX/drive_c/users/Łukasz/Downloads" win='C:\users\Łukasz\Downloads'
  mkdir -p "$dir"
  cp "$HOST" "$dir/InstallerWin.exe"
  cp "$PAYLOAD" "$dir/Aurora.scr"
  cp "$BRAND_DIR"/{background.jpg,button.jpg,hover.jpg,icon.ico,skin.mskn} "$dir/"
  printf 'an old package' >"$dir/Install-Aurora.exe"
  local base=(--host "$win\\InstallerWin.exe" --payload "$win\\Aurora.scr")
  # Something holds the old package for a moment when it is to be replaced.
  /usr/lib/wine/wine64 "$PROBE" hold "$win\\Install-Aurora.exe" 60 </dev/null >"$E2E_WORK/hold.txt" 2>/dev/null &
  local holder=$!
  for _ in $(seq 300); do grep -qs held "$E2E_WORK/hold.txt" && break; sleep 0.1; done
  grep -qs held "$E2E_WORK/hold.txt" || fail "the old package could not be held"
  mkinstaller_exe "${base[@]}" --background "$win\\background.jpg" --button "$win\\button.jpg" \
    --hover "$win\\hover.jpg" --icon "$win\\icon.ico" --skin "$win\\skin.mskn" --output "$win\\Install-Aurora.exe" ||
    fail "mkinstaller.exe refused: $(cat "$E2E_WORK/mk.err")"
  wait "$holder" || fail "the package maker's temporary file was never closed while the old package was held"
  /usr/bin/python3 - "$dir/Install-Aurora.exe" <<'PY' || fail "the package is hidden"
import os, sys
# Wine keeps the DOS attributes it cannot map in this attribute.
attributes = os.getxattr(sys.argv[1], "user.DOSATTRIB") if "user.DOSATTRIB" in os.listxattr(sys.argv[1]) else b"0"
sys.exit(1 if int(attributes.rstrip(b"\0").decode() or "0", 16) & 2 else 0)
PY

  note "its refusals name the file as given, and leave nothing behind"
  local before
  before=$(ls -A "$dir")
  ! mkinstaller_exe "${base[@]}" --background "$win\\icon.ico" --output "$win\\Refused.exe" ||
    fail "mkinstaller.exe took an icon for a background"
  [ "$(cat "$E2E_WORK/mk.err")" = "mkinstaller: background '$win\\icon.ico' is not a JPEG file" ] ||
    fail "the refusal said: $(cat "$E2E_WORK/mk.err")"
  ! mkinstaller_exe "${base[@]}" --skin "$win\\skin.mskn" --output "Z:$dir/InstallerWin.exe" ||
    fail "mkinstaller.exe wrote over its host, named through drive Z:"
  grep -qF "is the same file as the host '$win\\InstallerWin.exe'" "$E2E_WORK/mk.err" ||
    fail "the refusal said: $(cat "$E2E_WORK/mk.err")"
  ! mkinstaller_exe --host "$win\\InstallerWin.exe" --payload NUL --output "$win\\Refused.exe" ||
    fail "mkinstaller.exe took a device for a payload"
  [ "$(cat "$E2E_WORK/mk.err")" = "mkinstaller: payload 'NUL' is not a regular file" ] ||
    fail "the refusal said: $(cat "$E2E_WORK/mk.err")"
  [ "$(ls -A "$dir")" = "$before" ] || fail "refused runs left: $(ls -A "$dir" | tr '\n' ' ')"

  note "the branded program is sound, and its icon is the given one"
  mkdir "$E2E_WORK/branded"
  local package="$E2E_WORK/branded/Install-Aurora.exe"
  cp "$dir/Install-Aurora.exe" "$package"
  check_program "$package"
  check_icon_resources "$package" "$BRAND_DIR/icon.ico"
  # Its pictures came without doubles: the host's double-size demo art went with them.
  /usr/bin/python3 - "$dir/InstallerWin.exe" "$package" <<'PY' || fail "the double-size pictures were not dropped"
import sys, pefile
def doubles(path):
    pe = pefile.PE(path)
    return [n for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == 10
            for n in t.directory.entries if n.name is not None and str(n.name) == "TINSTALLERFORM2X"]
sys.exit(0 if doubles(sys.argv[1]) and not doubles(sys.argv[2]) else 1)
PY

  note "the window shows the given pictures, the hover picture under the pointer, and the given icon in its title bar"
  decode_pictures "$BRAND_DIR" button.jpg hover.jpg
  start_installer "$package"
  check_face "$WID"
  point_at_button "$WID"
  wait_button_shows "$WID" "$E2E_WORK/hover.png" || fail "hover picture not shown"
  # Wine draws the title bar: the small icon lies 2 pixels inside the frame.
  local cx cy at16
  read -r cx cy < <(client_origin "$WID")
  import -window root -crop "16x16+$((cx + 2))+$((cy - 18))" +repage "$E2E_WORK/title-icon.png"
  at16=$(identify -format '%w %p\n' "$BRAND_DIR/icon.ico" | awk '$1 == 16 {print $2; exit}')
  convert "$BRAND_DIR/icon.ico[$at16]" -background black -flatten "$E2E_WORK/icon-16.png"
  [ "$(differing "$E2E_WORK/title-icon.png" "$E2E_WORK/icon-16.png")" = 0 ] ||
    fail "the title bar's icon differs from the given one in $(differing "$E2E_WORK/title-icon.png" "$E2E_WORK/icon-16.png") pixels"

  note "it installs its payload and the given skin"
  click_install "$WID"
  answer_box Confirm n
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
  cmp -s "$sys/Aurora.scr" "$PAYLOAD" || fail "Aurora.scr differs from the payload"
  cmp -s "$sys/swing.mskn" "$BRAND_DIR/skin.mskn" || fail "swing.mskn differs from the given skin"
}

scenario_branded_signed() {
  local made="$BRAND_DIR/package/Install-Aurora.exe" work="$E2E_WORK/rebrand" hostsize
  mkdir -p "$work/signed"
  note "the host of a package the CMake function branded is branded again"
  hostsize=$(/usr/bin/python3 -c 'import sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
print(max(s.PointerToRawData + s.SizeOfRawData for s in pe.sections))' "$made")
  head -c "$hostsize" "$made" >"$work/Branded.exe"
  printf 'a second skin\n' >"$work/second.mskn"
  "$MKINSTALLER" --host "$work/Branded.exe" --payload "$PAYLOAD" --skin "$work/second.mskn" \
    --output "$work/Install-Aurora.exe" 2>"$E2E_WORK/mk.err" || fail "mkinstaller refused: $(cat "$E2E_WORK/mk.err")"

  note "a package, a signed program and another program are no hosts to brand"
  sign "$work/Branded.exe" "$work/signed/Branded.exe"
  sign "$work/Install-Aurora.exe" "$work/signed/Install-Aurora.exe"
  local host want
  for host in "$made:carries" "$work/signed/Branded.exe:is signed" "$PAYLOAD:is not an InstallerWin program"; do
    want=${host##*:} host=${host%:*}
    ! "$MKINSTALLER" --host "$host" --payload "$PAYLOAD" --skin "$work/second.mskn" --output "$work/Refused.exe" \
      2>"$E2E_WORK/mk.err" || fail "mkinstaller branded $host"
    grep -q "host '$host' $want" "$E2E_WORK/mk.err" || fail "the refusal said: $(cat "$E2E_WORK/mk.err")"
  done
  [ ! -e "$work/Refused.exe" ] || fail "a refused run wrote its output"

  note "signed after packing, the package keeps the label the CMake function gave its button, and installs its payload and the second skin"
  install_and_compare "$work/signed/Install-Aurora.exe" "Install Nightfall"
  cmp -s "$sys/swing.mskn" "$work/second.mskn" || fail "swing.mskn differs from the second skin"
}

# What mkinstaller --inspect prints for a package of the demo payload with
# skin $1, pictures in folder $2 (background.jpg, $3.jpg for the button, $4.jpg
# under the pointer, and their -2x doubles where $5 is "doubles"), icon sizes
# $6, button name $7 and certificate table $8; the texts are the host's own.
inspected() {
  local picture key width height file
  printf 'host-product: InstallerWin\nhost-version: %s\npayload-size: %s\ninstalls-as: Aurora.scr\nskin-size: %s\n' \
    "$INSTALLERWIN_VERSION" "$(stat -c %s "$PAYLOAD")" "$(stat -c %s "$1")"
  for picture in "background 450 304 background" "button 28 9 $3" "hover 28 9 $4"; do
    read -r key width height file <<<"$picture"
    printf '%s: %s x %s, %s bytes\n' "$key" "$width" "$height" "$(stat -c %s "$2/$file.jpg")"
    if [ "$5" = doubles ]; then
      printf '%s-2x: %s x %s, %s bytes\n' "$key" $((width * 2)) $((height * 2)) "$(stat -c %s "$2/$file-2x.jpg")"
    else
      printf '%s-2x: none\n' "$key"
    fi
  done
  printf 'icon: %s\nbutton-name: %s\nlanguages: %s\ncertificate-table: %s\n' "$6" "$7" \
    "en, de, fr, es, it, pt_BR, nl, pl, cs, sv, da, fi, nb, tr, el, ru, uk, ja, ko, zh_CN, zh_TW, ar, he" "$8"
}

# $1 (a file) holds exactly the lines $2.
same_lines() { [ "$(cat "$1")" = "$2" ] || fail "$3 printed:$(printf '\n%s' "$(cat "$1")")"; }

scenario_inspect() {
  note "--inspect shows what the demo package, a signed one and a branded one carry, natively and under Wine"
  local icon="16 x 16, 20 x 20, 24 x 24, 32 x 32, 40 x 40, 48 x 48, 64 x 64" offset size total want
  mkdir "$E2E_WORK/signed"
  sign "$PACKAGE" "$E2E_WORK/signed/Install-Aurora.exe"
  read -r offset size total < <(security_directory "$E2E_WORK/signed/Install-Aurora.exe")
  want=$(inspected "$SKIN" "$ARTWORK" button-normal button-hover doubles "$icon" none none)
  "$MKINSTALLER" --inspect "$PACKAGE" >"$E2E_WORK/inspect.txt" || fail "--inspect refused the demo package"
  same_lines "$E2E_WORK/inspect.txt" "$want" "--inspect of the demo package"
  want=$(inspected "$SKIN" "$ARTWORK" button-normal button-hover doubles "$icon" none "$size bytes, not verified")
  "$MKINSTALLER" --inspect "$E2E_WORK/signed/Install-Aurora.exe" >"$E2E_WORK/inspect.txt" ||
    fail "--inspect refused the signed package"
  same_lines "$E2E_WORK/inspect.txt" "$want" "--inspect of the signed package"
  mkinstaller_exe --inspect "Z:$E2E_WORK/signed/Install-Aurora.exe" || fail "mkinstaller.exe --inspect failed"
  same_lines "$E2E_WORK/mk.out" "$want" "mkinstaller.exe --inspect of the signed package"
  want=$(inspected "$BRAND_DIR/skin.mskn" "$BRAND_DIR" button hover none "16 x 16, 32 x 32, 48 x 48" "Install Nightfall" none)
  "$MKINSTALLER" --inspect "$BRAND_DIR/package/Install-Aurora.exe" >"$E2E_WORK/inspect.txt" ||
    fail "--inspect refused the branded package"
  same_lines "$E2E_WORK/inspect.txt" "$want" "--inspect of the branded package"

  note "--extract gives back the payload and the skin byte for byte, natively and under Wine, and replaces nothing"
  mkdir "$E2E_WORK/native" "$E2E_WORK/wine"
  "$MKINSTALLER" --extract "$PACKAGE" "$E2E_WORK/native" || fail "--extract refused the demo package"
  mkinstaller_exe --extract "Z:$E2E_WORK/signed/Install-Aurora.exe" "Z:$E2E_WORK/wine" ||
    fail "mkinstaller.exe --extract failed: $(cat "$E2E_WORK/mk.err")"
  for dir in native wine; do
    [ "$(ls -A "$E2E_WORK/$dir" | tr '\n' ' ')" = "Aurora.scr swing.mskn " ] ||
      fail "--extract ($dir) wrote: $(ls -A "$E2E_WORK/$dir")"
    cmp -s "$E2E_WORK/$dir/Aurora.scr" "$PAYLOAD" || fail "the $dir Aurora.scr differs from the payload"
    cmp -s "$E2E_WORK/$dir/swing.mskn" "$SKIN" || fail "the $dir swing.mskn differs from the skin"
  done
  printf 'mine' >"$E2E_WORK/wine/Aurora.scr"
  ! mkinstaller_exe --extract "Z:$PACKAGE" "Z:$E2E_WORK/wine" || fail "mkinstaller.exe --extract replaced a file"
  grep -q "Aurora.scr' already exists; it is not replaced\$" "$E2E_WORK/mk.err" ||
    fail "mkinstaller.exe --extract said: $(cat "$E2E_WORK/mk.err")"
  [ "$(cat "$E2E_WORK/wine/Aurora.scr")" = mine ] || fail "mkinstaller.exe --extract changed the file present"

  note "a damaged package is refused in one line, as the installer would refuse it, with nothing written"
  local bad="$E2E_WORK/Install-Damaged.exe" end trailer
  end=$(stat -c %s "$PACKAGE")
  for trailer in "$((end - 3)):runs past the $((end - 4)) bytes" "0:payload length of 0"; do
    cp "$PACKAGE" "$bad"
    /usr/bin/python3 -c 'import struct, sys
with open(sys.argv[1], "r+b") as f:
    f.seek(-4, 2)
    f.write(struct.pack("<i", int(sys.argv[2])))' "$bad" "${trailer%%:*}"
    mkdir "$E2E_WORK/damaged"
    ! mkinstaller_exe --extract "Z:$bad" "Z:$E2E_WORK/damaged" || fail "mkinstaller.exe took trailer ${trailer%%:*}"
    [ "$(wc -l <"$E2E_WORK/mk.err")" = 1 ] && grep -q "is damaged: .*${trailer#*:}" "$E2E_WORK/mk.err" ||
      fail "mkinstaller.exe --extract said: $(cat "$E2E_WORK/mk.err")"
    [ -z "$(ls -A "$E2E_WORK/damaged")" ] || fail "a damaged package left: $(ls -A "$E2E_WORK/damaged")"
    rmdir "$E2E_WORK/damaged"
  done
}

scenario_deb() {
  note "the Debian package, unpacked: its mkinstaller, optimised and hardened, packages with no --host"
  local deb="$DIST_DIR/installerwin_${INSTALLERWIN_VERSION}_amd64.deb" root="$E2E_WORK/root" tool
  [ -f "$deb" ] || fail "no $deb"
  dpkg-deb -x "$deb" "$root"
  tool="$root/usr/bin/mkinstaller"
  # Read whole first: grep -q stops reading early, and readelf's broken pipe would fail the pipeline.
  local dynamic symbols segments sections
  dynamic=$(readelf -d "$tool") symbols=$(readelf --dyn-syms -W "$tool") segments=$(readelf -lW "$tool")
  sections=$(readelf -S "$tool")
  ! grep -q 'NEEDED.*lib[a-z]*san' <<<"$dynamic" || fail "usr/bin/mkinstaller is a sanitizer build"
  grep -q 'FLAGS_1.*NOW.*PIE' <<<"$dynamic" || fail "usr/bin/mkinstaller is not a PIE bound now"
  grep -q GNU_RELRO <<<"$segments" || fail "usr/bin/mkinstaller has no RELRO"
  grep -q __stack_chk_fail <<<"$symbols" || fail "usr/bin/mkinstaller has no stack protector"
  grep -q '__[a-z]*_chk' <<<"$symbols" || fail "usr/bin/mkinstaller calls no fortified function"
  ! grep -q '\.debug\|\.symtab' <<<"$sections" || fail "usr/bin/mkinstaller is not stripped"
  cmp -s "$root/usr/share/installerwin/InstallerWin.exe" "$HOST" ||
    fail "the package's InstallerWin.exe is not the program the tests check"
  "$tool" --version >"$E2E_WORK/version.txt" || fail "mkinstaller --version failed"
  grep -qx "mkinstaller $INSTALLERWIN_VERSION" "$E2E_WORK/version.txt" ||
    fail "mkinstaller --version said: $(cat "$E2E_WORK/version.txt")"
  mkdir "$E2E_WORK/out"
  (cd "$E2E_WORK/out" && "$tool" --payload "$PAYLOAD" --output Install-Aurora.exe) || fail "mkinstaller failed"
  install_and_compare "$E2E_WORK/out/Install-Aurora.exe"
}

scenario_zip() {
  note "the Windows zip, unpacked: its mkinstaller.exe packages with no --host"
  local zip="$DIST_DIR/InstallerWin-${INSTALLERWIN_VERSION}-win64.zip" dir file
  [ -f "$zip" ] || fail "no $zip"
  unzip -q "$zip" -d "$E2E_WORK/zip"
  dir="$E2E_WORK/zip/InstallerWin-${INSTALLERWIN_VERSION}-win64"
  for file in InstallerWin.exe mkinstaller.exe formc.exe README.txt LICENSE.txt libjpeg-turbo/LICENSE.md \
              libjpeg-turbo/README.ijg.txt libjpeg-turbo/LICENSE.zlib.txt; do
    [ -f "$dir/$file" ] || fail "the zip has no $file"
  done
  for file in README.txt LICENSE.txt; do
    ! grep -qv $'\r$' "$dir/$file" || fail "$file has lines without a Windows line end"
  done
  cmp -s "$dir/InstallerWin.exe" "$HOST" || fail "the zip's InstallerWin.exe is not the program the tests check"
  MKINSTALLER_EXE="$dir/mkinstaller.exe" mkinstaller_exe --version || fail "mkinstaller.exe --version failed"
  cp "$PAYLOAD" "$dir/Aurora.scr"
  (cd "$dir" && MKINSTALLER_EXE="$dir/mkinstaller.exe" mkinstaller_exe --payload Aurora.scr --output Install-Aurora.exe) ||
    fail "mkinstaller.exe failed: $(cat "$E2E_WORK/mk.err")"
  install_and_compare "$dir/Install-Aurora.exe"

  note "its CMake package, found in the unpacked folder, names the programs beside it"
  local package=$dir/lib/cmake/InstallerWin found
  for file in InstallerWinConfig.cmake InstallerWinConfigVersion.cmake AddScreensaverInstaller.cmake; do
    [ -f "$package/$file" ] || fail "the zip has no lib/cmake/InstallerWin/$file"
  done
  found=$(find_installerwin "$dir" 1.0 mkinstaller host) || fail "find_package found nothing in the zip: $found"
  [ "$found" = "$dir/mkinstaller.exe"$'\n'"$dir/InstallerWin.exe" ] || fail "the zip's CMake package names: $found"
  MKINSTALLER_EXE=$(head -n1 <<<"$found") mkinstaller_exe --version || fail "the named mkinstaller.exe does not run"
}

# Configures a project of no language that asks for InstallerWin version $2
# under prefix $1, and prints where the package's targets (the rest, as
# mkinstaller or host) lie, one a line; fails with CMake's output. A project
# built for pointers of $POINTER_SIZE bytes (default 8) asks.
find_installerwin() {
  local prefix=$1 version=$2 project target
  shift 2
  project=$(mktemp -d "$E2E_WORK/find.XXXXXX")
  {
    printf 'cmake_minimum_required(VERSION 3.20)\nproject(Find NONE)\n'
    printf 'find_package(InstallerWin %s CONFIG REQUIRED)\n' "$version"
    for target in "$@"; do
      printf 'get_target_property(place InstallerWin::%s IMPORTED_LOCATION)\n' "$target"
      printf 'file(APPEND "${CMAKE_BINARY_DIR}/found.txt" "${place}\\n")\n'
    done
  } >"$project/CMakeLists.txt"
  cmake -S "$project" -B "$project/build" "-DCMAKE_PREFIX_PATH=$prefix" "-DCMAKE_SIZEOF_VOID_P=${POINTER_SIZE:-8}" \
    >"$project/log" 2>&1 || { cat "$project/log"; return 1; }
  [ $# = 0 ] || cat "$project/build/found.txt"
}

scenario_deb_cmake() {
  local deb="$DIST_DIR/installerwin_${INSTALLERWIN_VERSION}_amd64.deb" root="$E2E_WORK/root" want found
  local source examples="$E2E_WORK/examples"
  source=$(cd "$(dirname "$0")/../.." && pwd)
  [ -f "$deb" ] || fail "no $deb"
  dpkg-deb -x "$deb" "$root"

  note "find_package takes version 1 of the unpacked Debian package, for 32-bit projects too, and refuses any later one"
  # The version asked for, the asking project's pointer size, and whether it is found.
  local bytes
  while read -r want bytes found; do
    if POINTER_SIZE=$bytes find_installerwin "$root/usr" "$want" >"$E2E_WORK/find.log"; then
      [ "$found" = yes ] || fail "find_package(InstallerWin $want) took version $INSTALLERWIN_VERSION"
    else
      [ "$found" = no ] || fail "find_package(InstallerWin $want) failed for $bytes-byte pointers: $(cat "$E2E_WORK/find.log")"
    fi
  done <<TABLE
1 8 yes
1.0 8 yes
1.0 4 yes
$INSTALLERWIN_VERSION 8 yes
1.0.1 8 no
1.1 8 no
2.0 8 no
2.0 4 no
TABLE
  found=$(find_installerwin "$root/usr" 1.0 mkinstaller host) || fail "find_package: $found"
  [ "$found" = "$root/usr/bin/mkinstaller"$'\n'"$root/usr/share/installerwin/InstallerWin.exe" ] ||
    fail "the Debian package's CMake package names: $found"

  note "HOST takes a file; a misspelt keyword is refused, not passed over"
  local project=$E2E_WORK/keywords host=$root/usr/share/installerwin/InstallerWin.exe
  mkdir "$project"
  printf 'cmake_minimum_required(VERSION 3.20)\nproject(Keywords NONE)\nfind_package(InstallerWin 1.0 CONFIG REQUIRED)\n%s\n' \
    "add_screensaver_installer(Aurora \"$PAYLOAD\" HOST \"$host\" \${WORDS})" >"$project/CMakeLists.txt"
  cmake -S "$project" -B "$project/right" -G Ninja "-DCMAKE_PREFIX_PATH=$root/usr" "-DWORDS=BUTTON_LABEL;Aurora" \
    >"$E2E_WORK/cmake.log" 2>&1 || fail "HOST as a file was refused: $(cat "$E2E_WORK/cmake.log")"
  grep -qF -- "--host $host --payload $PAYLOAD --button-label Aurora" "$project/right/build.ninja" ||
    fail "HOST as a file did not reach mkinstaller"
  ! cmake -S "$project" -B "$project/wrong" "-DCMAKE_PREFIX_PATH=$root/usr" "-DWORDS=BUTON_LABEL;Aurora" \
    >"$E2E_WORK/cmake.log" 2>&1 || fail "a misspelt BUTTON_LABEL was taken"
  # CMake wraps its messages.
  tr -s ' \n' '  ' <"$E2E_WORK/cmake.log" | grep -q "unknown arguments: BUTON_LABEL;Aurora" ||
    fail "a misspelt keyword was refused with: $(cat "$E2E_WORK/cmake.log")"

  note "an author's screensaver, built with MinGW and packaged by add_screensaver_installer"
  # The tree's own toolchain file keeps packages inside MinGW's root, as
  # authors' files do.
  cmake -S "$source/examples/starfield" -B "$examples/starfield" -G Ninja \
    "-DCMAKE_TOOLCHAIN_FILE=$source/cmake/mingw-w64-x86_64.cmake" "-DCMAKE_PREFIX_PATH=$root/usr" \
    >"$E2E_WORK/cmake.log" 2>&1 || fail "the starfield example did not configure: $(cat "$E2E_WORK/cmake.log")"
  cmake --build "$examples/starfield" >"$E2E_WORK/cmake.log" 2>&1 ||
    fail "the starfield example did not build: $(cat "$E2E_WORK/cmake.log")"
  grep -qF "$root/usr/bin/mkinstaller --host $root/usr/share/installerwin/InstallerWin.exe" \
    "$examples/starfield/build.ninja" || fail "the starfield example packaged with other tools"
  PAYLOAD=$examples/starfield/Starfield.scr install_and_compare "$examples/starfield/Install-Starfield.exe" \
    "Install Starfield"

  note "a ready screensaver packaged by a project with no compiler"
  cmake -S "$source/examples/ready-made" -B "$examples/ready-made" "-DCMAKE_PREFIX_PATH=$root/usr" \
    "-DSCREENSAVER=$PAYLOAD" >"$E2E_WORK/cmake.log" 2>&1 ||
    fail "the ready-made example did not configure: $(cat "$E2E_WORK/cmake.log")"
  cmake --build "$examples/ready-made" >"$E2E_WORK/cmake.log" 2>&1 ||
    fail "the ready-made example did not build: $(cat "$E2E_WORK/cmake.log")"
  install_and_compare "$examples/ready-made/Install-Aurora.exe"
}

e2e_start_display
e2e_start_wine
sys=$(SYSDIR_UNIX)
point_away

decode_pictures "$ARTWORK" button-normal.jpg button-hover.jpg

# The framework reads the density of the screen it is started on, from the
# system or, as before Windows 10, from the screen's LOGPIXELSY.
scenario_density() {
  local dpi want got got_dpi got_logpixels got_small got_big
  for dpi in 96 120 144 192; do
    note "at $dpi pixels per inch"
    e2e_set_density "$dpi"
    got=$(probe density)
    note "  $got"
    read -r got_dpi got_logpixels got_small got_big _ <<<"$got"
    [ "$got_dpi $got_logpixels" = "$dpi $dpi" ] || fail "density and LOGPIXELSY at $dpi: $got"
    # Icons of 16 and 32 pixels at 96, in proportion above.
    want="$((16 * dpi / 96)) $((32 * dpi / 96))"
    [ "$got_small $got_big" = "$want" ] || fail "icon sizes at $dpi: $got, want $want"
    [ "$dpi" = 96 ] || check_scaled_window "$dpi" "$ARTWORK" "$PACKAGE"
  done

  note "a package branded with double-size pictures shows them at 192"
  local art="$E2E_WORK/brand-art" size
  mkdir -p "$art" "$E2E_WORK/branded-2x"
  # Named as the demo's pictures are, for the comparison.
  for size in "" -2x; do
    cp "$BRAND_DIR/background$size.jpg" "$art/background$size.jpg"
    cp "$BRAND_DIR/button$size.jpg" "$art/button-normal$size.jpg"
    cp "$BRAND_DIR/hover$size.jpg" "$art/button-hover$size.jpg"
  done
  "$MKINSTALLER" --host "$HOST" --payload "$PAYLOAD" --output "$E2E_WORK/branded-2x/Install-Aurora.exe" \
    --background "$BRAND_DIR/background.jpg" --button "$BRAND_DIR/button.jpg" --hover "$BRAND_DIR/hover.jpg" \
    --background-2x "$BRAND_DIR/background-2x.jpg" --button-2x "$BRAND_DIR/button-2x.jpg" \
    --hover-2x "$BRAND_DIR/hover-2x.jpg" || fail "mkinstaller refused the double-size pictures"
  check_scaled_window 192 "$art" "$E2E_WORK/branded-2x/Install-Aurora.exe"
}

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
    text=$(box_text Confirm)
    [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question at LogPixels $dpi was: $text"
    cmp -s "$sys/Aurora.scr" "$PAYLOAD" || fail "Aurora.scr differs from the payload at LogPixels $dpi"
    answer_box Confirm n
    e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No at LogPixels $dpi"
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

scenario_keyboard() {
  note "Escape closes the window and installs nothing"
  start_installer "$PACKAGE"
  xdotool windowfocus --sync "$WID" key Escape
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after Escape"
  [ ! -e "$sys/Aurora.scr" ] || fail "Escape installed Aurora.scr"
  [ -z "$(registered)" ] || fail "Escape wrote the registry"

  note "Enter, pressed and released in the window, installs as a click does"
  start_installer "$PACKAGE"
  xdotool windowfocus --sync "$WID" key Return
  text=$(box_text Confirm)
  [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question was: $text"
  cmp -s "$sys/Aurora.scr" "$PAYLOAD" || fail "Aurora.scr differs from the payload"
  answer_box Confirm n
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
  rm -f "$sys/Aurora.scr"

  note "typed text never reaches the destination: the keypad's Enter installs into the system directory"
  start_installer "$PACKAGE"
  xdotool windowfocus --sync "$WID" type --delay 20 'Saver\'
  xdotool key BackSpace Tab space KP_Enter
  text=$(box_text Confirm)
  [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question was: $text"
  cmp -s "$sys/Aurora.scr" "$PAYLOAD" || fail "Aurora.scr is not in the system directory"
  [ "$(registered)" = 'C:\windows\system32\Aurora.scr' ] || fail "registered: $(registered)"
  answer_box Confirm n
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
  rm -f "$sys/Aurora.scr"

  note "a held Enter asks once, on its release, and never goes on to answer Yes"
  start_installer "$PACKAGE"
  xdotool windowfocus --sync "$WID" keydown Return sleep 0.2 keydown Return sleep 0.2 keydown Return keyup Return
  e2e_wait_window Confirm 15 >/dev/null || fail "no question after Enter was released"
  sleep 1
  [ "$(e2e_windows Confirm | wc -l)" = 1 ] || fail "$(e2e_windows Confirm | wc -l) questions show"
  ! xdotool search --onlyvisible --name '^Aurora$' >/dev/null 2>&1 || fail "a held Enter started the screensaver"
  answer_box Confirm n
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
  cmp -s "$sys/Aurora.scr" "$PAYLOAD" || fail "Aurora.scr differs from the payload"
}

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
  # A second install would ask again, and the program would not end.
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No"
}

# MulDiv(L, M, 8): halves away from zero, for L of either sign.
scaled() { if [ "$1" -lt 0 ]; then echo $((-(((0 - $1) * $2 + 4) / 8))); else echo $((($1 * $2 + 4) / 8)); fi; }
# libjpeg's side at M/8: ceil(L * M / 8).
decoded() { echo $((($1 * $2 + 7) / 8)); }

# Picture $1 of folder $2 (NAME.jpg) at M = $3 as libjpeg decodes it, as
# $E2E_WORK/NAME.ppm: the double-size one (NAME-2x.jpg) at (M/2)/8 for an
# even M, else the picture itself at M/8.
decode_scaled() {
  if [ $(($3 % 2)) = 0 ] && [ -e "$2/$1-2x.jpg" ]; then
    djpeg -scale "$(($3 / 2))/8" -ppm -outfile "$E2E_WORK/$1.ppm" "$2/$1-2x.jpg"
  else
    djpeg -scale "$3/8" -ppm -outfile "$E2E_WORK/$1.ppm" "$2/$1.jpg"
  fi
}

# Package $3 at density $1 (set already), its artwork in folder $2: the
# client area, the face and the picture button, scaled by M/8.
check_scaled_window() {
  local m=$(((8 * $1 + 48) / 96)) w h bx by bw bh bg_left origin face text geo ww wh wx wy
  w=$(scaled 443 "$m") h=$(scaled 304 "$m")
  bx=$(scaled 351 "$m") by=$(scaled 210 "$m") bw=$(decoded 28 "$m") bh=$(decoded 9 "$m") bg_left=$(scaled -8 "$m")
  note "  M = $m: a ${w}x$h client, the button ${bw}x$bh at $bx, $by"
  # The pointer may rest where the last window's button was.
  point_away
  start_installer "$3"
  style=$(probe window "$TITLE" 5)
  [ "$style" = "0 0 0 0 0 ${w}x$h" ] || fail "frame min max hscroll vscroll client at $1: $style"
  geo=$(xwininfo -id "$WID")
  read -r ww wh < <(awk '/^ *Width:/ {w = $2} /^ *Height:/ {print w, $2}' <<<"$geo")
  wx=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geo"); wy=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geo")
  [ "$wx $wy" = "$(((1024 - ww) / 2)) $(((768 - wh) / 2))" ] || fail "the ${ww}x$wh window at $wx,$wy is not centred at $1"
  # The title bar grows with the density: the client's origin as the system gives it.
  origin=$(probe origin "$TITLE" 5)
  client_origin() { echo "$origin"; }
  BUTTON_X=$bx BUTTON_Y=$by BUTTON_W=$bw BUTTON_H=$bh
  decode_scaled background "$2" "$m"
  decode_scaled button-normal "$2" "$m"
  decode_scaled button-hover "$2" "$m"
  convert "$E2E_WORK/button-normal.ppm" "$E2E_WORK/normal.png"
  convert "$E2E_WORK/button-hover.ppm" "$E2E_WORK/hover.png"
  read -r cx cy <<<"$origin"
  import -window root -crop "${w}x$h+$cx+$cy" +repage "$E2E_WORK/client.png"
  face=$(convert "$E2E_WORK/client.png" -format "%[pixel:p{$((w - 1)),100}]" info:)
  convert -size "${w}x$h" "xc:$face" "$E2E_WORK/background.ppm" -geometry "$bg_left+0" -composite \
    "$E2E_WORK/button-normal.ppm" -geometry "+$bx+$by" -composite "$E2E_WORK/expected.png"
  [ "$(differing "$E2E_WORK/client.png" "$E2E_WORK/expected.png")" = 0 ] ||
    fail "at $1 the client area differs from the scaled pictures in $(differing "$E2E_WORK/client.png" "$E2E_WORK/expected.png") pixels"

  note "  a screen reader finds the one push button at the scaled picture's place"
  got=$(read_as_screen_reader)
  [ "$got" = "$(printf "children 1\n1 push-button 'Install' %d %d %d %d state 0 action 'Press'\nhit 1\npoint 1 'Install'" \
    $((cx + bx)) $((cy + by)) "$bw" "$bh")" ] || fail "at $1 a screen reader read: $got"

  note "  the button lights up under the pointer; one pixel beyond its far corner is not it, the corner is"
  point_at_button "$WID"
  wait_button_shows "$WID" "$E2E_WORK/hover.png" || fail "hover picture not shown at $1"
  xdotool windowfocus --sync "$WID"
  click_at $((cx + bx + bw)) $((cy + by + bh))
  ! e2e_wait_window Confirm 2 >/dev/null || fail "a click one pixel beyond the button installed at $1"
  click_at $((cx + bx + bw - 1)) $((cy + by + bh - 1))
  text=$(box_text Confirm)
  [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question at $1 was: $text"
  cmp -s "$sys/Aurora.scr" "$PAYLOAD" || fail "Aurora.scr differs from the payload at $1"
  answer_box Confirm n
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No at $1"
  rm -f "$sys/Aurora.scr"
}

case "$SCENARIO" in
  window) scenario_window ;;
  hover) scenario_hover ;;
  close) scenario_close ;;
  install-no) scenario_install_no ;;
  install-yes) scenario_install_yes ;;
  unspellable-name) scenario_unspellable_name ;;
  bad-trailer) scenario_bad_trailer ;;
  signed) scenario_signed ;;
  plain-append) scenario_plain_append ;;
  full-disk) scenario_full_disk ;;
  reinstall) scenario_reinstall ;;
  branded) scenario_branded ;;
  branded-signed) scenario_branded_signed ;;
  taskbar) scenario_taskbar ;;
  deb) scenario_deb ;;
  zip) scenario_zip ;;
  deb-cmake) scenario_deb_cmake ;;
  density) scenario_density ;;
  density-limits) scenario_density_limits ;;
  keyboard) scenario_keyboard ;;
  one-install) scenario_one_install ;;
  screen-reader) scenario_screen_reader ;;
  inspect) scenario_inspect ;;
  languages) scenario_languages ;;
  *) fail "no scenario $SCENARIO" ;;
esac
note "passed"
