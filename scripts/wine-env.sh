# Sets up the private Wine prefix and a virtual display for running the Windows programs.
# Sourced by build.sh and test.sh; the prefix is made once and reused.
trevalo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# A 64-bit prefix runs both the x86 and the x64 launchers.
export WINEPREFIX="$trevalo_root/build/wineprefix64"
export WINEARCH=win64
# Wine's .NET and HTML engines cannot be fetched here; never offer to install them.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all

wine_prefix_up() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$(dirname "$WINEPREFIX")"
        wineboot -i >/dev/null 2>&1
        # Without a window manager, Wine waits about 2 s for one whenever a window closes;
        # unmanaged windows close at once.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    fi
}

# Message boxes need a display: start Xvfb on a free display unless one is set.
trevalo_xvfb_pid=""
display_up() {
    [ -n "${DISPLAY:-}" ] && return 0
    local n
    for n in $(seq 91 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        trevalo_xvfb_pid=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && return 0
            sleep 0.1
        done
        echo "Xvfb did not start on :$n" >&2
        return 1
    done
    echo "no free display for Xvfb" >&2
    return 1
}

wine_down() {
    wineserver -k 2>/dev/null || true
    [ -n "$trevalo_xvfb_pid" ] && kill "$trevalo_xvfb_pid" 2>/dev/null || true
}
