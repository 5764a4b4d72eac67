#!/usr/bin/env bash
# Start-up cost and size of the launcher. Prints, side by side in one run:
#  - the stub's size against the 100 KB budget of the finished launcher;
#  - the time load_settings takes for the sample configuration (all settings, with an INI
#    file), against the whole run of the process that loads them.
# Run after ./build.sh. Never fails for being slow.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${RUNS:-20}

stub=$(stat -c %s build/win32/trevalo-stub.exe)
echo "stub size: $stub bytes; ratio to the 102400-byte budget: $(awk "BEGIN{printf \"%.2f\", $stub/102400}")"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp resources/sample.cfg "$work/app.cfg"
echo "ini_file = app.ini" >> "$work/app.cfg"
printf '[Application Configuration]\nJvmOptions=-Xmx256m\nAppOptions=-win\n' > "$work/app.ini"
wine build/win32/trevalo-build.exe --stub build/win32/settings_probe.exe \
    "$work/app.cfg" "$work/probe.exe" >/dev/null

loads=()
walls=()
for _ in $(seq "$runs"); do
    start=$(now_us)
    us=$(wine "$work/probe.exe" | tr -d '\r' | sed -n 's/^load_settings_us=//p')
    end=$(now_us)
    loads+=("$us")
    walls+=($((end - start)))
done
load=$(median "${loads[@]}")
wall=$(median "${walls[@]}")
echo "load_settings: median ${load} us over $runs runs; whole process run under Wine: median ${wall} us"
echo "ratio load_settings / process run: $(awk "BEGIN{printf \"%.4f\", $load/$wall}")"
