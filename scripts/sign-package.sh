#!/usr/bin/env bash
# Signs a package made by 'sfxpack create'; a thin wrapper around 'sfxpack sign', which
# does the work (see 'sfxpack sign --help').
#
#   sign-package.sh CERT.pem KEY.pem IN.exe OUT.exe
#   sign-package.sh --make-test-cert DIR     (DIR/cert.pem, DIR/key.pem)
#
# OUT.exe appears only once it has passed 'sfxpack verify --ca CERT.pem'. SFXPACK names
# the sfxpack binary, relative to the repository top unless absolute.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(dirname "$here")

usage() {
    echo "usage: $0 CERT.pem KEY.pem IN.exe OUT.exe | $0 --make-test-cert DIR" >&2
    exit 2
}

# SFXPACK, else the source tree's build, else the installed one (this script lives in
# PREFIX/share/sfxpack), else sfxpack on PATH.
sfxpack=${SFXPACK:-}
if [ -n "$sfxpack" ]; then
    case $sfxpack in
        /*) ;;
        *) sfxpack=$top/$sfxpack ;;
    esac
else
    for candidate in "$top/build/native/bin/sfxpack" "$here/../../bin/sfxpack" \
        "$(command -v sfxpack || true)"; do
        if [ -n "$candidate" ] && [ -x "$candidate" ]; then
            sfxpack=$candidate
            break
        fi
    done
fi
if [ -z "$sfxpack" ] || [ ! -x "$sfxpack" ]; then
    echo "sign-package: no sfxpack found${sfxpack:+ at '$sfxpack'} (build it, or set SFXPACK)" >&2
    exit 1
fi

if [ "${1:-}" = "--make-test-cert" ]; then
    [ $# -eq 2 ] || usage
    exec "$sfxpack" sign --make-test-cert "$2"
fi
[ $# -eq 4 ] || usage
exec "$sfxpack" sign --cert "$1" --key "$2" --out "$4" -- "$3"
