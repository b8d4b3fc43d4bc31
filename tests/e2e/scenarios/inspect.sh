# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "inspect".

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
    set_trailer "$bad" "${trailer%%:*}"
    mkdir "$E2E_WORK/damaged"
    ! mkinstaller_exe --extract "Z:$bad" "Z:$E2E_WORK/damaged" || fail "mkinstaller.exe took trailer ${trailer%%:*}"
    [ "$(wc -l <"$E2E_WORK/mk.err")" = 1 ] && grep -q "is damaged: .*${trailer#*:}" "$E2E_WORK/mk.err" ||
      fail "mkinstaller.exe --extract said: $(cat "$E2E_WORK/mk.err")"
    [ -z "$(ls -A "$E2E_WORK/damaged")" ] || fail "a damaged package left: $(ls -A "$E2E_WORK/damaged")"
    rmdir "$E2E_WORK/damaged"
  done
}
