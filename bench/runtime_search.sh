#!/usr/bin/env bash
# The runtime search on a machine with 20 registered runtimes: the whole default search
# (8071234569) against the classic search alone (01234), side by side in one run under Wine,
# through the runtime probe's own timing. Every runtime's jvm.dll is a 64-bit one, which the
# 32-bit launcher passes over, so that each search examines every candidate it can see: 4 in
# the classic keys, 20 in all (4 classic, 6 Java 9+ keys, 8 vendors' keys machine-wide and per
# user, JAVA_HOME, PATH). Each search runs RUNS times, alternately; the least time of each is
# shown, the run that met the least interference. Run after ./build.sh; never fails for being
# slow.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
runs=${RUNS:-15}
build=build/win32
work=$(mktemp -d)

# A home with a release file and a 64-bit jvm.dll header; prints its Windows path, with the
# backslashes doubled for the registry file.
make_runtime() {  # folder, version
    mkdir -p "$work/$1/bin/server"
    printf 'JAVA_VERSION="%s"\n' "$2" > "$work/$1/release"
    { printf 'MZ'; head -c 58 /dev/zero; printf '\x40\0\0\0PE\0\0\x64\x86'; } > "$work/$1/bin/server/jvm.dll"
    winepath -w "$work/$1" | sed 's/\\/\\\\/g'
}

reg="$work/runtimes.reg"
printf 'REGEDIT4\n\n' > "$reg"
add_key() {  # root key, value name, value
    printf '[%s]\n"%s"="%s"\n\n' "$1" "$2" "$3" >> "$reg"
}
M='HKEY_LOCAL_MACHINE\SOFTWARE' U='HKEY_CURRENT_USER\Software'
for i in 1 2 3 4; do
    home=$(make_runtime "classic$i" "1.8.0_$((380 + i))")
    add_key "$M\\JavaSoft\\Java Runtime Environment\\1.8.0_$((380 + i))" RuntimeLib "$home\\\\bin\\\\server\\\\jvm.dll"
done
for i in 1 2 3 4 5 6; do
    add_key "$M\\JavaSoft\\JDK\\$((10 + i)).0.$i" JavaHome "$(make_runtime "jdk$i" "$((10 + i)).0.$i")"
done
for i in 1 2; do
    add_key "$M\\Eclipse Adoptium\\JDK\\2$i.0.$i.7\\hotspot\\MSI" Path "$(make_runtime "temurin$i" "2$i.0.$i")\\\\"
    add_key "$U\\Eclipse Adoptium\\JRE\\1$i.0.$i.7\\hotspot\\MSI" Path "$(make_runtime "user$i" "1$i.0.$i")\\\\"
    add_key "$M\\Azul Systems\\Zulu\\zulu-1$i" InstallationPath "$(make_runtime "zulu$i" "1$i.0.$i")"
    add_key "$M\\BellSoft\\Liberica\\jdk-2$i" InstallationPath "$(make_runtime "liberica$i" "2$i.0.$i")"
done
java_home=$(make_runtime java_home 21.0.6 | sed 's/\\\\/\\/g')
path_home=$(make_runtime on_path 17.0.9 | sed 's/\\\\/\\/g')
touch "$work/on_path/bin/java.exe"

forget() {
    printf 'REGEDIT4\n\n' > "$work/forget.reg"
    for key in "$M\\JavaSoft" "$M\\Eclipse Adoptium" "$M\\Azul Systems" "$M\\BellSoft" \
               "$U\\Eclipse Adoptium"; do
        printf '[-%s]\n\n' "$key" >> "$work/forget.reg"
    done
    wine regedit /S "$(winepath -w "$work/forget.reg")" >/dev/null 2>&1 || true
}
trap 'forget; rm -rf "$work"' EXIT
forget
wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1

mkdir -p "$work/app"
printf 'main_class = bench.Main\n' > "$work/app/default.cfg"
printf 'main_class = bench.Main\nsearch_order = 01234\n' > "$work/app/classic.cfg"
for name in default classic; do
    wine $build/trevalo-build.exe --stub $build/runtime_probe.exe "$work/app/$name.cfg" \
        "$work/app/$name.exe" >/dev/null
done

search_us() {  # probe
    JAVA_HOME="$java_home" WINEPATH="$path_home\\bin" TREVALO_QUIET=1 wine "$work/app/$1.exe" |
        tr -d '\r' | sed -n 's/^search_us=//p'
}
found=$(JAVA_HOME="$java_home" WINEPATH="$path_home\\bin" wine "$work/app/default.exe" | tr -d '\r' | sed -n 's/^note=//p')
echo "default search, nothing usable: ${found:-no note}"
full=(); classic=()
for _ in $(seq "$runs"); do
    full+=("$(search_us default)")
    classic+=("$(search_us classic)")
done
f=$(least "${full[@]}"); c=$(least "${classic[@]}")
echo "search                        candidates   least_us  us_per_candidate"
printf '%-28s  %10d  %9d  %16.1f\n' "default order 8071234569" 20 "$f" "$(awk "BEGIN{print $f/20}")"
printf '%-28s  %10d  %9d  %16.1f\n' "classic order 01234" 4 "$c" "$(awk "BEGIN{print $c/4}")"
echo "ratio default / classic: $(awk "BEGIN{printf \"%.2f\", $f/$c}")"
