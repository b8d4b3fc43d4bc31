# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "plain-append".

scenario_plain_append() {
  note "a package made by hand, host and payload and length with nothing between, installs"
  mkdir "$E2E_WORK/plain"
  plain="$E2E_WORK/plain/Install-Aurora.exe"
  cat "$HOST" "$PAYLOAD" >"$plain"
  /usr/bin/python3 -c 'import struct, sys
sys.stdout.buffer.write(struct.pack("<i", int(sys.argv[1])))' "$(stat -c %s "$PAYLOAD")" >>"$plain"
  install_and_compare "$plain"
}
