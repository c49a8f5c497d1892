#!/bin/sh
# The main job: builds the program, seeds a sample browser profile (Chrome
# and Edge settings files that need both repairs, and a Chrome profile's
# Preferences where the editor's page was once refused) in a Wine prefix of its
# own, and runs the program with its log on. On a real display you press OK
# yourself; without one it runs on a virtual display, presses OK itself and
# saves a screenshot. Then it prints what changed in each file, and the log.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/deps.sh
. scripts/display.sh
. scripts/wine-look.sh

cmake --preset windows >/dev/null
cmake --build --preset windows --target DivezavuDizuzuDud

out="$root/build/run"
mkdir -p "$out"
# A Chinese ANSI code page, so the log's Chinese messages are kept.
# Wine binds its display when its first program starts: display first.
ensure_display
export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" LANG=zh_CN.UTF-8
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Preparing a Wine prefix of its own in $WINEPREFIX ..."
  wineboot -i >/dev/null 2>&1
  wine_desktop_look
  wineserver -k
  wineserver -w
fi

appdata=$(winepath -u "$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')")
chrome="$appdata/Google/Chrome/User Data/Local State"
edge="$appdata/Microsoft/Edge/User Data/Local State"
prefs="$appdata/Google/Chrome/User Data/Default/Preferences"
mkdir -p "$(dirname "$chrome")" "$(dirname "$edge")" "$(dirname "$prefs")" "$out/before"
cp scripts/sample/chrome-local-state.json "$chrome"
cp scripts/sample/edge-local-state.json "$edge"
cp scripts/sample/chrome-preferences.json "$prefs"
cp "$chrome" "$out/before/chrome"
cp "$edge" "$out/before/edge"
cp "$prefs" "$out/before/prefs"

exe="$out/DivezavuDizuzuDud.exe"
cp build/windows/DivezavuDizuzuDud.exe "$exe"
rm -f "$out"/zaridedev.log.*.txt "$out"/screenshot*.png

wait_for() {  # a visible window whose title matches $1
  i=0
  until xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 300 ]; then echo "No window '$1' appeared." >&2; return 1; fi
    sleep 0.1
  done
  xdotool search --onlyvisible --name "$1" | head -n 1
}

if [ "$DZD_VIRTUAL_DISPLAY" = 0 ]; then
  echo "Running on $DISPLAY: press OK, then close the dialog."
  wine "$exe" 'vezoverove://log=yes/'
else
  wine "$exe" 'vezoverove://log=yes/' &
  pid=$!
  dialog=$(wait_for 'Quillpad - Chrome')
  sleep 1
  import -window root "$out/screenshot-dialog.png"
  xdotool windowfocus --sync "$dialog" key Return
  box=$(wait_for '^Quillpad Chrome/Edge Fix$')
  sleep 0.5
  import -window root "$out/screenshot.png"
  xdotool windowfocus --sync "$box" key Return
  sleep 0.5
  xdotool windowfocus --sync "$dialog" key alt+F4 || true
  i=0
  while kill -0 $pid 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  kill -0 $pid 2>/dev/null && wineserver -k
  wait $pid 2>/dev/null || true
  echo "Screenshot: $out/screenshot.png (the dialog before OK: $out/screenshot-dialog.png)"
fi

export LANG=C.UTF-8  # Wine is done; report in plain UTF-8
show() {  # a settings file as UTF-8 text, one JSON member per line for diffing
  if [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" = "fffe" ]; then iconv -f UTF-16 -t UTF-8 "$1"; else cat "$1"; fi |
    sed 's/,"/,\n"/g'
}
for name in chrome edge prefs; do
  eval "now=\$$name"
  echo "== $name: $now"
  echo "   encoding before: $(file -b "$out/before/$name" | cut -d, -f1-2); after: $(file -b "$now" | cut -d, -f1-2)"
  show "$out/before/$name" > "$out/$name.before.txt"
  show "$now" > "$out/$name.after.txt"
  diff -u "$out/$name.before.txt" "$out/$name.after.txt" | tail -n +3 || true
done

for f in "$out"/zaridedev.log.*.txt; do
  [ -f "$f" ] || continue
  echo "== log $f"
  iconv -f GBK -t UTF-8 "$f"
  echo
done
