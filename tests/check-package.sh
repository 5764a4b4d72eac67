#!/usr/bin/env bash
# The Debian package of the builder as a user meets it: lintian finds no error or warning;
# installed with dpkg, the command builds a launcher from any folder without --stub (the six
# stubs are beside it) and its manual page reads as its --help; removed, it leaves nothing.
# dpkg works on a private root of its own (its own database and lock), never on the machine's:
# the test neither needs root nor waits for, or fails on, another apt-get or dpkg run.
set -u
cd "$(dirname "$0")/.."
deb=$(ls dist/trevalo_*_amd64.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "no package in dist/: run ./build.sh"; exit 1; }
status=0
fail() { echo "FAILED: $*"; status=1; }

report=$(lintian --fail-on error,warning "$deb" 2>/dev/null) || fail "lintian: $report"
echo "lintian: ${report:-nothing to report}"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The private root holds no libc6 package: the machine's C library is the one that runs.
pkg() { dpkg --root="$root" --log="$root/dpkg.log" --force-not-root --force-depends --force-script-chrootless "$@"; }
out=$(pkg -i "$deb" 2>&1) || { echo "FAILED: dpkg -i $deb: $out"; exit 1; }
files=$(pkg -L trevalo | sort)
work=$(mktemp -d)
builder=$root/usr/bin/trevalo-build
printf 'main_class = com.example.Main\narchitecture = x86\nsubsystem = console\n' > "$work/app.cfg"
(cd "$work" && "$builder" app.cfg app.exe) || fail "trevalo-build from $work"
[ "$(head -c 2 "$work/app.exe" 2>/dev/null)" = MZ ] || fail "no launcher written in $work"
(cd "$work" && "$builder" --print app.exe) | grep -qx 'subsystem = console' ||
    fail "--print of the installed builder's launcher"
manual=$(man -P cat -l "$root/usr/share/man/man1/trevalo-build.1.gz" 2>/dev/null | tr -s ' ')
"$builder" --help | while IFS= read -r line; do
    words=$(echo "$line" | tr -s ' ' | sed 's/^ //')
    [[ "$manual" == *"$words"* ]] || { echo "FAILED: the manual page lacks: $line"; exit 1; }
done || status=1
rm -rf "$work"

pkg --purge trevalo >/dev/null || fail "dpkg --purge trevalo"
# Its files and links are gone, and so are its folders (no other package shares them here).
for f in $files; do
    [ "$f" = /. ] && continue
    if [ -L "$root$f" ] || [ -f "$root$f" ]; then
        fail "left after removal: $f"
    elif [ -d "$root$f" ]; then
        fail "left after removal: $f"
    fi
done
[ $status -eq 0 ] && echo "package: installs, builds from any folder, removes cleanly"
exit $status
