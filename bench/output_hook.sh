#!/usr/bin/env bash
# The virtual machine's output through the launcher's "vfprintf" hook (each line forwarded to
# standard error, the last 16 KB kept for a failure message) against the same lines printed
# straight to standard error, as a runtime without the hook prints them: 40,000 collector-log
# lines, side by side in one run, standard error to a file. Run after ./build.sh; never fails
# for being slow.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${RUNS:-5}
lines=${LINES:-40000}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
hook=(); direct=()
for _ in $(seq "$runs"); do
    result=$(build/host/output_bench "$lines" 2>"$out")
    hook+=("$(sed -n 's/^hook_us=//p' <<<"$result")")
    direct+=("$(sed -n 's/^direct_us=//p' <<<"$result")")
done
h=$(median "${hook[@]}"); d=$(median "${direct[@]}")
echo "lines  hook_us  direct_us  ratio(hook/direct)  hook_us_per_line"
printf '%5d  %7d  %9d  %18.2f  %16.3f\n' "$lines" "$h" "$d" "$(awk "BEGIN{print $h/$d}")" \
    "$(awk "BEGIN{print $h/$lines}")"
