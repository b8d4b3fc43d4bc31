# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "zip".

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
