#!/usr/bin/env bash
# ctest: builds the Debian package with the build tree's CPack configuration, unpacks it
# with dpkg-deb into a scratch folder, and packs and lists with the unpacked sfxpack and
# no --launcher, for each architecture.
#   test-debian-package.sh BUILD_DIR X86_LAUNCHER_IMAGE X64_LAUNCHER_IMAGE VERSION
set -euo pipefail
build=$1 launcher=$2 launcher_x64=$3 version=$4
for image_preset in "$launcher windows" "$launcher_x64 windows-x64"; do
    read -r image preset <<<"$image_preset"
    if [ ! -f "$image" ]; then
        echo "SKIP: no launcher image at $image (cmake --build --preset $preset builds it)"
        exit 77
    fi
done
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
image_x64="$root/usr/share/sfxpack/x64/VADuVavuVazo.exe"
for f in "$sfxpack" "$image" "$image_x64" "$root/usr/share/sfxpack/sign-package.sh"; do
    [ -f "$f" ] || fail "not in the package: ${f#"$root"}"
done
cmp -s "$image" "$launcher" || fail "the packaged x86 launcher image differs from the built one"
cmp -s "$image_x64" "$launcher_x64" || fail "the packaged x64 launcher image differs from the built one"
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
grep -q "^architecture: x86$" "$work/list.txt" || fail "list does not name x86 by default"
"$sfxpack" create --arch x64 --out "$work/pkg64.exe" "$work/in/run.bat"
"$sfxpack" list "$work/pkg64.exe" >"$work/list64.txt"
grep -q "^architecture: x64$" "$work/list64.txt" || fail "create --arch x64 did not make an x64 package"
cmp -s -n "$(stat -c %s "$image_x64")" "$work/pkg64.exe" "$image_x64" ||
    fail "create --arch x64 does not start with the installed x64 launcher image"
# The signing wrapper as installed finds the sfxpack installed with it.
wrapper="$root/usr/share/sfxpack/sign-package.sh"
PATH=/usr/bin:/bin "$wrapper" --make-test-cert "$work/keys" >/dev/null
PATH=/usr/bin:/bin "$wrapper" "$work/keys/cert.pem" "$work/keys/key.pem" "$work/pkg.exe" \
    "$work/signed.exe" >"$work/sign.txt" || { cat "$work/sign.txt"; fail "the wrapper did not sign"; }
"$sfxpack" verify "$work/signed.exe" --ca "$work/keys/cert.pem" >/dev/null || fail "signed package"
echo "PASS"
