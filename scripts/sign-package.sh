#!/usr/bin/env bash
# Signs a package made by 'sfxpack create'; a thin wrapper around 'sfxpack sign', which
# does the work (see 'sfxpack sign --help').
#
#   sign-package.sh CERT.pem KEY.pem IN.exe OUT.exe
#   sign-package.sh --make-test-cert DIR     (DIR/cert.pem, DIR/key.pem)
#
# OUT.exe appears only once it has passed 'sfxpack verify --ca CERT.pem'. SFXPACK names
# the sfxpack binary, relative to the repository top unless absolute; the default is
# build/native/bin/sfxpack in a source tree, else sfxpack on PATH.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() {
    echo "usage: $0 CERT.pem KEY.pem IN.exe OUT.exe | $0 --make-test-cert DIR" >&2
    exit 2
}

sfxpack=${SFXPACK:-}
if [ -z "$sfxpack" ]; then
    sfxpack=build/native/bin/sfxpack
    [ -x "$top/$sfxpack" ] || sfxpack=$(command -v sfxpack || echo "$sfxpack")
fi
case $sfxpack in
    /*) ;;
    *) sfxpack=$top/$sfxpack ;;
esac
if [ ! -x "$sfxpack" ]; then
    echo "sign-package: no sfxpack at '$sfxpack' (build it, or set SFXPACK)" >&2
    exit 1
fi

if [ "${1:-}" = "--make-test-cert" ]; then
    [ $# -eq 2 ] || usage
    exec "$sfxpack" sign --make-test-cert "$2"
fi
[ $# -eq 4 ] || usage
exec "$sfxpack" sign --cert "$1" --key "$2" --out "$4" -- "$3"
