# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "deb".

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
