#!/usr/bin/env bash
# Class-data sharing, measured side by side in one run, runs alternated (after ./build.sh; never
# fails for being slow). Prints medians and their ratios to plain `java`:
#  1. On the host, Clojure (the Debian package, some 3,000 classes) started through the
#     launcher's JVM layer (the real-JVM test program's run sequence) on JDK 17 and on JDK 25:
#     the first start (a fresh archive folder each time: the run that makes the archive, on
#     JDK 25 the run that records for the ahead-of-time cache), later starts (the archive or
#     cache mapped), and the launcher without sharing; against the JDK's own
#     `java -cp ... clojure.main` running the same expression. On JDK 25 also: the recording
#     start against `java -XX:AOTMode=record` alone (the launcher's part of the application's
#     exit), how long the cache's creation runs on after the application has ended, a server
#     (Clojure's socket server) until its port accepts a connection, and the resident set of
#     the process with and without the cache.
#  2. Under Wine, the 32-bit launcher on the real Java 8 runtime of ../shared/jre8-x86 (or of
#     $JRE8) with a program that loads 1,000 of the runtime's classes, against that runtime's
#     java.exe.
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
# The creations of ahead-of-time caches still running under the folder $1: none once each lock
# file can be locked.
wait_for_creation() {
    local lock
    for lock in "$1"/Trevalo/class-sharing/*.lock; do
        [ -e "$lock" ] && flock "$lock" true
    done
    return 0
}
for home in /usr/lib/jvm/java-17-openjdk-amd64 /usr/lib/jvm/temurin-25-jdk-amd64; do
    if [ ! -e "$home/lib/server/libjvm.so" ] || [ ! -e "$clojure" ]; then
        echo "skipped: $home or $clojure is not on this machine"
        continue
    fi
    # The runtime as the launcher finds one on Windows: its java program named java.exe.
    runtime=$work/$(basename "$home")
    mkdir -p "$runtime/bin"
    for f in "$home"/*; do [ "$(basename "$f")" = bin ] || ln -s "$f" "$runtime/"; done
    ln -s "$home"/bin/* "$runtime/bin/"; ln -s "$home/bin/java" "$runtime/bin/java.exe"
    launcher() {
        LOCALAPPDATA=$1 build/host/jvm_tests --scenario run "class_sharing=$2" \
            "runtime_paths=$runtime/lib/server/libjvm.so" "class_path=$clojure" \
            main_class=clojure/main "app_args=-e \"$expression\"" "${@:3}" >/dev/null 2>&1
    }
    rm -rf "$work/later"; mkdir -p "$work/later"
    # Makes the archive that later starts map (on JDK 25: records, creates, then takes it).
    launcher "$work/later" auto; wait_for_creation "$work/later"; launcher "$work/later" auto
    plain=(); first=(); later=(); off=(); record=(); creation=()
    for _ in $(seq "$runs"); do
        start=$(now_us); "$home/bin/java" -cp "$clojure" clojure.main -e "$expression" >/dev/null 2>&1
        end=$(now_us); plain+=($((end - start)))
        rm -rf "$work/first"; mkdir -p "$work/first"
        start=$(now_us); launcher "$work/first" auto; end=$(now_us); first+=($((end - start)))
        wait_for_creation "$work/first"; done_at=$(now_us); creation+=($((done_at - end)))
        start=$(now_us); launcher "$work/later" auto; end=$(now_us); later+=($((end - start)))
        start=$(now_us); launcher "$work/later" off; end=$(now_us); off+=($((end - start)))
        rm -f "$work/record.aotconf"
        start=$(now_us); "$home/bin/java" -XX:AOTMode=record -XX:AOTConfiguration="$work/record.aotconf" \
            -Xlog:aot*=off -Xlog:cds*=off -cp "$clojure" clojure.main -e "$expression" >/dev/null 2>&1 || true
        end=$(now_us); record+=($((end - start)))
    done
    p=$(median "${plain[@]}"); f=$(median "${first[@]}"); l=$(median "${later[@]}")
    o=$(median "${off[@]}"); r=$(median "${record[@]}"); c=$(median "${creation[@]}")
    echo "$(basename "$home"), Clojure: java ${p} us; launcher: first start ${f} us, later starts ${l} us, without sharing ${o} us"
    echo "  ratios to java: later starts $(ratio "$l" "$p"), first start $(ratio "$f" "$p"), without sharing $(ratio "$o" "$p")"
    if ls "$work/later/Trevalo/class-sharing/"*.aot >/dev/null 2>&1; then
        echo "  first start against java -XX:AOTMode=record alone (${r} us): $(ratio "$f" "$r");" \
             "the cache's creation ran on ${c} us after the application's exit ($(ratio "$c" "$p") of java), in the background"
        # Resident set (largest, KB) of the process: java, the launcher with the cache, without.
        rss() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
        mp=(); mc=(); mo=()
        for _ in $(seq 3); do
            mp+=($(rss "$home/bin/java" -cp "$clojure" clojure.main -e "$expression"))
            mc+=($(rss env LOCALAPPDATA="$work/later" build/host/jvm_tests --scenario run class_sharing=auto \
                "runtime_paths=$runtime/lib/server/libjvm.so" "class_path=$clojure" main_class=clojure/main \
                "app_args=-e \"$expression\""))
            mo+=($(rss env LOCALAPPDATA="$work/later" build/host/jvm_tests --scenario run class_sharing=off \
                "runtime_paths=$runtime/lib/server/libjvm.so" "class_path=$clojure" main_class=clojure/main \
                "app_args=-e \"$expression\""))
        done
        echo "  resident set: java $(median "${mp[@]}") KB; launcher with the cache $(median "${mc[@]}") KB, without sharing $(median "${mo[@]}") KB"

        # A server: Clojure's socket server, from the start until its port accepts a connection.
        port=47311
        server_option="\"-Dclojure.server.repl={:port $port :accept clojure.core.server/repl}\""
        accepts() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }
        until_accepted() {
            local start=$(now_us) pid
            "$@" >/dev/null 2>&1 &
            pid=$!
            until accepts; do :; done
            echo $(( $(now_us) - start ))
            kill "$pid"; wait "$pid" 2>/dev/null || true
        }
        server() {
            env LOCALAPPDATA="$work/server" build/host/jvm_tests --scenario run "class_sharing=$1" \
                "runtime_paths=$runtime/lib/server/libjvm.so" "class_path=$clojure" \
                main_class=clojure/main "jvm_options=$server_option" "app_args=-e \"$2\""
        }
        rm -rf "$work/server"; mkdir -p "$work/server"
        # The cache is recorded on a run that ends by itself.
        server auto "(println :up)" >/dev/null 2>&1; wait_for_creation "$work/server"
        server auto "(println :up)" >/dev/null 2>&1
        sp=(); sl=()
        for _ in $(seq "$runs"); do
            sp+=($(until_accepted "$home/bin/java" "-Dclojure.server.repl={:port $port :accept clojure.core.server/repl}" \
                -cp "$clojure" clojure.main -e "@(promise)"))
            # Started as a program, so that the process ended is the server's.
            sl+=($(until_accepted env LOCALAPPDATA="$work/server" build/host/jvm_tests --scenario run \
                class_sharing=auto "runtime_paths=$runtime/lib/server/libjvm.so" "class_path=$clojure" \
                main_class=clojure/main "jvm_options=$server_option" "app_args=-e \"@(promise)\""))
        done
        echo "  server until its port accepts: java $(median "${sp[@]}") us, launcher with the cache $(median "${sl[@]}") us: ratio $(ratio "$(median "${sl[@]}")" "$(median "${sp[@]}")")"
    fi
done

jre=${JRE8:-$(cd .. && pwd)/shared/jre8-x86}
program=build/host/tests/unit/trevalo-java8-fixture.jar
if [ ! -e "$jre/bin/client/jvm.dll" ] || [ ! -e "$program" ] || [ ! -e build/win32/limited.exe ]; then
    echo "skipped: Java 8 under Wine needs $jre, $program and build/win32/limited.exe"
    exit 0
fi
export WINEDLLOVERRIDES="mscoree,mshtml=;msvcr100=n"
# The launcher runs as the user's unelevated programs do: Wine runs every program elevated, and
# an elevated launcher takes runtimes only from folders that only administrators can change.
launch() { wine build/win32/limited.exe "$(winepath -w "$1")" >/dev/null 2>&1; }
cp "$program" "$work/app.jar"
printf 'main_class = trevalo.fixture.LoadsClasses\narchitecture = x86\nsubsystem = console\nsearch_order = 0\nruntime_paths = %s\nclass_path = %s\napp_args = 1000\n' \
    "$(winepath -w "$jre/bin/client/jvm.dll")" "$(winepath -w "$work/app.jar")" > "$work/app.cfg"
build/host/trevalo-build --stub build/win32/trevalo-stub-x86-console.exe "$work/app.cfg" "$work/app.exe" >/dev/null
sed 's/^app_args = 1000$/app_args = 1000\nclass_sharing = off/' "$work/app.cfg" > "$work/off.cfg"
build/host/trevalo-build --stub build/win32/trevalo-stub-x86-console.exe "$work/off.cfg" "$work/off.exe" >/dev/null
# Wine gives each process the prefix's own local application data folder.
cache="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Trevalo/class-sharing"
rm -rf "$cache"
launch "$work/app.exe"; launch "$work/app.exe"
saved=$(mktemp -d); cp -a "$cache/." "$saved/"
plain=(); first=(); later=(); off=()
for _ in $(seq "$runs"); do
    start=$(now_us); wine "$jre/bin/java.exe" -cp "$(winepath -w "$work/app.jar")" trevalo.fixture.LoadsClasses 1000 >/dev/null 2>&1
    end=$(now_us); plain+=($((end - start)))
    rm -rf "$cache"
    start=$(now_us); launch "$work/app.exe"; end=$(now_us); first+=($((end - start)))
    rm -rf "$cache"; mkdir -p "$cache"; cp -a "$saved/." "$cache/"
    start=$(now_us); launch "$work/app.exe"; end=$(now_us); later+=($((end - start)))
    start=$(now_us); launch "$work/off.exe"; end=$(now_us); off+=($((end - start)))
done
rm -rf "$saved"
p=$(median "${plain[@]}"); f=$(median "${first[@]}"); l=$(median "${later[@]}"); o=$(median "${off[@]}")
echo "Java 8 under Wine, 1,000 classes: java.exe ${p} us; launcher: first start ${f} us, later starts ${l} us, without sharing ${o} us"
echo "  ratios to java.exe: later starts $(ratio "$l" "$p"), first start $(ratio "$f" "$p"), without sharing $(ratio "$o" "$p")"
