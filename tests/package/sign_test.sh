#!/bin/sh
# scripts/sign.sh with a throwaway certificate made here: each file it signs verifies, and the same file with one byte
# changed does not; without its certificate it refuses and changes nothing.
# Usage: sign_test.sh FILE...
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 1 \
  -subj "/CN=Throwaway test signer" -addext extendedKeyUsage=codeSigning 2>/dev/null &&
  openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.pfx" -passout pass:t3st ||
  { echo "FAIL: no certificate"; exit 1; }
for file in "$@"; do cp "$file" "$work/"; done
cd "$work"
set -- $(for file in "$@"; do basename "$file"; done)

cp "$1" unsigned
DZD_SIGN_PASSWORD=t3st "$root/scripts/sign.sh" "$1" 2>err && fail "signed without a certificate"
grep -q DZD_SIGN_PFX err && cmp -s "$1" unsigned || fail "no clear refusal, or the file changed: $(cat err)"

DZD_SIGN_PFX=signer.pfx DZD_SIGN_PASSWORD=t3st DZD_SIGN_CAFILE=cert.pem "$root/scripts/sign.sh" "$@" >/dev/null ||
  fail "sign.sh failed"
for file in "$@"; do
  osslsigncode verify -CAfile cert.pem -in "$file" >/dev/null 2>&1 || fail "$file: the signature does not verify"
  # A byte the signature covers: in a program's code, in the MSI's cabinet of programs.
  at=$(grep -obUa MSCF "$file" | head -n 1 | cut -d: -f1)
  at=$(( ${at:-4000} + 100 ))
  byte=$(od -An -tu1 -j "$at" -N1 "$file" | tr -d ' ')
  printf "$(printf '\\%03o' $(( byte ^ 1 )))" | dd of="$file" bs=1 seek="$at" conv=notrunc 2>/dev/null
  osslsigncode verify -CAfile cert.pem -in "$file" >/dev/null 2>&1 && fail "$file: verifies with byte $at changed"
done
[ $failed -eq 0 ] && echo "Signed files verify; a changed byte fails them."
exit $failed
