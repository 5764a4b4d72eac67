#!/usr/bin/env bash
# Runs a Windows test program under Wine. Wine writes the debug channels of a process to its
# own standard error: the test program's, and those of the services that Wine's services.exe
# starts, which inherit that of the process that started the wineserver. So the wineserver is
# started afresh here, its first process with the eventlog channel on and its standard error
# in the log; the tests read that log (TREVALO_WINE_LOG, as a Windows path). It stays up for
# the whole run (warmed up before the first timed wait) and is stopped at the end. The log's
# end is shown when the run fails.
set -u
log=$(mktemp /tmp/trevalo-wine-XXXXXX.log)
export TREVALO_WINE_LOG="Z:${log//\//\\}"
exec 3>>"$log"
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
wineserver -p </dev/null >/dev/null 2>&1
WINEDEBUG=+eventlog wine cmd /c exit </dev/null >/dev/null 2>&3
wine "$@" 2>&3
status=$?
if [ "$status" -ne 0 ]; then
    echo "--- end of Wine's standard error:"
    tail -n 40 "$log"
fi
wineserver -k 2>/dev/null
rm -f "$log"
exit "$status"
