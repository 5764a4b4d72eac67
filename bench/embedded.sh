#!/usr/bin/env bash
# Cost of the embedded files at start-up, measured side by side in one run under the same
# Wine prefix (run after ./build.sh; never fails for being slow):
#  1. a whole start of the real launcher (the test runtime, a main that returns at once) with
#     1,000 unchanged embedded files against the same launcher with none; and the loading
#     and unpacking alone, through the settings probe;
#  2. the first unpacking of about 100 MB in four files against copying the same bytes with
#     CopyFileA, as throughput (copy time / unpack time: 1.0 means as fast as a copy).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${RUNS:-7}
build=build/win32
work=$(mktemp -d)
winpath() { winepath -w "$1" 2>/dev/null; }

# A probe is the launcher's own loader; it prints load_settings_us and the class path. Probes
# and launchers have the test runtime's main class; files unpack into a folder of their
# archive's hash under that class's folder in the prefix's temporary folder, removed at the
# end. Both run as the user's unelevated programs do ($limited): Wine runs every program
# elevated, and an elevated launcher unpacks into a private folder instead.
limited=$build/limited.exe
unpacked=()
make_probe() {  # folder, extra configuration lines
    mkdir -p "$1"
    printf 'main_class = trevalo.test.Args\n%s\n' "$2" > "$1/app.cfg"
    wine $build/trevalo-build.exe --stub $build/settings_probe.exe "$1/app.cfg" "$1/probe.exe" >/dev/null
}
probe_us() {  # folder
    wine $limited "$(winpath "$1/probe.exe")" | tr -d '\r' | sed -n 's/^load_settings_us=//p'
}
# The folder the probe in $1 unpacks into.
unpack_folder() {
    local first
    first=$(wine $limited "$(winpath "$1/probe.exe")" | tr -d '\r' | sed -n 's/^class_path=\([^;]*\);.*/\1/p')
    if [ -z "$first" ]; then
        echo "the probe in $1 unpacked nothing" >&2
        exit 1
    fi
    dirname "$(winepath -u "$first")"
}
cleanup() { for f in "${unpacked[@]}"; do rm -rf "$(dirname "$f")"; done; rm -rf "$work"; }
trap cleanup EXIT
# The real launcher, built beside the probe with the same files: the stub, the test runtime.
make_launcher() {  # folder, extra configuration lines
    printf 'main_class = trevalo.test.Args\nsplash_until_window = 0\nsearch_order = 0\nruntime_paths = %s\n%s\n' \
        "$(winpath "$build/test-runtime/bin/client/jvm.dll")" "$2" > "$1/launcher.cfg"
    wine $build/trevalo-build.exe --stub $build/trevalo-stub-x86.exe "$1/launcher.cfg" "$1/launcher.exe" >/dev/null
}
start_us() {  # folder
    local start end
    start=$(now_us)
    wine $limited "$(winpath "$1/launcher.exe")" >/dev/null 2>&1
    end=$(now_us)
    echo $((end - start))
}

# 1. 1,000 unchanged files against none.
mkdir -p "$work/many/files"
for i in $(seq -w 1 1000); do printf 'content of file %s\n' "$i" > "$work/many/files/f$i.jar"; done
make_probe "$work/many" "embed = files"
make_probe "$work/none" ""
make_launcher "$work/many" "embed = files"
make_launcher "$work/none" ""
unpacked+=("$(unpack_folder "$work/many")")  # the first start unpacks
start_us "$work/many" >/dev/null
many=(); none=(); many_wall=(); none_wall=()
for _ in $(seq "$runs"); do
    many+=("$(probe_us "$work/many")"); none+=("$(probe_us "$work/none")")
    many_wall+=("$(start_us "$work/many")"); none_wall+=("$(start_us "$work/none")")
done
m=$(median "${many[@]}"); n=$(median "${none[@]}")
mw=$(median "${many_wall[@]}"); nw=$(median "${none_wall[@]}")
echo "1000 unchanged files: loading and unpacking ${m} us, none: ${n} us; whole start ${mw} us against ${nw} us"
ml=$(least "${many_wall[@]}"); nl=$(least "${none_wall[@]}")
echo "ratio start with 1000 unchanged files / start with none: median $(awk "BEGIN{printf \"%.2f\", $mw/$nw}"), fastest runs $(awk "BEGIN{printf \"%.2f\", $ml/$nl}") ($ml us against $nl us; aim: at most 1.20)"

# 2. First unpacking of 100 MB against a plain copy.
mkdir -p "$work/big/files"
for i in 1 2 3 4; do head -c 26214400 /dev/urandom > "$work/big/files/part$i.jar"; done
make_probe "$work/big" "embed = files"
sources=()
for f in "$work"/big/files/*.jar; do sources+=("$(winpath "$f")"); done
big_folder=$(unpack_folder "$work/big")
unpacked+=("$big_folder")
unpack=(); copy=()
for _ in $(seq "$runs"); do
    rm -rf "$big_folder" "$work/copy"; mkdir -p "$work/copy"
    unpack+=("$(probe_us "$work/big")")
    copy+=("$(wine $build/copy_probe.exe "$(winpath "$work/copy")" "${sources[@]}" | tr -d '\r' | sed -n 's/^copy_us=//p')")
done
u=$(median "${unpack[@]}"); c=$(median "${copy[@]}")
echo "first unpacking of 100 MB: ${u} us; CopyFileA of the same files: ${c} us"
echo "throughput ratio unpack / copy: $(awk "BEGIN{printf \"%.2f\", $c/$u}") (aim: at least 0.80)"
