#!/bin/sh
# The main job: builds the program and runs it under Wine with the log
# switched on. On a real display you use it yourself; without one it runs on
# a virtual display, saves a screenshot and closes it.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/deps.sh
. scripts/display.sh

cmake --preset windows >/dev/null
cmake --build --preset windows --target DivezavuDizuzuDud

out="$root/build/run"
mkdir -p "$out"
export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Preparing a Wine prefix of its own in $WINEPREFIX ..."
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi

exe="$out/DivezavuDizuzuDud.exe"
cp build/windows/DivezavuDizuzuDud.exe "$exe"
rm -f "$out"/zaridedev.log.*.txt

ensure_display
if [ "$DZD_VIRTUAL_DISPLAY" = 0 ]; then
  echo "Running on $DISPLAY; close the dialog to finish."
  wine "$exe" 'vezoverove://log=yes/'
else
  wine "$exe" 'vezoverove://log=yes/' &
  pid=$!
  i=0
  until xdotool search --onlyvisible --name 'Quillpad' >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 300 ]; then echo "The dialog did not appear." >&2; exit 1; fi
    sleep 0.1
  done
  sleep 1
  import -window root "$out/screenshot.png"
  echo "Screenshot: $out/screenshot.png"
  wineserver -k
  wait $pid 2>/dev/null || true
fi

for f in "$out"/zaridedev.log.*.txt; do
  [ -f "$f" ] || continue
  echo "Log $f:"
  iconv -f GBK -t UTF-8 "$f" 2>/dev/null || cat "$f"
  echo
done
