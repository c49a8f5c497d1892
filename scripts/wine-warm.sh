#!/bin/sh
# Makes sure the project's Wine prefix exists and leaves a persistent
# wineserver running for it, so each test program starts in a fraction of
# a second instead of booting Wine again.
: "${WINEPREFIX:=${DZD_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/divezavudizuzudud/wineprefix}}"
export WINEPREFIX WINEDEBUG=-all
: "${WINEDLLOVERRIDES:=mscoree=;mshtml=}"
export WINEDLLOVERRIDES
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || exit 1
fi
# Whatever server is up may be about to exit (one left by the boot is not
# persistent): replace it with a persistent one. Only our programs use this
# prefix, and nothing of ours runs while the suite warms up.
wineserver -k >/dev/null 2>&1
wineserver -p </dev/null >/dev/null 2>&1
# The first program started also starts Wine's own services, which stay up
# with the server; start them here with no pipes of ours, or ctest would
# wait for those services to close its output pipe.
wine cmd /c exit 0 </dev/null >/dev/null 2>&1
