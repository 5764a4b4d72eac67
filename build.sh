#!/usr/bin/env bash
# Builds the launcher stubs, the launcher builders (Linux and Windows), the sample launcher and
# the Debian package of the Linux builder into dist/, after installing what the build needs.
# Also builds every test program.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
install_packages

jobs=$(nproc)
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
cmake --preset arm64 >/dev/null
cmake --build --preset arm64 -j "$jobs"
cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs"

rm -rf dist
mkdir -p dist/sample
cp build/win32/trevalo-stub-x86.exe build/win32/trevalo-stub-x86-console.exe \
   build/win64/trevalo-stub-x64.exe build/win64/trevalo-stub-x64-console.exe \
   build/arm64/trevalo-stub-arm64.exe build/arm64/trevalo-stub-arm64-console.exe \
   build/win32/trevalo-build.exe build/host/trevalo-build dist/
cp build/host/trevalo-sample.jar dist/sample/

# The sample launcher is made the way users make theirs: by the builder (the Linux one, beside
# the stubs), from a configuration with the sample splash image beside it.
mkdir -p build/sample
cp resources/sample-app.cfg build/sample/
cp build/win32/images/splash.bmp build/sample/
dist/trevalo-build build/sample/sample-app.cfg dist/sample/trevalo-sample.exe

# The Debian package of the Linux builder with the six stubs.
scripts/make-deb.sh

echo "Built dist/:"
ls -l dist dist/sample
for stub in dist/trevalo-stub-*.exe; do
    echo "$(basename "$stub"): $(stat -c %s "$stub") bytes (budget: 81920)"
done
