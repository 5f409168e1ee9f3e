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
