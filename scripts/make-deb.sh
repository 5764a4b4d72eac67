#!/usr/bin/env bash
# Makes the Debian package of the Linux builder: dist/trevalo_<version>_amd64.deb, holding the
# builder and the six stubs in /usr/lib/trevalo (the builder finds the stubs beside its own
# program, so no --stub is needed), the command /usr/bin/trevalo-build, its manual page (made
# from --help, so that the two never differ), the copyright file and the changelog. Run by
# build.sh after dist/ is filled; the same dist/ gives the same package.
set -euo pipefail
cd "$(dirname "$0")/.."

builder=dist/trevalo-build
version=$("$builder" --version | cut -d' ' -f2)
package=dist/trevalo_${version}_amd64.deb
root=build/deb/root
rm -rf build/deb
mkdir -p "$root/DEBIAN" "$root/usr/bin" "$root/usr/lib/trevalo" "$root/usr/share/man/man1" \
         "$root/usr/share/doc/trevalo"

install -m 0755 "$builder" "$root/usr/lib/trevalo/trevalo-build"
# The compilers' notes are no part of the program (as Debian strips them from its own).
objcopy --remove-section=.comment "$root/usr/lib/trevalo/trevalo-build"
for stub in trevalo-stub-x64.exe trevalo-stub-x64-console.exe trevalo-stub-x86.exe \
            trevalo-stub-x86-console.exe trevalo-stub-arm64.exe trevalo-stub-arm64-console.exe; do
    install -m 0644 "dist/$stub" "$root/usr/lib/trevalo/$stub"
done
ln -s ../lib/trevalo/trevalo-build "$root/usr/bin/trevalo-build"

# Dates from the last commit, so that the package depends only on the sources.
date=$(git log -1 --format=%cD 2>/dev/null || date -R)
month=$(date -d "$date" '+%B %Y')
year=$(date -d "$date" +%Y)

# The manual page: --help under a name and synopsis, each line as it is (roff's escape
# character doubled, lines starting with a dot or a quote protected).
{
    echo ".TH TREVALO-BUILD 1 \"$month\" \"trevalo $version\" \"User Commands\""
    echo ".SH NAME"
    echo "trevalo-build \\- make a Windows launcher for a Java application"
    echo ".SH DESCRIPTION"
    echo ".nf"
    "$builder" --help | sed -e 's/\\/\\e/g' -e "s/^[.']/\\\\\\&&/"
    echo ".fi"
    echo ".SH SEE ALSO"
    echo "The README of the project, which documents every setting."
} | gzip -9n > "$root/usr/share/man/man1/trevalo-build.1.gz"

cat > "$root/usr/share/doc/trevalo/copyright" <<EOF
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: trevalo

Files: *
Copyright: $year the Trevalo authors
License: unstated
 The project has not stated a license for this package.
EOF
printf 'trevalo (%s) unstable; urgency=medium\n\n  * Release %s.\n\n -- Trevalo maintainers <trevalo@example.org>  %s\n' \
    "$version" "$version" "$date" | gzip -9n > "$root/usr/share/doc/trevalo/changelog.gz"

# The C library the builder needs: the newest symbol version it uses.
glibc=$(objdump -T "$builder" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -V | tail -1)
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
cat > "$root/DEBIAN/control" <<EOF
Package: trevalo
Version: $version
Architecture: amd64
Maintainer: Trevalo maintainers <trevalo@example.org>
Installed-Size: $size
Depends: libc6 (>= $glibc)
Section: devel
Priority: optional
Description: builder of native Windows launchers for Java applications
 trevalo-build writes an application's settings (main class, class path, JVM
 options, messages, embedded files, icon, version information) into a copy of
 a prebuilt Windows launcher stub. The launcher it makes finds an installed
 Java runtime, creates the virtual machine in its own process and runs the
 main class; it can install itself as a Windows service. The six stubs (x64,
 x86 and ARM64, GUI and console) come with the builder.
EOF
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) > "$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/md5sums"
find "$root" -type d -exec chmod 0755 {} +
dpkg-deb --root-owner-group -Zxz --build "$root" "$package" >/dev/null
echo "Built $package"
