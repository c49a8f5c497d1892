#!/bin/sh
# Saves screenshots of the dialog at 96, 144 and 192 DPI (100 %, 150 % and
# 200 %) in build/screenshots/, each run in a Wine prefix of its own whose
# DPI is set through HKCU\Control Panel\Desktop\LogPixels. Uses the current
# display when there is one, a virtual one (Xvfb) otherwise.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/deps.sh
. scripts/display.sh
. scripts/wine-look.sh

cmake --preset windows >/dev/null
cmake --build --preset windows --target DivezavuDizuzuDud >/dev/null

out="$root/build/screenshots"
mkdir -p "$out"
cp build/windows/DivezavuDizuzuDud.exe "$out/"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
ensure_display

for dpi in 96 144 192; do
  export WINEPREFIX="$out/wineprefix-$dpi"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing a Wine prefix for $dpi DPI in $WINEPREFIX ..."
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null 2>&1
  wine_desktop_look
  # The DPI is read when Wine's desktop starts: start afresh.
  wineserver -k 2>/dev/null || true
  wineserver -w

  wine "$out/DivezavuDizuzuDud.exe" >/dev/null 2>&1 &
  pid=$!
  wid=""
  i=0
  while [ -z "$wid" ]; do
    i=$((i + 1))
    if [ $i -gt 300 ]; then echo "The dialog did not appear at $dpi DPI." >&2; exit 1; fi
    sleep 0.1
    wid=$(xdotool search --onlyvisible --name 'Quillpad' 2>/dev/null | head -n 1)
  done
  sleep 1.5
  # The whole window, frame and title bar included.
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/dialog-$dpi.png"
  echo "Screenshot at $dpi DPI: $out/dialog-$dpi.png ($(identify -format '%wx%h' "$out/dialog-$dpi.png"))"
  wineserver -k 2>/dev/null || true
  wait $pid 2>/dev/null || true
done
