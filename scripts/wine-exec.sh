#!/bin/sh
# Runs a Windows program under Wine in the project's own prefix, so that
# tests never touch a user's ~/.wine and a warm wineserver is reused.
: "${WINEPREFIX:=${DZD_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/divezavudizuzudud/wineprefix}}"
export WINEPREFIX
: "${WINEDEBUG:=-all}"
export WINEDEBUG
# No Mono or Gecko download prompts in a prefix that only runs our programs.
: "${WINEDLLOVERRIDES:=mscoree=;mshtml=}"
export WINEDLLOVERRIDES
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
exec wine "$@"
