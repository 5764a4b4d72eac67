#!/usr/bin/env bash
# Launcher overhead, measured side by side in one run (after ./build.sh; never fails for
# being slow):
#  1. Under Wine with the test runtime: the time from process start to JNI_CreateJavaVM, and
#     the whole run of a main that returns at once, against a Windows program that does
#     nothing; and the whole run of the x64 launcher (with the x64 test runtime) against the
#     x86 one.
#     With BASELINE set to the build folder of another revision (holding its win32 and win64
#     folders), the whole run of its x64 launcher against this one's, with the same runtime:
#     what a change of the stubs costs at start-up.
#  2. On the host with the real OpenJDK virtual machine: the whole run of the launcher's JNI
#     code (create, main, destroy) against the JDK's own `java -cp` for the same class.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${RUNS:-10}
build=build/win32
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The launcher of an architecture with its test runtime: build folder, output name,
# architecture, and the build folder of the stub when it is another.
make_app() {
    printf 'main_class = trevalo.test.Args\nsplash_until_window = 0\nsearch_order = 0\nruntime_paths = %s\n' \
        "$(winepath -w "$1/test-runtime/bin/client/jvm.dll")" > "$work/$2.cfg"
    wine $build/trevalo-build.exe --stub "${4:-$1}/trevalo-stub-$3.exe" "$work/$2.cfg" "$work/$2" >/dev/null
}
make_app $build app.exe x86
make_app build/win64 app64.exe x64
# Each program runs as the user's unelevated programs do: Wine runs every program elevated, and
# an elevated launcher takes no runtime from a folder other accounts may change, as the build
# folder is.
run() { wine $build/limited.exe "$(winepath -w "$1")"; }
export TREVALO_TEST_LOG
TREVALO_TEST_LOG=$(winepath -w "$work/runtime.log")

to_create=(); launcher=(); nothing=()
for _ in $(seq "$runs"); do
    rm -f "$work/runtime.log"
    start=$(now_us); run "$work/app.exe" >/dev/null 2>&1; end=$(now_us)
    launcher+=($((end - start)))
    to_create+=("$(tr -d '\r' < "$work/runtime.log" | sed -n 's/^clock since_process_start_us=//p')")
    start=$(now_us); run $build/nothing.exe; end=$(now_us)
    nothing+=($((end - start)))
done
c=$(median "${to_create[@]}"); l=$(median "${launcher[@]}"); n=$(median "${nothing[@]}")
echo "Wine, test runtime: process start to JNI_CreateJavaVM ${c} us; whole run ${l} us; empty program ${n} us"
echo "ratio whole run / empty program: $(awk "BEGIN{printf \"%.2f\", $l/$n}")"
echo "ratio start-to-create / empty program run: $(awk "BEGIN{printf \"%.2f\", $c/$n}")"

# Runs two programs in turn, $runs times each; a and b become the medians of their whole runs.
time_pair() {
    local first=() second=() start end
    for _ in $(seq "$runs"); do
        start=$(now_us); run "$1" >/dev/null 2>&1; end=$(now_us); first+=($((end - start)))
        start=$(now_us); run "$2" >/dev/null 2>&1; end=$(now_us); second+=($((end - start)))
    done
    a=$(median "${first[@]}"); b=$(median "${second[@]}")
}

time_pair "$work/app.exe" "$work/app64.exe"
echo "Wine, test runtime: x64 launcher ${b} us; x86 launcher ${a} us; ratio x64 / x86: $(awk "BEGIN{printf \"%.2f\", $b/$a}")"

if [ -n "${BASELINE:-}" ]; then
    make_app build/win64 base64.exe x64 "$BASELINE/win64"
    time_pair "$work/base64.exe" "$work/app64.exe"
    echo "Wine, test runtime: x64 launcher ${b} us; baseline's ${a} us; ratio this / baseline: $(awk "BEGIN{printf \"%.3f\", $b/$a}")"
fi

jar=$(ls build/host/tests/unit/trevalo-fixtures.jar)
ours=(); java_cp=()
for _ in $(seq "$runs"); do
    start=$(now_us); build/host/jvm_tests --scenario run main_class=trevalo/fixture/Args >/dev/null 2>&1; end=$(now_us)
    ours+=($((end - start)))
    start=$(now_us); java -cp "$jar" trevalo.fixture.Args >/dev/null 2>&1; end=$(now_us)
    java_cp+=($((end - start)))
done
o=$(median "${ours[@]}"); j=$(median "${java_cp[@]}")
echo "host, OpenJDK: launcher JNI code ${o} us; java -cp ${j} us"
echo "ratio launcher / java -cp: $(awk "BEGIN{printf \"%.2f\", $o/$j}")"
