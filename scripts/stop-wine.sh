#!/usr/bin/env bash
# Ends the Wine servers (and with them every Wine process) of this checkout's own prefixes,
# found by their prefix folders under build/. Other Wine users of the machine are left alone.
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
command -v wineserver >/dev/null || exit 0
shopt -s nullglob
for prefix in "$top"/build/*/wineprefix*; do
    [ -d "$prefix" ] || continue
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 </dev/null || true
    WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 </dev/null || true
done
exit 0
