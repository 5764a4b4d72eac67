#!/usr/bin/env bash
# Builds the launcher stub, the launcher builder and the sample launcher into dist/, after
# installing what the build needs. Also builds every test program.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
source scripts/wine-env.sh
install_packages

jobs=$(nproc)
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build build/win32 -j "$jobs"
cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug -DTREVALO_WIN32_DIR="$PWD/build/win32" >/dev/null
cmake --build build/host -j "$jobs"

rm -rf dist
mkdir -p dist/sample
cp build/win32/trevalo-stub.exe build/win32/trevalo-build.exe dist/
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
echo "Stub size: $(stat -c %s dist/trevalo-stub.exe) bytes (budget for the finished launcher: 102400)"
