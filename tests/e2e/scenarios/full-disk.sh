# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "full-disk".

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
