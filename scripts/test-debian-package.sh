#!/usr/bin/env bash
# ctest: builds the Debian package with the build tree's CPack configuration, unpacks it
# with dpkg-deb into a scratch folder, and packs and lists with the unpacked sfxpack and
# no --launcher.   test-debian-package.sh BUILD_DIR LAUNCHER_IMAGE VERSION
set -euo pipefail
build=$1 launcher=$2 version=$3
if [ ! -f "$launcher" ]; then
    echo "SKIP: no launcher image at $launcher (cmake --build --preset windows builds it)"
    exit 77
fi
for tool in cpack dpkg-deb; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/sfxpack-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack could not build the package"; }
deb=$(ls "$work"/out/sfxpack_"$version"_*.deb)
echo "built $(basename "$deb")"

[ "$(dpkg-deb -f "$deb" Package)" = sfxpack ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for needed in osslsigncode openssl libc6; do
    [[ ", $depends" == *", $needed"* ]] || fail "Depends lacks $needed"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
sfxpack="$root/usr/bin/sfxpack"
image="$root/usr/share/sfxpack/VADuVavuVazo.exe"
for f in "$sfxpack" "$image" "$root/usr/share/sfxpack/sign-package.sh"; do
    [ -f "$f" ] || fail "not in the package: ${f#"$root"}"
done
cmp -s "$image" "$launcher" || fail "the packaged launcher image differs from the built one"
[ "$("$sfxpack" --version)" = "sfxpack $version" ] || fail "--version"

mkdir "$work/in"
printf '@echo off\r\n' >"$work/in/run.bat"
printf 'payload' >"$work/in/data.txt"
"$sfxpack" create --out "$work/pkg.exe" "$work/in/run.bat" "$work/in/data.txt"
"$sfxpack" list "$work/pkg.exe" | tee "$work/list.txt"
grep -q "name run.bat" "$work/list.txt" && grep -q "name data.txt" "$work/list.txt" ||
    fail "list does not show both files"
cmp -s -n "$(stat -c %s "$image")" "$work/pkg.exe" "$image" ||
    fail "the package does not start with the installed launcher image"
# The signing wrapper as installed finds the sfxpack installed with it.
wrapper="$root/usr/share/sfxpack/sign-package.sh"
PATH=/usr/bin:/bin "$wrapper" --make-test-cert "$work/keys" >/dev/null
PATH=/usr/bin:/bin "$wrapper" "$work/keys/cert.pem" "$work/keys/key.pem" "$work/pkg.exe" \
    "$work/signed.exe" >"$work/sign.txt" || { cat "$work/sign.txt"; fail "the wrapper did not sign"; }
"$sfxpack" verify "$work/signed.exe" --ca "$work/keys/cert.pem" >/dev/null || fail "signed package"
echo "PASS"
