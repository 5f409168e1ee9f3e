#!/usr/bin/env bash
# Signs a package made by 'sfxpack create' and checks the result.
#
#   scripts/sign-package.sh CERT.pem KEY.pem IN.exe OUT.exe
#   scripts/sign-package.sh --make-test-cert DIR     (DIR/cert.pem, DIR/key.pem)
#
# The signature is not timestamped (that needs the network), so it stops being valid
# when the certificate expires. OUT.exe appears only once it has passed
# 'sfxpack verify --ca CERT.pem': a failed run leaves no OUT.exe (and an existing one as
# it was). SFXPACK names the sfxpack binary, relative to the repository top unless
# absolute; the default is build/native/bin/sfxpack.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

die() {
    echo "sign-package: $*" >&2
    exit 1
}

usage() {
    echo "usage: $0 CERT.pem KEY.pem IN.exe OUT.exe | $0 --make-test-cert DIR" >&2
    exit 2
}

need() {
    command -v "$1" >/dev/null 2>&1 ||
        die "$1 is not installed (scripts/install-deps.sh installs it)"
}

# A throw-away self-signed code-signing certificate, good for 30 days; for tests only.
make_test_cert() {
    local dir=$1
    need openssl
    mkdir -p "$dir"
    openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=sfxpack test signer" \
        -addext extendedKeyUsage=codeSigning -days 30 \
        -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null ||
        die "openssl could not make a certificate in '$dir'"
    echo "made $dir/cert.pem and $dir/key.pem"
}

if [ "${1:-}" = "--make-test-cert" ]; then
    [ $# -eq 2 ] || usage
    make_test_cert "$2"
    exit 0
fi
[ $# -eq 4 ] || usage
cert=$1 key=$2 in=$3 out=$4

sfxpack=${SFXPACK:-build/native/bin/sfxpack}
case $sfxpack in
    /*) ;;
    *) sfxpack=$top/$sfxpack ;;
esac
[ -x "$sfxpack" ] || die "no sfxpack at '$sfxpack' (build it, or set SFXPACK)"
need osslsigncode
for f in "$cert" "$key" "$in"; do
    [ -f "$f" ] || die "'$f' is not a file"
done

# Signing a broken package would only give a broken signed one. (A signed one is fine:
# osslsigncode replaces its signature.)
"$sfxpack" list "$in" >/dev/null || die "'$in' is not an intact package"

# Beside OUT, so the final move is a rename within one folder.
tmp=$out.signing.$$
trap 'rm -f "$tmp"' EXIT
rm -f "$tmp"
osslsigncode sign -certs "$cert" -key "$key" -h sha256 -in "$in" -out "$tmp" >/dev/null ||
    die "osslsigncode could not sign '$in'"
# verify checks the layout too: the trailer must still end exactly where the
# certificate table begins, or the launcher would not find its package.
"$sfxpack" verify "$tmp" --ca "$cert" || die "the signed package did not pass verification"
mv -f "$tmp" "$out"
trap - EXIT
echo "signed $out"
