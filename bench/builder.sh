#!/usr/bin/env bash
# Building a launcher with 100 MB of embedded files: the Linux builder natively against the
# Windows builder under Wine, the same configuration, files and stub, measured side by side in
# one run (the two alternate, RUNS times each; medians). Also checks that both wrote the same
# bytes. Run after ./build.sh; never fails for being slow.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${RUNS:-5}
linux_builder=build/host/trevalo-build
windows_builder=build/win32/trevalo-build.exe
stub=build/win64/trevalo-stub-x64.exe
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 100 MB in twenty random files of 5 MB, in a folder the configuration embeds.
mkdir -p "$work/files"
for i in $(seq -w 1 20); do head -c 5242880 /dev/urandom > "$work/files/part$i.jar"; done
printf 'main_class = bench.Main\nembed = files\n' > "$work/app.cfg"

build_us() {  # builder command..., output
    local start end
    start=$(now_us)
    "$@" --stub "$stub" "$work/app.cfg" "$work/$out" >/dev/null
    end=$(now_us)
    echo $((end - start))
}
# The Wine server stays up between runs, as it would for someone building several launchers.
wineserver -p 2>/dev/null || true
out=windows.exe build_us wine "$windows_builder" >/dev/null  # warms up the prefix and the cache

linux=(); windows=()
for _ in $(seq "$runs"); do
    out=linux.exe; linux+=("$(build_us "$linux_builder")")
    out=windows.exe; windows+=("$(build_us wine "$windows_builder")")
done
cmp -s "$work/linux.exe" "$work/windows.exe" && same="identical" || same="DIFFERENT"
l=$(median "${linux[@]}"); w=$(median "${windows[@]}")
echo "launcher with 100 MB of embedded files ($(stat -c %s "$work/linux.exe") bytes, $same from both builders)"
echo "Linux builder: ${l} us; Windows builder under Wine: ${w} us (medians of $runs runs)"
echo "ratio Windows under Wine / Linux: $(awk "BEGIN{printf \"%.2f\", $w/$l}")"
wineserver -k 2>/dev/null || true
