#!/usr/bin/env bash
# Builds the fuzz target, makes its seed corpus and runs it for a bounded time:
#   fuzz.sh [SECONDS]   (default 60)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
cd "$top"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
work="$top/build/fuzz/run"
rm -rf "$work"
mkdir -p "$work/seeds" "$work/corpus" "$work/artifacts"
build/fuzz/bin/make_seeds "$work/seeds"
build/fuzz/bin/package_fuzzer -max_total_time="$seconds" -max_len=65536 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "$work/seeds" 2>"$work/fuzz.log" || {
    tail -40 "$work/fuzz.log"
    echo "fuzz: FAILED (crash inputs in $work/artifacts)"
    exit 1
}
grep -E "^stat::number_of_executed_units|^#[0-9]+ *DONE" "$work/fuzz.log" | tail -2
echo "fuzz: no crash within ${seconds} s"
