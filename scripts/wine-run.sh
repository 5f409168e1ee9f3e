#!/usr/bin/env bash
# Runs a Windows program of a build tree under Wine: wine-run.sh BUILD/bin/prog.exe ARGS...
# ctest uses it as the cross-compiling emulator.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
exe=$1
shift
bin_dir=$(cd "$(dirname "$exe")" && pwd)
sfx_wine_env "$(dirname "$bin_dir")"
exec wine "$exe" "$@"
