# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "install-no".

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
