#!/usr/bin/env bash
# Class path expansion of a folder tree of archives, against a plain recursive listing of the
# same tree (FindFirstFileA/FindNextFileA) under the same Wine prefix, side by side in one
# run, at three sizes to show how the cost grows. Run after ./build.sh; never fails for being
# slow. The largest tree: 1,000 nested folders (10 x 10 x 10) holding 10,000 archives.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${RUNS:-5}
build=build/win32
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A tree of top x 10 x 10 folders, each holding 10 archives and one other file.
make_tree() {  # root, top-level folder count
    local a b c i
    for a in $(seq 1 "$2"); do for b in $(seq 1 10); do for c in $(seq 1 10); do
        local d="$1/a$a/b$b/c$c"
        mkdir -p "$d"
        for i in $(seq 1 10); do : > "$d/lib$i.jar"; done
        : > "$d/readme.txt"
    done; done; done
}

echo "archives  leaf_folders  expansion_us  listing_us  ratio(expansion/listing)  us_per_archive"
for top in 1 5 10; do
    dir="$work/t$top"
    make_tree "$dir/lib" "$top"
    printf 'main_class = bench.Main\nclass_path = lib\n' > "$dir/app.cfg"
    wine $build/trevalo-build.exe --stub $build/runtime_probe.exe "$dir/app.cfg" "$dir/probe.exe" >/dev/null
    lib_win=$(winepath -w "$dir/lib")
    expansion=(); listing=()
    for _ in $(seq "$runs"); do
        expansion+=("$(TREVALO_QUIET=1 wine "$dir/probe.exe" | tr -d '\r' | sed -n 's/^build_options_us=//p')")
        listing+=("$(wine $build/list_probe.exe "$lib_win" | tr -d '\r' | sed -n 's/^list_us=//p')")
    done
    e=$(median "${expansion[@]}"); l=$(median "${listing[@]}")
    archives=$((top * 1000))
    printf '%8d  %12d  %12d  %10d  %24.2f  %14.2f\n' "$archives" $((top * 100)) "$e" "$l" \
        "$(awk "BEGIN{print $e/$l}")" "$(awk "BEGIN{print $e/$archives}")"
done
