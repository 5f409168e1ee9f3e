#!/usr/bin/env bash
# ctest: packs one package, signs a copy with a throw-away certificate, checks the signature,
# then lets the end-to-end tests run both under Wine.   test-signed-package.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
build=$(cd "$1" && pwd)
sfx_wine_env "$build"

work="$build/signed-test"
rm -rf "$work"
mkdir -p "$work/in"
printf '@echo off\r\ncopy /y payload.txt "%%TEMP%%\\payload-copy.txt" > nul\r\n' > "$work/in/run.bat"
printf 'signed or not, the same bytes\r\n' > "$work/in/payload.txt"

openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=Package launcher test signing" \
    -addext extendedKeyUsage=codeSigning -days 2 \
    -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1

win() { winepath -w "$1" 2>/dev/null; }
wine "$build/bin/sfxpack.exe" create --launcher "$(win "$build/bin/VADuVavuVazo.exe")" \
    --out "$(win "$work/unsigned.exe")" "$(win "$work/in/run.bat")" "$(win "$work/in/payload.txt")"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 \
    -in "$work/unsigned.exe" -out "$work/signed.exe" >/dev/null
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >/dev/null
wine "$build/bin/sfxpack.exe" list "$(win "$work/signed.exe")"

SFX_SIGNED_DIR="$(win "$work")" exec wine "$build/bin/e2e_tests.exe" --gtest_filter='SignedPackageTest.*'
