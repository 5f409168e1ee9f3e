#!/usr/bin/env bash
# install-deps's decision about 32-bit code, with the probe stubbed, and the probe itself.
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$top/scripts/host-arch.sh"
failures=0
check() {  # check WHAT COMMAND...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
plan() { SFX_IA32_PROBE=$1 bash "$top/scripts/install-deps.sh" --plan; }

runs=$(plan true)
refused=$(plan false)
check "a probe that runs: one line saying so" grep -q "^install-deps: this kernel runs 32-bit x86 code" <<<"$runs"
check "a probe that runs: Wine's 32-bit part is installed" grep -q " wine32:i386" <<<"$runs"
check "a refused probe: one line saying so" grep -q "^install-deps: this kernel runs no 32-bit x86 code" <<<"$refused"
check "a refused probe: no i386 package at all" bash -c '! grep -q ":i386" <<<"$1"' _ "$refused"
for host in "$runs" "$refused"; do
    for p in wine64 g++-mingw-w64-x86-64 g++-mingw-w64-i686; do
        check "$p is installed either way" grep -q " $p\( \|$\)" <<<"$host"
    done
done
# A probe that cannot be executed at all (the kernel's ENOEXEC gives 126) counts as refused.
notexec=$(mktemp); printf 'not a program' >"$notexec"; chmod 755 "$notexec"
check "an unexecutable probe means no 32-bit code" bash -c '! SFX_IA32_PROBE=$1 bash -c "source $2; sfx_host_runs_32bit"' _ "$notexec" "$top/scripts/host-arch.sh"
rm -f "$notexec"
check "the runnable launchers follow the probe" test "$(SFX_IA32_PROBE=true sfx_runnable_archs)/$(SFX_IA32_PROBE=false sfx_runnable_archs)" = "x86 x64/x64"

# The real probe: a static i386 executable (no interpreter, so no i386 library can decide)
# whose only code is exit(0).
probe=$(mktemp)
sfx_write_ia32_probe "$probe"
header=$(readelf -h -l "$probe" 2>&1)
check "the probe is a 32-bit i386 executable" bash -c 'grep -q "Class:.*ELF32" <<<"$1" && grep -q "Machine:.*80386" <<<"$1"' _ "$header"
check "the probe needs no program interpreter" bash -c '! grep -q INTERP <<<"$1"' _ "$header"
check "the probe's one segment covers the file and holds the entry" \
    bash -c 'grep -q "LOAD .* 0x08048000 0x08048000 0x0005d 0x0005d R E" <<<"$1" && grep -q "Entry point address: *0x8048054" <<<"$1"' _ "$header"
check "the probe ends in exit(0)" test "$(tail -c 9 "$probe" | od -An -tx1 | tr -d ' \n')" = "b80100000031dbcd80"
if command -v qemu-i386 >/dev/null; then
    check "the probe exits 0 where 32-bit code runs (qemu-i386)" qemu-i386 "$probe"
fi
rm -f "$probe"
if sfx_host_runs_32bit; then echo "this host: runs 32-bit x86 code"; else echo "this host: runs no 32-bit x86 code"; fi

echo "host arch: $failures failed"
[ "$failures" -eq 0 ]
