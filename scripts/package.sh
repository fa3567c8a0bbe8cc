#!/bin/sh
# Builds tarrow.exe and its console companion tarrow.com (the windows preset)
# and packs them with README.md and LICENSE into build/package/tarrow-VERSION-win64.zip. The same commit gives
# the same bytes: the files go in a fixed order with fixed permissions, dated
# at the commit (or $SOURCE_DATE_EPOCH), and the program's headers carry no
# link time. Prints the archive's path.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target tarrow tarrow_console >/dev/null

version=$(sed -n 's/^project(tarrow VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 1767225600)}
out=build/package
stage=$out/stage
archive=$out/tarrow-$version-win64.zip
rm -rf "$stage" "$archive"
mkdir -p "$stage"
cp build/windows/tarrow.exe build/windows/tarrow.com README.md LICENSE "$stage/"
chmod 644 "$stage"/*
# zip keeps local time: the same zone everywhere.
export TZ=UTC
touch -d "@$epoch" "$stage"/*
# -X: no owner ids or extra time fields; -D: no folder entries.
(cd "$stage" && zip -X -D -q "../$(basename "$archive")" tarrow.exe tarrow.com README.md LICENSE)
rm -rf "$stage"
echo "$archive"
