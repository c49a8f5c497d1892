#!/bin/sh
# Signs each file named (the program, its console twin, the MSI) in place with
# an Authenticode signature, then verifies it:
#   DZD_SIGN_PFX            the certificate and its key, a PKCS#12 (.pfx) file
#   DZD_SIGN_PASSWORD       its password
#   DZD_SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamp server, so that the
#                           signature outlives the certificate
#   DZD_SIGN_CAFILE         optional: the certificates the verification trusts
#                           (default: the system's certificate authorities)
# A file is replaced only by a signed copy that verified. Builds are unsigned
# unless this is run.
set -eu
if [ $# -eq 0 ]; then
  echo "Usage: scripts/sign.sh FILE..." >&2
  exit 2
fi
for name in DZD_SIGN_PFX DZD_SIGN_PASSWORD; do
  eval "value=\${$name:-}"
  if [ -z "$value" ]; then
    echo "sign.sh: $name is not set; nothing was signed." >&2
    exit 2
  fi
done
if [ ! -r "$DZD_SIGN_PFX" ]; then
  echo "sign.sh: cannot read the certificate DZD_SIGN_PFX names: $DZD_SIGN_PFX" >&2
  exit 2
fi
command -v osslsigncode >/dev/null || { echo "sign.sh: osslsigncode is missing (scripts/deps.sh)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The password goes to osslsigncode in a file only this user can read, not on
# a command line every user can list.
(umask 077 && printf '%s' "$DZD_SIGN_PASSWORD" >"$work/password")

for file in "$@"; do
  set -- sign -pkcs12 "$DZD_SIGN_PFX" -readpass "$work/password" -h sha256 -n "Quillpad Chrome/Edge Fix"
  if [ -n "${DZD_SIGN_TIMESTAMP_URL:-}" ]; then set -- "$@" -ts "$DZD_SIGN_TIMESTAMP_URL"; fi
  rm -f "$work/signed"
  if ! osslsigncode "$@" -in "$file" -out "$work/signed" >"$work/log" 2>&1; then
    cat "$work/log" >&2
    echo "sign.sh: signing failed: $file" >&2
    exit 1
  fi
  set -- verify
  if [ -n "${DZD_SIGN_CAFILE:-}" ]; then set -- "$@" -CAfile "$DZD_SIGN_CAFILE"; fi
  if ! osslsigncode "$@" -in "$work/signed" >"$work/log" 2>&1; then
    cat "$work/log" >&2
    echo "sign.sh: the signature does not verify: $file" >&2
    exit 1
  fi
  # Written over, not moved: the file keeps its own permissions.
  cat "$work/signed" >"$file"
  echo "Signed and verified: $file"
done
