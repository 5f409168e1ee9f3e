#!/usr/bin/env bash
# make test's Windows part: the whole Windows suite under Wine for every launcher this host
# can run. The x64 launcher runs on every x86-64 host; the x86 one (the default product)
# only where the kernel executes 32-bit code. Never passes with no Windows test run.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/host-arch.sh"
cd "$(dirname "$here")"

if sfx_host_runs_32bit; then
    presets=(windows-x64 windows)
    echo "windows tests: x64 and x86 (this kernel runs 32-bit x86 code)"
else
    presets=(windows-x64)
    echo "windows tests: x64 only; x86 not run: this kernel runs no 32-bit x86 code, so Wine cannot start the x86 launcher"
fi

if ! command -v wine >/dev/null || ! [ -x /usr/lib/wine/wine64 ]; then
    echo "windows tests: FAILED: no 64-bit Wine (/usr/lib/wine/wine64) to run any Windows test; run scripts/install-deps.sh" >&2
    exit 1
fi

status=0
for preset in "${presets[@]}"; do
    ctest --preset "$preset" || status=1
done
exit $status
