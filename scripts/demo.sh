#!/usr/bin/env bash
# Packs the example package into the launcher, runs it under Wine and shows what it did.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(dirname "$here")
source "$here/wine-env.sh"

source "$here/host-arch.sh"

# The x86 launcher is the default product; Wine runs it only where the kernel runs 32-bit code.
if sfx_host_runs_32bit; then
    arch=x86 build="$top/build/windows" why="this kernel runs 32-bit x86 code"
else
    arch=x64 build="$top/build/windows-x64"
    why="this kernel runs no 32-bit x86 code, so Wine runs only the x64 launcher"
fi
sfxpack="$top/build/native/bin/sfxpack"
out_dir="$top/build/demo"
mkdir -p "$out_dir"
unsigned="$out_dir/unsigned.exe"
package="$out_dir/VADuVavuVazo.exe"

echo "== launcher: $arch ($why)"
echo
echo "== pack: sfxpack create --arch $arch (the launcher image built in ${build#"$top/"})"
"$sfxpack" create --arch "$arch" --out "$unsigned" \
    "$top/examples/package/run.bat" "$top/examples/package/readme.txt" "$top/examples/package/settings.ini"
echo
echo "== sign with a throw-away self-signed certificate"
rm -rf "$out_dir/cert"
"$sfxpack" sign --make-test-cert "$out_dir/cert" >/dev/null
rm -f "$package"
"$sfxpack" sign --cert "$out_dir/cert/cert.pem" --key "$out_dir/cert/key.pem" "$unsigned" --out "$package"
echo
echo "== sfxpack list of the signed package"
"$sfxpack" list "$package"
echo

sfx_wine_env "$build"
temp_win=$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')
temp_dir=$(winepath -u "$temp_win" 2>/dev/null)
log="$temp_dir/unpack.log"
before=0
[ -f "$log" ] && before=$(stat -c %s "$log")
rm -f "$temp_dir/example-result.txt" "$temp_dir/example-readme-copy.txt"

echo "== run under Wine: $package"
set +e
wine "$package"
code=$?
set -e
echo "exit code: $code"
echo

echo "== log lines of this run ($temp_win\\unpack.log)"
tail -c +"$((before + 1))" "$log" | iconv -f UTF-16LE -t UTF-8 | tr -d '\r'
echo
echo "== what run.bat wrote to the batch output file (unpack.log.txt)"
tr -d '\r' < "$temp_dir/unpack.log.txt"
echo
echo "== files run.bat left in the temporary folder"
for f in example-result.txt example-readme-copy.txt; do
    printf '%s: ' "$f"
    tr -d '\r' < "$temp_dir/$f" 2>/dev/null || echo "(missing)"
done
echo
if [ -e "$temp_dir/unpack" ]; then
    echo "work folder: still there ($temp_dir/unpack)"
else
    echo "work folder: removed after the run"
fi
