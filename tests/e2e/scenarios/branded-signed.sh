# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "branded-signed".

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
