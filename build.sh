#!/usr/bin/env bash
# Builds the launcher stub, the launcher builder and the sample launcher into dist/, after
# installing what the build needs. Also builds every test program.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
source scripts/wine-env.sh
install_packages

jobs=$(nproc)
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs"

rm -rf dist
mkdir -p dist/sample
cp build/win32/trevalo-stub-x86.exe build/win32/trevalo-stub-x86-console.exe \
   build/win64/trevalo-stub-x64.exe build/win64/trevalo-stub-x64-console.exe \
   build/win32/trevalo-build.exe dist/
cp build/host/trevalo-sample.jar dist/sample/

# The sample launcher is made the way users make theirs: by the builder, under Wine, from a
# configuration with the sample splash image beside it.
wine_prefix_up
mkdir -p build/sample
cp resources/sample-app.cfg build/sample/
cp build/win32/images/splash.bmp build/sample/
wine dist/trevalo-build.exe build/sample/sample-app.cfg dist/sample/trevalo-sample.exe

echo "Built dist/:"
ls -l dist dist/sample
for stub in dist/trevalo-stub-*.exe; do
    echo "$(basename "$stub"): $(stat -c %s "$stub") bytes (budget: 65536)"
done
