#!/usr/bin/env bash
# Authenticode signing with a throw-away self-signed certificate, as
# ./run.sh windows signs with a real one:
#   signing_test.sh DIST-FOLDER
# Without a certificate the sign step changes nothing. With one, the programs
# are signed, an installer is made of them (it signs itself as makensis writes
# it), and each signature verifies with the certificate as the trusted root.
set -euo pipefail
dist=$1
packaging=$(cd "$(dirname "$0")/../../packaging/windows" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Merovane throw-away signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.pfx" \
    -passout pass:throw-away
mkdir "$work/dist"
cp "$dist/merovane-config.exe" "$dist/merovane-ctl.exe" "$dist/README.txt" "$work/dist"
programs=("$work/dist/merovane-config.exe" "$work/dist/merovane-ctl.exe")

before=$(sha256sum "${programs[@]}")
env -u MEROVANE_SIGN_PFX "$packaging/sign" "${programs[@]}"
[ "$(sha256sum "${programs[@]}")" = "$before" ] || fail "signed without a certificate"

export MEROVANE_SIGN_PFX=$work/signer.pfx MEROVANE_SIGN_PASSWORD=throw-away
"$packaging/sign" "${programs[@]}"
makensis -V1 -DVERSION=0.0.1 -DDIST="$work/dist" -DOUTFILE="$work/setup.exe" \
    -DSIGN="$packaging/sign" "$packaging/installer.nsi"
for file in "${programs[@]}" "$work/setup.exe"; do
    osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify.log" 2>&1 ||
        { cat "$work/verify.log" >&2; fail "$(basename "$file"): the signature does not verify"; }
    grep -q "Merovane throw-away signer" "$work/verify.log" ||
        fail "$(basename "$file"): not signed by the throw-away certificate"
done
echo "signed and verified: merovane-config.exe merovane-ctl.exe setup.exe"
