#!/usr/bin/env bash
# Signs copies of the Windows executables and installer with a throwaway certificate authority
# and code-signing certificate, as scripts/sign-windows.sh signs a release, and checks that
# osslsigncode verifies them against that authority and refuses a copy with one byte changed.
#   check_signing.sh <build folder>
set -euo pipefail
build="$1"
root="$(cd "$(dirname "$0")/../.." && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

# The authority, and a code-signing certificate it issued, with its key in a PKCS#12 file.
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
  -subj "/CN=Corvelan Test Root" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
  -subj "/CN=Corvelan Test Signer" 2>/dev/null
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
  "extendedKeyUsage=codeSigning" >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
  -extfile signer.ext -out signer.pem 2>/dev/null
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -passout pass:test \
  -out signer.pfx

failures=0
check() {
  local name="$1"
  shift
  if "$@" >"$scratch/log" 2>&1; then echo "ok   $name"; else
    echo >&2
    echo "FAIL $name" >&2
    cat "$scratch/log" >&2
    failures=$((failures + 1))
  fi
}
verifies() { osslsigncode verify -CAfile ca.pem -in "$1"; }
refused() { ! osslsigncode verify -CAfile ca.pem -in "$1"; }

files=(corvelan-dtm-update-tool.exe corvelan-dtm-cli.exe
  "$(cd "$build" && ls corvelan-dtm-update-tool-*-x64.msi)")
for f in "${files[@]}"; do
  cp "$build/$f" .
done
# Without a certificate nothing is signed.
check "without a certificate the files stay as they are" \
  bash -c "env -u CORVELAN_SIGN_PFX '$root/scripts/sign-windows.sh' corvelan-dtm-cli.exe &&
           cmp -s corvelan-dtm-cli.exe '$build/corvelan-dtm-cli.exe'"
CORVELAN_SIGN_PFX="$scratch/signer.pfx" CORVELAN_SIGN_PASSWORD=test SOURCE_DATE_EPOCH=1765000000 \
  "$root/scripts/sign-windows.sh" "${files[@]}"
for f in "${files[@]}"; do
  check "$f is signed and verifies against the authority" verifies "$f"
  cp "$f" "tampered-$f"
  # One byte in the middle of what the signature covers.
  size=$(stat -c %s "$f")
  printf '\x5a' | dd of="tampered-$f" bs=1 seek=$((size / 3)) conv=notrunc status=none
  check "$f with one byte changed is refused" refused "tampered-$f"
done
check "a signature of another authority is refused" \
  bash -c "openssl req -x509 -newkey rsa:2048 -nodes -keyout other.key -out other.pem -days 2 \
             -subj '/CN=Other Root' 2>/dev/null &&
           ! osslsigncode verify -CAfile other.pem -in corvelan-dtm-cli.exe"
[ "$failures" -eq 0 ]
