#!/usr/bin/env bash
# Signs Windows files (executables, installers) in place with Authenticode, when a certificate
# is given by the environment; without one it leaves them unsigned and says so.
#   CORVELAN_SIGN_PFX        the code-signing certificate and its key, as a PKCS#12 file
#   CORVELAN_SIGN_PASSWORD   its password (may be empty)
#   CORVELAN_SIGN_TIMESTAMP  optional: the URL of an RFC 3161 timestamp server, so that the
#                            signature stays valid after the certificate expires
#   sign-windows.sh FILE...
# Without a timestamp server the signing time is SOURCE_DATE_EPOCH when that is set, so that a
# signed build can be rebuilt bit for bit with the same certificate.
set -euo pipefail
if [ -z "${CORVELAN_SIGN_PFX:-}" ]; then
  echo "not signed (no CORVELAN_SIGN_PFX): $*" >&2
  exit 0
fi
[ -r "$CORVELAN_SIGN_PFX" ] || { echo "cannot read the certificate $CORVELAN_SIGN_PFX" >&2; exit 1; }
options=(-pkcs12 "$CORVELAN_SIGN_PFX" -pass "${CORVELAN_SIGN_PASSWORD:-}" -h sha256
  -n "Corvelan DTM Update Tool" -i "https://corvelan.example/dtm-update-tool")
if [ -n "${CORVELAN_SIGN_TIMESTAMP:-}" ]; then
  options+=(-ts "$CORVELAN_SIGN_TIMESTAMP")
elif [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  options+=(-time "$SOURCE_DATE_EPOCH")
fi
for file in "$@"; do
  # osslsigncode writes a new file; it never overwrites one.
  signed="$file.signing.$$"
  rm -f "$signed"
  if ! osslsigncode sign "${options[@]}" -in "$file" -out "$signed" >/dev/null; then
    rm -f "$signed"
    echo "cannot sign $file" >&2
    exit 1
  fi
  chmod --reference="$file" "$signed"
  mv "$signed" "$file"
  echo "signed $file" >&2
done
