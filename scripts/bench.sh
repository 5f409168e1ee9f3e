#!/usr/bin/env bash
# make bench: every figure measured here, now, in one run: each against the floor of its
# job measured in the same rounds (see tests/bench/bench.cpp), medians of the rounds.
#   bench.sh [MiB]   (default 256)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(dirname "$here")
source "$here/wine-env.sh"
mib=${1:-256}
cd "$top"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); echo "$e - $s" | bc -l; }

echo "| what | measured | floor | ratio | goal |"
echo "|---|---|---|---|---|"
# Each launcher this host runs, against floors built for the same architecture.
for arch in $(sfx_runnable_archs); do
    if [ "$arch" = x86 ]; then preset=windows; else preset=windows-x64; fi
    cmake --build --preset "$preset" --target bench >/dev/null
    sfx_wine_env "$top/build/$preset"
    wine "$top/build/$preset/bin/bench.exe" "$mib" | tr -d '\r' | sed "s/^| /| $arch: /"
done
sfx_runnable_archs | grep -q x86 || echo "(x86 not measured: this kernel runs no 32-bit x86 code)" >&2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c "$((mib << 20))" /dev/urandom > "$work/payload.bin"
launcher="$top/build/windows/bin/VADuVavuVazo.exe"
sfxpack="$top/build/native/bin/sfxpack"
create=$(for i in 1 2 3 4 5; do rm -f "$work/p.exe"; seconds "$sfxpack" create --launcher "$launcher" --out "$work/p.exe" "$work/payload.bin" 2>/dev/null; done | median)
copy=$(for i in 1 2 3 4 5; do rm -f "$work/c.bin"; seconds cp "$work/payload.bin" "$work/c.bin"; done | median)
verify=$(for i in 1 2 3 4 5; do seconds "$sfxpack" verify "$work/p.exe"; done | median)
printf '| sfxpack create, %s MiB (Linux) | %.0f MiB/s | cp %.0f MiB/s | %.1fx | |\n' "$mib" \
    "$(echo "$mib / $create" | bc -l)" "$(echo "$mib / $copy" | bc -l)" "$(echo "$create / $copy" | bc -l)"
printf '| sfxpack verify, %s MiB (Linux) | %.0f MiB/s | cp %.0f MiB/s | %.3fx | |\n' "$mib" \
    "$(echo "$mib / $verify" | bc -l)" "$(echo "$mib / $copy" | bc -l)" "$(echo "$verify / $copy" | bc -l)"
