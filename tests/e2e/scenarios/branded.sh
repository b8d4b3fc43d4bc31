# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "branded".

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
