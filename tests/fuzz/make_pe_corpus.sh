#!/usr/bin/env bash
# Makes the seed programs of the resource fuzz target in tests/fuzz/pe_corpus: tiny MinGW
# programs without a C runtime, 32 and 64-bit, stripped and with their symbol table, with a
# string table, RCDATA in two languages and a named type.
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/pe_corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf '%s\n' 'LANGUAGE 9, 1' 'STRINGTABLE' 'BEGIN' '1 "one"' '1168 "setting"' 'END' \
    '16000 RCDATA { "\0" }' 'LANGUAGE 7, 1' '16000 RCDATA { "de" }' 'LANGUAGE 0, 0' \
    'CONFIG SETTINGS { "named" }' '7 SETTINGS { "numbered" }' > seed.rc
echo 'int start(void) { static int x; int *volatile p = &x; return *p; }' > seed.c
mkdir -p "$out"
for arch in i686 x86_64; do
    entry=start
    [ "$arch" = i686 ] && entry=_start
    "$arch-w64-mingw32-windres" seed.rc -O coff -o seed.o
    for kind in stripped symbols; do
        strip=()
        [ "$kind" = stripped ] && strip=(-s)
        "$arch-w64-mingw32-gcc" -Os -nostdlib -e "$entry" -Wl,--dynamicbase "${strip[@]}" \
            seed.c seed.o -o "$out/$kind-$arch.exe"
    done
done
ls -l "$out"
