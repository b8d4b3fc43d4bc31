#!/bin/sh
# The program must run with nothing beside it: it may import system DLLs only.
set -eu
objdump=$1 exe=$2
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr 'A-Z' 'a-z' | sort -u)
echo "$exe imports:" $dlls
echo "$dlls" | grep -qx 'kernel32.dll' || { echo "FAIL: no import table read"; exit 1; }
for dll in $dlls; do
  case "$dll" in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|msvcrt.dll|comctl32.dll|ole32.dll|api-ms-win-*) ;;
    *) echo "FAIL: imports $dll"; exit 1 ;;
  esac
done
