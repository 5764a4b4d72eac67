#!/usr/bin/env bash
# Start-up cost and size of the launcher. Prints, side by side in one run:
#  - the six stubs' sizes against the 80 KB budget;
#  - the time load_settings takes for the sample configuration (all settings, with an INI
#    file), against the whole run of the process that loads them.
# Run after ./build.sh. Never fails for being slow.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${RUNS:-20}

for stub in build/win32/trevalo-stub-x86*.exe build/win64/trevalo-stub-x64*.exe \
            build/arm64/trevalo-stub-arm64*.exe; do
    size=$(stat -c %s "$stub")
    echo "$(basename "$stub"): $size bytes; ratio to the 81920-byte budget: $(awk "BEGIN{printf \"%.2f\", $size/81920}")"
done

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
