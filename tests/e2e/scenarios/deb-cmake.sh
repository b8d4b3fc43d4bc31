# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "deb-cmake".

scenario_deb_cmake() {
  local deb="$DIST_DIR/installerwin_${INSTALLERWIN_VERSION}_amd64.deb" root="$E2E_WORK/root" want found
  local source examples="$E2E_WORK/examples"
  source=$(cd "$(dirname "$0")/../.." && pwd)
  [ -f "$deb" ] || fail "no $deb"
  dpkg-deb -x "$deb" "$root"

  note "find_package takes version 1 of the unpacked Debian package, for 32-bit projects too, and refuses any later one"
  # The version asked for, the asking project's pointer size, and whether it is found.
  local bytes
  while read -r want bytes found; do
    if POINTER_SIZE=$bytes find_installerwin "$root/usr" "$want" >"$E2E_WORK/find.log"; then
      [ "$found" = yes ] || fail "find_package(InstallerWin $want) took version $INSTALLERWIN_VERSION"
    else
      [ "$found" = no ] || fail "find_package(InstallerWin $want) failed for $bytes-byte pointers: $(cat "$E2E_WORK/find.log")"
    fi
  done <<TABLE
1 8 yes
1.0 8 yes
1.0 4 yes
$INSTALLERWIN_VERSION 8 yes
1.0.1 8 no
1.1 8 no
2.0 8 no
2.0 4 no
TABLE
  found=$(find_installerwin "$root/usr" 1.0 mkinstaller host) || fail "find_package: $found"
  [ "$found" = "$root/usr/bin/mkinstaller"$'\n'"$root/usr/share/installerwin/InstallerWin.exe" ] ||
    fail "the Debian package's CMake package names: $found"

  note "HOST takes a file; a misspelt keyword is refused, not passed over"
  local project=$E2E_WORK/keywords host=$root/usr/share/installerwin/InstallerWin.exe
  mkdir "$project"
  printf 'cmake_minimum_required(VERSION 3.20)\nproject(Keywords NONE)\nfind_package(InstallerWin 1.0 CONFIG REQUIRED)\n%s\n' \
    "add_screensaver_installer(Aurora \"$PAYLOAD\" HOST \"$host\" \${WORDS})" >"$project/CMakeLists.txt"
  cmake -S "$project" -B "$project/right" -G Ninja "-DCMAKE_PREFIX_PATH=$root/usr" "-DWORDS=BUTTON_LABEL;Aurora" \
    >"$E2E_WORK/cmake.log" 2>&1 || fail "HOST as a file was refused: $(cat "$E2E_WORK/cmake.log")"
  grep -qF -- "--host $host --payload $PAYLOAD --button-label Aurora" "$project/right/build.ninja" ||
    fail "HOST as a file did not reach mkinstaller"
  ! cmake -S "$project" -B "$project/wrong" "-DCMAKE_PREFIX_PATH=$root/usr" "-DWORDS=BUTON_LABEL;Aurora" \
    >"$E2E_WORK/cmake.log" 2>&1 || fail "a misspelt BUTTON_LABEL was taken"
  # CMake wraps its messages.
  tr -s ' \n' '  ' <"$E2E_WORK/cmake.log" | grep -q "unknown arguments: BUTON_LABEL;Aurora" ||
    fail "a misspelt keyword was refused with: $(cat "$E2E_WORK/cmake.log")"

  note "an author's screensaver, built with MinGW and packaged by add_screensaver_installer"
  # The tree's own toolchain file keeps packages inside MinGW's root, as
  # authors' files do.
  cmake -S "$source/examples/starfield" -B "$examples/starfield" -G Ninja \
    "-DCMAKE_TOOLCHAIN_FILE=$source/cmake/mingw-w64-x86_64.cmake" "-DCMAKE_PREFIX_PATH=$root/usr" \
    >"$E2E_WORK/cmake.log" 2>&1 || fail "the starfield example did not configure: $(cat "$E2E_WORK/cmake.log")"
  cmake --build "$examples/starfield" >"$E2E_WORK/cmake.log" 2>&1 ||
    fail "the starfield example did not build: $(cat "$E2E_WORK/cmake.log")"
  grep -qF "$root/usr/bin/mkinstaller --host $root/usr/share/installerwin/InstallerWin.exe" \
    "$examples/starfield/build.ninja" || fail "the starfield example packaged with other tools"
  PAYLOAD=$examples/starfield/Starfield.scr install_and_compare "$examples/starfield/Install-Starfield.exe" \
    "Install Starfield"

  note "a ready screensaver packaged by a project with no compiler"
  cmake -S "$source/examples/ready-made" -B "$examples/ready-made" "-DCMAKE_PREFIX_PATH=$root/usr" \
    "-DSCREENSAVER=$PAYLOAD" >"$E2E_WORK/cmake.log" 2>&1 ||
    fail "the ready-made example did not configure: $(cat "$E2E_WORK/cmake.log")"
  cmake --build "$examples/ready-made" >"$E2E_WORK/cmake.log" 2>&1 ||
    fail "the ready-made example did not build: $(cat "$E2E_WORK/cmake.log")"
  install_and_compare "$examples/ready-made/Install-Aurora.exe"
}
