#!/bin/bash
# End-to-end test of the packaged installer: real window, real clicks and keys,
# real files and registry, in a fresh Wine prefix for each scenario.
# Usage: installer_test.sh SCENARIO Install-Aurora.exe Aurora.scr skin-file probe.exe ARTWORK-DIR InstallerWin.exe
#        planted.dll
# Scenarios, each in scenarios/SCENARIO.sh: window, hover, close, install-no, install-yes, unspellable-name,
# bad-trailer, signed, plain-append, full-disk, reinstall, branded, branded-signed, taskbar, deb,
# zip, deb-cmake, density, density-limits, keyboard, one-install, screen-reader, inspect, languages.
# Exits 77 (skipped) where a scenario cannot be set up. The branded
# ones take from the environment: BRAND_DIR (artwork, and package/ made with it by the CMake
# function), MKINSTALLER, MKINSTALLER_EXE (the package maker, native and for
# Windows) and INSTALLERWIN_VERSION; deb, zip and deb-cmake take DIST_DIR, where
# scripts/release wrote its archives.
SCENARIO=${1:?} PACKAGE=${2:?} PAYLOAD=${3:?} SKIN=${4:?} PROBE=${5:?} ARTWORK=${6:?} HOST=${7:?} PLANTED=${8:?}
source "$(dirname "$0")/../tools/e2e-lib.sh"
# Wine reads file names and arguments in the locale's character set: UTF-8, as written here.
export LC_ALL=C.UTF-8

TITLE='Install Screensaver'
SYSDIR_UNIX() { echo "$WINEPREFIX/drive_c/windows/system32"; }

# Client origin of window $1 on the screen: Wine draws a 3-pixel frame and a
# 22-pixel caption around the client area.
client_origin() {
  local geo x y
  geo=$(xwininfo -id "$1")
  x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geo")
  y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geo")
  echo "$((x + 3)) $((y + 22))"
}

# The picture button lies at 351, 210 of the client area, 28 x 9.
BUTTON_X=351 BUTTON_Y=210 BUTTON_W=28 BUTTON_H=9

# Moves the pointer onto the picture button of window $1, arriving from a
# neighbouring pixel so that the move is seen.
point_at_button() {
  local cx cy
  read -r cx cy < <(client_origin "$1")
  xdotool mousemove $((cx + BUTTON_X + 11)) $((cy + BUTTON_Y + 4)) sleep 0.05 \
          mousemove $((cx + BUTTON_X + 14)) $((cy + BUTTON_Y + 4))
}

# Clicks the picture button of window $1, once the window has the focus.
click_install() {
  xdotool windowfocus --sync "$1"
  point_at_button "$1"
  xdotool sleep 0.1 click 1
}

# Moves the pointer well away from the window.
point_away() { xdotool mousemove 5 5 sleep 0.05 mousemove 8 8; }

# Saves the client area of window $1 as $2 (PNG).
grab_client() {
  local cx cy
  read -r cx cy < <(client_origin "$1")
  import -window root -crop "443x304+$cx+$cy" +repage "$2"
}

# Number of pixels that differ between two pictures of the same size.
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }

# The background picture in folder $1 and the button's pictures $2 (normal)
# and $3 (hover) as libjpeg decodes them, for the comparisons below.
decode_pictures() {
  djpeg -ppm -outfile "$E2E_WORK/background.ppm" "$1/background.jpg"
  djpeg -ppm -outfile "$E2E_WORK/normal.ppm" "$1/$2"
  djpeg -ppm -outfile "$E2E_WORK/hover.ppm" "$1/$3"
  convert "$E2E_WORK/normal.ppm" "$E2E_WORK/normal.png"
  convert "$E2E_WORK/hover.ppm" "$E2E_WORK/hover.png"
}

# The client area of window $1 shows the background shifted 8 left, the
# button's normal picture at 351, 210 and the window colour in column 442.
check_face() {
  grab_client "$1" "$E2E_WORK/client.png"
  face=$(convert "$E2E_WORK/client.png" -format '%[pixel:p{442,100}]' info:)
  convert -size 443x304 "xc:$face" \( "$E2E_WORK/background.ppm" -crop 442x304+8+0 +repage \) -geometry +0+0 -composite \
    "$E2E_WORK/normal.ppm" -geometry +$BUTTON_X+$BUTTON_Y -composite "$E2E_WORK/expected.png"
  [ "$(differing "$E2E_WORK/client.png" "$E2E_WORK/expected.png")" = 0 ] ||
    fail "the client area differs from the pictures in $(differing "$E2E_WORK/client.png" "$E2E_WORK/expected.png") pixels"
  [ "$(convert "$E2E_WORK/client.png" -crop 1x304+442+0 -unique-colors -format '%w' info:)" = 1 ] ||
    fail "column 442 is not one colour"
}

# Waits until the button area of window $1 shows picture $2 exactly.
wait_button_shows() {
  local end=$((SECONDS + 5)) cx cy
  read -r cx cy < <(client_origin "$1")
  while :; do
    import -window root -crop "${BUTTON_W}x${BUTTON_H}+$((cx + BUTTON_X))+$((cy + BUTTON_Y))" +repage "$E2E_WORK/button.png"
    [ "$(differing "$E2E_WORK/button.png" "$2")" = 0 ] && return 0
    [ $SECONDS -lt "$end" ] || return 1
    sleep 0.1
  done
}

# Prints the text of the box captioned $1 once it shows.
box_text() { { /usr/lib/wine/wine64 "$PROBE" box "$1" 15 2>/dev/null || echo "(no box captioned $1)"; } | tr -d '\r'; }

# Answers the box captioned $1 with key $2.
answer_box() {
  local wid
  wid=$(e2e_wait_window "$1" 15) || true
  [ -n "$wid" ] || fail "no box captioned $1"
  xdotool windowfocus --sync "$wid" key "$2"
}

registered() {
  /usr/lib/wine/wine64 reg query 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE 2>/dev/null |
    tr -d '\r' | sed -n 's/.*SCRNSAVE.EXE[[:space:]]*REG_SZ[[:space:]]*//p'
}

start_installer() {
  e2e_launch "$1"
  WID=$(e2e_wait_window "$TITLE" 20) || true
  [ -n "$WID" ] || fail "no window titled $TITLE"
}

# Installs package $1 (named Install-Aurora.exe) with a click and No, and
# checks that Aurora.scr holds exactly the payload. With $2, the button is
# first read as a screen reader reads it, named $2.
install_and_compare() {
  start_installer "$1"
  if [ $# -gt 1 ]; then
    got=$(read_as_screen_reader)
    [ "$got" = "$(expected_reading "$2" 0)" ] || fail "a screen reader read: $got"
  fi
  click_install "$WID"
  # Named as the installer names it: after itself, less "Install-".
  local name=${1##*[\\/]}
  name=${name%.exe} name=${name#Install-}
  confirm_installed "" "$name"
}

# Once an install has been started in the window: the question shows,
# NAME.scr ($2, by default Aurora) is the payload, and No ends the program.
# $1, if not empty, says where, for the messages.
confirm_installed() {
  local name=${2:-Aurora}
  text=$(box_text Confirm)
  [ "$text" = "Screensaver installation completed, run it now?" ] || fail "question${1:+ $1} was: $text"
  cmp -s "$sys/$name.scr" "$PAYLOAD" || fail "$name.scr differs from the payload${1:+ $1}"
  answer_box Confirm n
  e2e_wait_exit "$E2E_PID" 15 || fail "installer did not end with 0 after No${1:+ $1}"
}

# Overwrites the last four bytes of file $1, the package's payload length,
# with $2 as a little-endian 32-bit number.
set_trailer() {
  /usr/bin/python3 -c 'import struct, sys
with open(sys.argv[1], "r+b") as f:
    f.seek(-4, 2)
    f.write(struct.pack("<i", int(sys.argv[2])))' "$1" "$2"
}

# Makes locale $1 (as ja_JP) in UTF-8 under $E2E_WORK/locale, for LOCPATH:
# Wine takes its code pages from the locale, which need not be installed on
# the machine.
make_locale() {
  mkdir -p "$E2E_WORK/locale"
  localedef -i "$1" -f UTF-8 "$E2E_WORK/locale/$1.UTF-8" >/dev/null 2>&1 || true
  [ -f "$E2E_WORK/locale/$1.UTF-8/LC_CTYPE" ] || fail "localedef could not make $1.UTF-8 (Debian's locales package)"
}

# Prints "OFFSET SIZE FILESIZE" of the security directory of PE file $1.
security_directory() {
  /usr/bin/python3 -c 'import os, sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
d = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
print(d.VirtualAddress, d.Size, os.path.getsize(sys.argv[1]))' "$1"
}

# Signs program file $1 into $2 with a throw-away certificate.
sign() {
  [ -f "$E2E_WORK/cert.pem" ] ||
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$E2E_WORK/key.pem" -out "$E2E_WORK/cert.pem" -days 2 \
      -subj /CN=InstallerWin-test >/dev/null 2>&1 || fail "openssl could not make a test certificate"
  osslsigncode sign -certs "$E2E_WORK/cert.pem" -key "$E2E_WORK/key.pem" -n "Install Aurora" \
    -in "$1" -out "$2" >/dev/null || fail "osslsigncode could not sign $1"
}

# Runs the probe with arguments $@, its output without CRs.
probe() { /usr/lib/wine/wine64 "$PROBE" "$@" 2>/dev/null | tr -d '\r'; }

# Clicks the screen at $1 $2, arriving from a neighbouring pixel.
click_at() { xdotool mousemove $(($1 - 2)) "$2" sleep 0.05 mousemove "$1" "$2" sleep 0.1 click 1; }

# What a screen reader finds in window $TITLE when it reads its client object
# from another process (see the probe's "access").
read_as_screen_reader() { probe access "$TITLE" 10; }

# The lines a screen reader should read: one push button named $1 at the
# picture's place, in state $2, its action $3 (by default "Press").
expected_reading() {
  local ox oy
  read -r ox oy < <(probe origin "$TITLE")
  printf "children 1\n1 push-button '%s' %d %d %d %d state %d action '%s'\nhit 1\npoint 1 '%s'" \
    "$1" $((ox + BUTTON_X)) $((oy + BUTTON_Y)) $BUTTON_W $BUTTON_H "$2" "${3:-Press}" "$1"
}

# Runs mkinstaller.exe under Wine with these (UTF-8) arguments; its output
# and its error output land in $E2E_WORK/mk.out and mk.err without carriage returns.
mkinstaller_exe() {
  local rc=0
  /usr/lib/wine/wine64 "$MKINSTALLER_EXE" "$@" </dev/null >"$E2E_WORK/mk.rawout" 2>"$E2E_WORK/mk.raw" || rc=$?
  tr -d '\r' <"$E2E_WORK/mk.rawout" >"$E2E_WORK/mk.out"
  tr -d '\r' <"$E2E_WORK/mk.raw" >"$E2E_WORK/mk.err"
  return $rc
}

# Configures a project of no language that asks for InstallerWin version $2
# under prefix $1, and prints where the package's targets (the rest, as
# mkinstaller or host) lie, one a line; fails with CMake's output. A project
# built for pointers of $POINTER_SIZE bytes (default 8) asks.
find_installerwin() {
  local prefix=$1 version=$2 project target
  shift 2
  project=$(mktemp -d "$E2E_WORK/find.XXXXXX")
  {
    printf 'cmake_minimum_required(VERSION 3.20)\nproject(Find NONE)\n'
    printf 'find_package(InstallerWin %s CONFIG REQUIRED)\n' "$version"
    for target in "$@"; do
      printf 'get_target_property(place InstallerWin::%s IMPORTED_LOCATION)\n' "$target"
      printf 'file(APPEND "${CMAKE_BINARY_DIR}/found.txt" "${place}\\n")\n'
    done
  } >"$project/CMakeLists.txt"
  cmake -S "$project" -B "$project/build" "-DCMAKE_PREFIX_PATH=$prefix" "-DCMAKE_SIZEOF_VOID_P=${POINTER_SIZE:-8}" \
    >"$project/log" 2>&1 || { cat "$project/log"; return 1; }
  [ $# = 0 ] || cat "$project/build/found.txt"
}

e2e_start_display
e2e_start_wine
sys=$(SYSDIR_UNIX)
point_away

decode_pictures "$ARTWORK" button-normal.jpg button-hover.jpg

# MulDiv(L, M, 8): halves away from zero, for L of either sign.
scaled() { if [ "$1" -lt 0 ]; then echo $((-(((0 - $1) * $2 + 4) / 8))); else echo $((($1 * $2 + 4) / 8)); fi; }

# Each scenario is a file of its own, named as on the command line, that
# defines scenario_NAME (dashes as underscores) with the helpers only it uses.
scenario_file="$(dirname "$0")/scenarios/$SCENARIO.sh"
[ -f "$scenario_file" ] || fail "no scenario $SCENARIO"
source "$scenario_file"
"scenario_${SCENARIO//-/_}"
note "passed"
