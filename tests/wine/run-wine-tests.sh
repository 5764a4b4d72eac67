#!/usr/bin/env bash
# Runs a Windows test program under Wine. Wine writes the debug channels of a process to its
# own standard error: the test program's, and those of the services that Wine's services.exe
# starts, which inherit that of the process that started the wineserver. So the wineserver is
# started afresh here, its first process with the eventlog channel on and its standard error
# in the log; the tests read that log (TREVALO_WINE_LOG, as a Windows path). It stays up for
# the whole run (warmed up before the first timed wait) and is stopped at the end. The log's
# end is shown when the run fails.
#
# A restart of the system, for the tests that need one: Wine's services.exe reads the services
# from the registry only when the wineserver starts, as Windows does at boot. A test that needs
# it writes a file named after itself (Suite.Test) into the folder TREVALO_WINE_RESTART, with
# whatever it wants to find again, and ends. The wineserver is then started afresh as above and
# those tests run again, with TREVALO_WINE_RESTARTED=1, to check what the restart left.
set -u
# The suites that CTest runs on the second machine (TREVALO_WINE_MACHINE=2): its own prefix
# and display (scripts/wine-env.sh), beside the others; never the first machine's prefix,
# whose wineserver the suites there restart.
if [ "${TREVALO_WINE_MACHINE:-1}" = 2 ]; then
    export WINEPREFIX=${TREVALO_WINEPREFIX_2:-${WINEPREFIX:-$HOME/.wine}-2}
    export DISPLAY=${TREVALO_DISPLAY_2:-${DISPLAY:-}}
fi
log=$(mktemp /tmp/trevalo-wine-XXXXXX.log)
restart_dir=$(mktemp -d /tmp/trevalo-restart-XXXXXX)
export TREVALO_WINE_LOG="Z:${log//\//\\}"
export TREVALO_WINE_RESTART="Z:${restart_dir//\//\\}"
exec 3>>"$log"
# The real Java 8 runtime of some tests needs its own msvcr100.dll, also in the services that
# the wineserver's services.exe starts.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=};msvcr100=n"

start_wineserver() {
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    wineserver -p </dev/null >/dev/null 2>&1
    WINEDEBUG=+eventlog wine cmd /c exit </dev/null >/dev/null 2>&3
}

start_wineserver
wine "$@" 2>&3
status=$?
restarted=$(cd "$restart_dir" && ls)
if [ -n "$restarted" ]; then
    echo "--- restarting the wineserver for: $restarted"
    start_wineserver
    TREVALO_WINE_RESTARTED=1 wine "$1" --gtest_filter="$(echo $restarted | tr ' ' ':')" 2>&3
    after=$?
    [ "$status" -eq 0 ] && status=$after
fi
if [ "$status" -ne 0 ]; then
    echo "--- end of Wine's standard error:"
    tail -n 40 "$log"
fi
wineserver -k 2>/dev/null
rm -rf "$log" "$restart_dir"
exit "$status"
