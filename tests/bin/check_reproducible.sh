#!/usr/bin/env bash
# Builds InstallerWin.exe from copies of the sources in two folders of
# different names and depths, one after the other, with the release preset,
# and compares both with the program the tests check.
# Usage: check_reproducible.sh SOURCE-DIR HOST-TREE WORK-DIR InstallerWin.exe
# HOST-TREE is a built native tree; only its formc runs.
set -euo pipefail
src=${1:?} host=${2:?} work=${3:?} tested=${4:?}
rm -rf "$work"
# Every object compiled anew: a cached one would hide a build path.
export CCACHE_DISABLE=1
builds=("$work/a/src" "$work/second-folder/checkout/installerwin")
for dir in "${builds[@]}"; do
  mkdir -p "$dir"
  tar -C "$src" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$dir" -xf -
  cmake -S "$dir" -B "$dir/build" --preset windows-release "-DINSTALLERWIN_HOST_DIR=$host" -DINSTALLERWIN_HOST_PRESET= \
    >"$dir.log" 2>&1 || { cat "$dir.log"; exit 1; }
  cmake --build "$dir/build" --target InstallerWin >>"$dir.log" 2>&1 || { cat "$dir.log"; exit 1; }
done
status=0
for dir in "${builds[@]}"; do
  cmp "$dir/build/InstallerWin.exe" "$tested" || { echo "FAIL: $dir/build/InstallerWin.exe differs" >&2; status=1; }
done
[ $status -ne 0 ] || rm -rf "$work"
exit $status
