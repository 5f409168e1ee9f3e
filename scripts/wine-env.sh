# Sourced by the scripts that run Windows programs: sets up the Wine prefix of a build
# tree once and keeps one wineserver alive for it, so that each program starts warm.
#   sfx_wine_env BUILD_DIR
sfx_wine_env() {
    local build_dir=$1
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
    # Started detached from our pipes: the server inherits them and would hold them open.
    wineserver -p >/dev/null 2>&1 </dev/null || true
    # Likewise the prefix's service processes, which the first program of a server starts.
    wine cmd /c exit 0 >/dev/null 2>&1 </dev/null || true
}
