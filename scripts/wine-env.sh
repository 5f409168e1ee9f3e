# Sourced by the scripts that run Windows programs: sets up the Wine prefix of a build
# tree once and keeps one wineserver alive for it, so that each program starts warm.
#   sfx_wine_env BUILD_DIR
source "$(dirname "${BASH_SOURCE[0]}")/host-arch.sh"

sfx_wine_env() {
    local build_dir=$1
    sfx_wine64_only_if_needed "$build_dir"
    export WINEPREFIX="${SFX_WINEPREFIX:-$build_dir/wineprefix}"
    export WINEDEBUG="${WINEDEBUG:--all}"
    # No Mono or Gecko installers: the launcher needs neither.
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
    if [ ! -f "$WINEPREFIX/.sfx-ready" ]; then
        mkdir -p "$(dirname "$WINEPREFIX")"
        (
            flock 9
            if [ ! -f "$WINEPREFIX/.sfx-ready" ]; then
                echo "wine: making the prefix $WINEPREFIX (once per build tree)" >&2
                wineboot -i >/dev/null 2>&1 </dev/null
                # Message boxes close at once without a window manager only when unmanaged.
                wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
                wineserver -w
                touch "$WINEPREFIX/.sfx-ready"
            fi
        ) 9>"$WINEPREFIX.lock"
    fi
    # Started detached from our pipes and from every other descriptor the caller holds (a
    # lock file, say): the server and the services it starts outlive the caller and would
    # hold them open.
    sfx_detached wineserver -p || true
    sfx_detached wine cmd /c exit 0 || true
}

# Runs a command with standard input, output and error on /dev/null and no other descriptor.
sfx_detached() {
    (
        for fd in /proc/$BASHPID/fd/*; do
            fd=${fd##*/}
            [ "$fd" -gt 2 ] && eval "exec $fd>&-"
        done
        exec "$@"
    ) >/dev/null 2>&1 </dev/null
}

# On a host that runs no 32-bit code, Debian's wine script (which wineboot, winepath and the
# rest call as wine-stable) still picks the 32-bit loader whenever wine32 is installed, and
# every program then fails. There a folder that goes first on PATH gives both names to the
# 64-bit loader, which runs the x64 launcher and its tests. Without wine32 the script picks
# the 64-bit loader by itself; on a host that runs 32-bit code nothing changes.
sfx_wine64_only_if_needed() {
    [ -x /usr/lib/wine/wine ] && [ -x /usr/lib/wine/wine64 ] || return 0
    if [ -z "${SFX_HOST_RUNS_32BIT:-}" ]; then
        if sfx_host_runs_32bit; then SFX_HOST_RUNS_32BIT=1; else SFX_HOST_RUNS_32BIT=0; fi
        export SFX_HOST_RUNS_32BIT
    fi
    [ "$SFX_HOST_RUNS_32BIT" = 0 ] || return 0
    local shim="$1/wine64-only"
    if [ ! -x "$shim/wine-stable" ]; then
        mkdir -p "$shim"
        printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/wine"
        chmod 755 "$shim/wine"
        ln -sf wine "$shim/wine-stable"
    fi
    case ":$PATH:" in *":$shim:"*) ;; *) export PATH="$shim:$PATH" ;; esac
}
