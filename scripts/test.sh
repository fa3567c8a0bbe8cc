#!/bin/sh
# Builds and runs every test: the portable core natively (with sanitizers),
# then the Windows build and its tests under Wine, headless.
# Exits non-zero on any failure.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
# One X server for the whole Wine run: the programs share one wineserver,
# whose desktop needs a display from the start.
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset windows
