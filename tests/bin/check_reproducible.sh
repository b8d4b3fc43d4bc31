#!/usr/bin/env bash
# Builds InstallerWin.exe from a copy of the sources in a folder of another
# name and depth, with the release preset, and compares it with the program the
# tests check: that one was built in the checkout, so the two builds differ in
# their paths, which is what could leak into the file.
# Usage: check_reproducible.sh SOURCE-DIR HOST-TREE WORK-DIR InstallerWin.exe
# HOST-TREE is a built native tree; only its formc runs.
set -euo pipefail
src=${1:?} host=${2:?} work=${3:?} tested=${4:?}
rm -rf "$work"
# Every object compiled anew: a cached one would hide a build path.
export CCACHE_DISABLE=1
dir="$work/second-folder/checkout/installerwin"
mkdir -p "$dir"
tar -C "$src" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$dir" -xf -
cmake -S "$dir" -B "$dir/build" --preset windows-release "-DINSTALLERWIN_HOST_DIR=$host" -DINSTALLERWIN_HOST_PRESET= \
  >"$dir.log" 2>&1 || { cat "$dir.log"; exit 1; }
cmake --build "$dir/build" --target InstallerWin >>"$dir.log" 2>&1 || { cat "$dir.log"; exit 1; }
cmp "$dir/build/InstallerWin.exe" "$tested" || { echo "FAIL: $dir/build/InstallerWin.exe differs" >&2; exit 1; }
rm -rf "$work"
