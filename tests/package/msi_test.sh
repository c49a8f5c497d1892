#!/bin/sh
# The MSI as fleet tools use it, under Wine's msiexec: a silent install puts both programs in Program Files, where
# they run; a newer package replaces it in place, an older one does not; a silent uninstall leaves nothing of it, on disk or in the registry.
# Usage: msi_test.sh PACKAGE NEWER_PACKAGE PROGRAM CONSOLE_TWIN
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
: "${WINEPREFIX:=${DZD_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/divezavudizuzudud/wineprefix}}"
export WINEPREFIX
wine() { "$root/scripts/wine-exec.sh" "$@"; }
output=$(mktemp)
trap 'rm -f "$output"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v p="$2" '$1 == p { print $2 }'; }
msiexec() { wine msiexec "$1" "$(wine winepath -w "$2" | tr -d '\r')" /qn; }
# The version Apps & features shows for a product code; nothing when it has no entry.
listed() {
  wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1" /v DisplayVersion 2>/dev/null |
    tr -d '\r' | awk '$1 == "DisplayVersion" { print $3 }'
}
# A GUID as Windows Installer keeps it in the registry: each group's hex digits reversed, the last two by byte.
packed() {
  echo "$1" | tr -d '{}' | awk -F- '{ r = ""; for (i = 1; i <= 3; ++i) { s = ""; for (j = length($i); j > 0; --j)
    s = s substr($i, j, 1); r = r s } t = $4 $5; for (j = 1; j < length(t); j += 2) r = r substr(t, j + 1, 1) substr(t, j, 1);
    print r }'
}

old=$(property "$1" ProductCode) new=$(property "$2" ProductCode)
upgrade=$(property "$1" UpgradeCode)
folder="$WINEPREFIX/drive_c/Program Files/Quillpad"
# What an earlier run that stopped half way left.
wine msiexec /x "$old" /qn; wine msiexec /x "$new" /qn

msiexec /i "$1" || fail "install of $1 ended with $?"
cmp "$folder/DivezavuDizuzuDud.exe" "$3" || fail "the program is not installed"
cmp "$folder/DivezavuDizuzuDud.com" "$4" || fail "the console twin is not installed"
[ "$(listed "$old")" = "$(property "$1" ProductVersion)" ] || fail "no entry in Apps & features for $old"
wine "C:\\Program Files\\Quillpad\\DivezavuDizuzuDud.com" "vezoverove://check=yes/" >"$output"
code=$?
[ "$(head -n 1 "$output" | tr -d '\r') $(tail -n 1 "$output" | tr -d '\r')" = "Command: check=yes Result: $code" ] ||
  fail "the installed programs did not run: $code $(cat "$output")"

msiexec /i "$2" || fail "install of the newer $2 ended with $?"
[ -z "$(listed "$old")" ] || fail "the older version is still installed beside the newer one"
[ "$(listed "$new")" = "$(property "$2" ProductVersion)" ] || fail "no entry in Apps & features for $new"
[ -f "$folder/DivezavuDizuzuDud.exe" ] && [ -f "$folder/DivezavuDizuzuDud.com" ] || fail "the upgrade lost a program"
msiexec /i "$1" && fail "the older package installed over the newer version"
[ "$(listed "$new")" = "$(property "$2" ProductVersion)" ] && [ -z "$(listed "$old")" ] || fail "the older package changed the newer version"

msiexec /x "$2" || fail "uninstall ended with $?"
[ ! -e "$folder" ] || fail "left behind: $(ls -A "$folder")"
export_file="$WINEPREFIX/drive_c/dzd-msi-registry.reg"
for key in HKLM\\Software HKCU\\Software; do
  wine reg export "$key" 'C:\dzd-msi-registry.reg' /y >/dev/null
  left=$(iconv -f UTF-16 -t UTF-8 "$export_file" | grep -i -e Quillpad -e DivezavuDizuzuDud \
         $(for c in "$old" "$new" "$upgrade"; do echo "-e $(echo "$c" | tr -d '{}') -e $(packed "$c")"; done))
  [ -z "$left" ] || fail "left in $key: $left"
done
rm -f "$export_file"
[ $failed -eq 0 ] && echo "The package installs, runs, upgrades and uninstalls to nothing."
exit $failed
