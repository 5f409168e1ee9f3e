#!/usr/bin/env bash
# Runs a Windows program of a build tree under Wine: wine-run.sh BUILD/bin/prog.exe ARGS...
# ctest uses it as the cross-compiling emulator.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
exe=$1
shift
bin_dir=$(cd "$(dirname "$exe")" && pwd)
if [ -n "${SFX_FRESH_WINESERVER:-}" ]; then
    # Wine's desktop process belongs to the server and keeps the display it was started with:
    # one left over from earlier programs without a display would take this program's
    # windows. A fresh server starts it on this program's display.
    WINEPREFIX="${SFX_WINEPREFIX:-$(dirname "$bin_dir")/wineprefix}" wineserver -k >/dev/null 2>&1 </dev/null || true
    WINEPREFIX="${SFX_WINEPREFIX:-$(dirname "$bin_dir")/wineprefix}" wineserver -w >/dev/null 2>&1 </dev/null || true
fi
sfx_wine_env "$(dirname "$bin_dir")"
exec wine "$exe" "$@"
