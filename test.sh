#!/usr/bin/env bash
# Builds everything (installing what is missing), then runs every test: the host unit tests
# and, under Wine on a virtual display, the Windows-side and end-to-end tests.
set -euo pipefail
cd "$(dirname "$0")"
./build.sh
source scripts/wine-env.sh
wine_prefix_up
display_up
trap wine_down EXIT
# Three at a time: the Wine suites on two machines, each one suite after another
# (tests/wine/CMakeLists.txt), and the host's tests and fuzzers beside them.
ctest --test-dir build/host --output-on-failure --timeout 1800 -j3
# The screenshots the tests left for a person to look at, as PNG.
for shot in build/artifacts/*.bmp; do
    [ -e "$shot" ] && convert "$shot" "${shot%.bmp}.png" && rm -f "$shot"
done
