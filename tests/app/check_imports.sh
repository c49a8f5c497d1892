#!/bin/sh
# The program must run on a bare Windows: every DLL it imports is one that
# Windows itself ships (no MinGW runtime DLLs such as libstdc++-6.dll or
# libwinpthread-1.dll).
exe="$1"
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$dlls" ] || { echo "no imports found in $exe"; exit 1; }
status=0
for dll in $dlls; do
  case "$dll" in
    kernel32.dll|user32.dll|gdi32.dll|shell32.dll|comctl32.dll|advapi32.dll|msvcrt.dll|ole32.dll|oleaut32.dll|api-ms-win-*) echo "ok      $dll" ;;
    *) echo "FOREIGN $dll"; status=1 ;;
  esac
done
exit $status
