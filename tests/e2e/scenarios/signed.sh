# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "signed".

scenario_signed() {
  note "a package signed after packing installs its payload"
  mkdir "$E2E_WORK/signed"
  sign "$PACKAGE" "$E2E_WORK/signed/Install-Aurora.exe"
  read -r offset size total < <(security_directory "$E2E_WORK/signed/Install-Aurora.exe")
  [ "$offset" = "$(stat -c %s "$PACKAGE")" ] || fail "the signer padded the package: table at $offset"
  [ $((offset + size)) = "$total" ] || fail "the certificate table does not end the file"
  install_and_compare "$E2E_WORK/signed/Install-Aurora.exe"
}
