#!/usr/bin/env bash
# The Debian package of the builder as a user meets it: lintian finds no error or warning;
# installed with dpkg, the command builds a launcher from any folder without --stub (the six
# stubs are beside it) and its manual page reads as its --help; removed, it leaves nothing.
# Needs root (it installs the package); skipped (77) otherwise.
set -u
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "skipped: installing a package needs root"; exit 77; }
deb=$(ls dist/trevalo_*_amd64.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "no package in dist/: run ./build.sh"; exit 1; }
status=0
fail() { echo "FAILED: $*"; status=1; }

report=$(lintian --fail-on error,warning "$deb" 2>/dev/null) || fail "lintian: $report"
echo "lintian: ${report:-nothing to report}"

dpkg -i "$deb" >/dev/null || { echo "FAILED: dpkg -i $deb"; exit 1; }
files=$(dpkg -L trevalo | sort)
work=$(mktemp -d)
printf 'main_class = com.example.Main\narchitecture = x86\nsubsystem = console\n' > "$work/app.cfg"
(cd "$work" && trevalo-build app.cfg app.exe) || fail "trevalo-build from $work"
[ "$(head -c 2 "$work/app.exe" 2>/dev/null)" = MZ ] || fail "no launcher written in $work"
(cd "$work" && trevalo-build --print app.exe) | grep -qx 'subsystem = console' ||
    fail "--print of the installed builder's launcher"
manual=$(man -P cat trevalo-build 2>/dev/null | tr -s ' ')
trevalo-build --help | while IFS= read -r line; do
    words=$(echo "$line" | tr -s ' ' | sed 's/^ //')
    [[ "$manual" == *"$words"* ]] || { echo "FAILED: the manual page lacks: $line"; exit 1; }
done || status=1
rm -rf "$work"

dpkg --purge trevalo >/dev/null || fail "dpkg --purge trevalo"
# Its files and links are gone, and so are its folders that no other package shares.
for f in $files; do
    [ "$f" = /. ] && continue
    if [ -L "$f" ] || [ -f "$f" ]; then
        fail "left after removal: $f"
    elif [ -d "$f" ] && ! dpkg -S "$f" >/dev/null 2>&1; then
        fail "left after removal: $f"
    fi
done
[ $status -eq 0 ] && echo "package: installs, builds from any folder, removes cleanly"
exit $status
