# Sets up the private Wine prefixes and virtual displays for running the Windows programs.
# Sourced by build.sh and test.sh; the prefixes are made once and reused.
trevalo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# A 64-bit prefix runs both the x86 and the x64 launchers.
export WINEPREFIX="$trevalo_root/build/wineprefix64"
export WINEARCH=win64
# A second machine, a prefix and a display of its own, on which some Wine suites run beside the
# others (tests/wine/CMakeLists.txt names them; run-wine-tests.sh takes it).
export TREVALO_WINEPREFIX_2="$trevalo_root/build/wineprefix64-2"
# Wine's .NET and HTML engines cannot be fetched here; never offer to install them.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all

wine_prefix_up() {
    local prefix
    for prefix in "$WINEPREFIX" "$TREVALO_WINEPREFIX_2"; do
        [ -f "$prefix/system.reg" ] && continue
        mkdir -p "$(dirname "$prefix")"
        WINEPREFIX=$prefix wineboot -i >/dev/null 2>&1
        # Without a window manager, Wine waits about 2 s for one whenever a window closes;
        # unmanaged windows close at once.
        WINEPREFIX=$prefix wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
            >/dev/null 2>&1
    done
}

# Message boxes need a display: start Xvfb on a free display for DISPLAY unless one is set,
# and one for TREVALO_DISPLAY_2 (the second machine's) likewise.
trevalo_xvfb_pids=""
display_up() {
    local variable n
    for variable in DISPLAY TREVALO_DISPLAY_2; do
        [ -n "${!variable:-}" ] && continue
        for n in $(seq 91 160); do
            [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
            Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
            trevalo_xvfb_pids="$trevalo_xvfb_pids $!"
            export "$variable=:$n"
            for _ in $(seq 50); do
                [ -e "/tmp/.X11-unix/X$n" ] && break
                sleep 0.1
            done
            [ -e "/tmp/.X11-unix/X$n" ] && break
            echo "Xvfb did not start on :$n" >&2
            return 1
        done
        [ -n "${!variable:-}" ] || { echo "no free display for Xvfb" >&2; return 1; }
    done
}

wine_down() {
    wineserver -k 2>/dev/null || true
    WINEPREFIX=$TREVALO_WINEPREFIX_2 wineserver -k 2>/dev/null || true
    [ -n "$trevalo_xvfb_pids" ] && kill $trevalo_xvfb_pids 2>/dev/null || true
}
