# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "taskbar".

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
  make_locale ja_JP
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
