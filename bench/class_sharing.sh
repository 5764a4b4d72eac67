#!/usr/bin/env bash
# Class-data sharing, measured side by side in one run, runs alternated (after ./build.sh; never
# fails for being slow). Prints medians and their ratios to plain `java`:
#  1. On the host, Clojure (the Debian package, some 3,000 classes) started through the
#     launcher's JVM layer (the real-JVM test program's run sequence) on JDK 17 and on JDK 25:
#     the first start (a fresh archive folder each time: the run that makes the archive), later
#     starts (the archive mapped), and the launcher without sharing; against the JDK's own
#     `java -cp ... clojure.main` running the same expression.
#  2. Under Wine, the 32-bit launcher on the real Java 8 runtime of ../shared/jre8-x86 with a
#     program that loads 1,000 of the runtime's classes, against that runtime's java.exe.
# A runtime, Clojure or the Java 8 runtime that is missing is skipped with a line saying so.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${RUNS:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ratio() { awk "BEGIN{printf \"%.2f\", $1/$2}"; }

clojure=/usr/share/java/clojure-1.11.jar
expression='(println (count (all-ns)) (reduce + (range 1000)))'
for home in /usr/lib/jvm/java-17-openjdk-amd64 /usr/lib/jvm/temurin-25-jdk-amd64; do
    if [ ! -e "$home/lib/server/libjvm.so" ] || [ ! -e "$clojure" ]; then
        echo "skipped: $home or $clojure is not on this machine"
        continue
    fi
    launcher() {
        LOCALAPPDATA=$1 build/host/jvm_tests --scenario run "class_sharing=$2" \
            "runtime_paths=$home/lib/server/libjvm.so" "class_path=$clojure" \
            main_class=clojure/main "app_args=-e \"$expression\"" >/dev/null 2>&1
    }
    mkdir -p "$work/later"
    launcher "$work/later" auto # makes the archive that later starts map
    plain=(); first=(); later=(); off=()
    for _ in $(seq "$runs"); do
        start=$(now_us); "$home/bin/java" -cp "$clojure" clojure.main -e "$expression" >/dev/null 2>&1
        end=$(now_us); plain+=($((end - start)))
        rm -rf "$work/first"; mkdir -p "$work/first"
        start=$(now_us); launcher "$work/first" auto; end=$(now_us); first+=($((end - start)))
        start=$(now_us); launcher "$work/later" auto; end=$(now_us); later+=($((end - start)))
        start=$(now_us); launcher "$work/later" off; end=$(now_us); off+=($((end - start)))
    done
    p=$(median "${plain[@]}"); f=$(median "${first[@]}"); l=$(median "${later[@]}")
    o=$(median "${off[@]}")
    echo "$(basename "$home"), Clojure: java ${p} us; launcher: first start ${f} us, later starts ${l} us, without sharing ${o} us"
    echo "  ratios to java: later starts $(ratio "$l" "$p"), first start $(ratio "$f" "$p"), without sharing $(ratio "$o" "$p")"
done

jre=$(cd .. && pwd)/shared/jre8-x86
program=build/host/tests/unit/trevalo-java8-fixture.jar
if [ ! -e "$jre/bin/client/jvm.dll" ] || [ ! -e "$program" ]; then
    echo "skipped: Java 8 under Wine needs $jre and $program"
    exit 0
fi
export WINEDLLOVERRIDES="mscoree,mshtml=;msvcr100=n"
cp "$program" "$work/app.jar"
printf 'main_class = trevalo.fixture.LoadsClasses\narchitecture = x86\nsubsystem = console\nsearch_order = 0\nruntime_paths = %s\nclass_path = %s\napp_args = 1000\n' \
    "$(winepath -w "$jre/bin/client/jvm.dll")" "$(winepath -w "$work/app.jar")" > "$work/app.cfg"
build/host/trevalo-build --stub build/win32/trevalo-stub-x86-console.exe "$work/app.cfg" "$work/app.exe" >/dev/null
sed 's/^app_args = 1000$/app_args = 1000\nclass_sharing = off/' "$work/app.cfg" > "$work/off.cfg"
build/host/trevalo-build --stub build/win32/trevalo-stub-x86-console.exe "$work/off.cfg" "$work/off.exe" >/dev/null
# Wine gives each process the prefix's own local application data folder.
cache="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Trevalo/class-sharing"
rm -rf "$cache"
wine "$work/app.exe" >/dev/null 2>&1; wine "$work/app.exe" >/dev/null 2>&1
saved=$(mktemp -d); cp -a "$cache/." "$saved/"
plain=(); first=(); later=(); off=()
for _ in $(seq "$runs"); do
    start=$(now_us); wine "$jre/bin/java.exe" -cp "$(winepath -w "$work/app.jar")" trevalo.fixture.LoadsClasses 1000 >/dev/null 2>&1
    end=$(now_us); plain+=($((end - start)))
    rm -rf "$cache"
    start=$(now_us); wine "$work/app.exe" >/dev/null 2>&1; end=$(now_us); first+=($((end - start)))
    rm -rf "$cache"; mkdir -p "$cache"; cp -a "$saved/." "$cache/"
    start=$(now_us); wine "$work/app.exe" >/dev/null 2>&1; end=$(now_us); later+=($((end - start)))
    start=$(now_us); wine "$work/off.exe" >/dev/null 2>&1; end=$(now_us); off+=($((end - start)))
done
rm -rf "$saved"
p=$(median "${plain[@]}"); f=$(median "${first[@]}"); l=$(median "${later[@]}"); o=$(median "${off[@]}")
echo "Java 8 under Wine, 1,000 classes: java.exe ${p} us; launcher: first start ${f} us, later starts ${l} us, without sharing ${o} us"
echo "  ratios to java.exe: later starts $(ratio "$l" "$p"), first start $(ratio "$f" "$p"), without sharing $(ratio "$o" "$p")"
