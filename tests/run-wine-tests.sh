#!/usr/bin/env bash
# Runs a Windows test program under Wine. Wine writes the debug channels of the program and of
# every process it starts to its own standard error: that goes to a log that the tests read
# (TREVALO_WINE_LOG, as a Windows path), and its end is shown when the run fails.
set -u
log=$(mktemp /tmp/trevalo-wine-XXXXXX.log)
export TREVALO_WINE_LOG="Z:${log//\//\\}"
wine "$@" 2>"$log"
status=$?
if [ "$status" -ne 0 ]; then
    echo "--- end of Wine's standard error:"
    tail -n 40 "$log"
fi
rm -f "$log"
exit "$status"
