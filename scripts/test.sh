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

# The release package, unpacked into a fresh folder and run from there in the
# tests' Wine prefix.
made=$(scripts/package.sh)
archive=$(echo "$made" | sed -n 1p)
installer=$(echo "$made" | sed -n 2p)
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"; WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true' EXIT
unzip -q "$archive" -d "$unpacked"
run() { cmake/wine-run.sh "$PWD/build/windows/wineprefix" "$unpacked/tarrow.exe" "$@" </dev/null; }
version=$(sed -n 's/^project(tarrow VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
expected="Tarrow $(echo "$version" | cut -d. -f1-2) (file version $version)"
printed=$(run --version)
if [ "$printed" != "$expected" ]; then
  echo "The packaged tarrow.exe --version printed \"$printed\", not \"$expected\"" >&2
  exit 1
fi
if ! listed=$(run --list) || [ -z "$listed" ]; then
  echo "The packaged tarrow.exe --list failed or listed nothing" >&2
  exit 1
fi
# Typed at a command prompt in the unpacked folder, "tarrow" is tarrow.com:
# cmd.exe waits for it and keeps its exit code.
repo=$PWD
prompt() { (cd "$unpacked" && "$repo/cmake/wine-run.sh" "$repo/build/windows/wineprefix" cmd /c "$@" </dev/null); }
if ! prompt "tarrow --list > out.txt" || ! [ -s "$unpacked/out.txt" ]; then
  echo "\"tarrow --list > out.txt\" at the packaged folder's prompt failed or listed nothing" >&2
  exit 1
fi
if prompt "tarrow --frobnicate 2> err.txt"; then status=0; else status=$?; fi
if [ "$status" != 2 ]; then
  echo "\"tarrow --frobnicate\" at the packaged folder's prompt exited $status, not 2" >&2
  exit 1
fi
echo "Package $archive: --version ok, --list listed $(printf '%s\n' "$listed" | wc -l) types, tarrow.com answers at the prompt"

scripts/test-package.sh "$archive" "$installer" "$expected"
