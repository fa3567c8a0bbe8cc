#!/bin/sh
# Runs every benchmark and prints one table: each time beside its floor,
# measured in the same run, and the process's memory and objects after one
# round and after fifty. Under Wine it works on a registry the size of a
# well-used Windows HKEY_CLASSES_ROOT, in a prefix of its own
# (build/bench/prefix), made fresh each time. Safe to run again.
# usage: scripts/bench.sh
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
out="$root/build/bench"

# The Wine part, on the virtual display the whole run shares.
if [ "${1:-}" = "--wine-part" ]; then
  export WINEPREFIX="$out/prefix"
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  trap 'scripts/wine-prefix.sh stop "$WINEPREFIX"' EXIT
  scripts/wine-prefix.sh start "$WINEPREFIX" "$out/no-fixtures"
  wine "$out/bin/make_classes_root.exe" 'Z:'"$out/classes-root.reg" | sed 's/^/note|registry: /'
  wine regedit /s 'Z:'"$out/classes-root.reg" </dev/null >/dev/null 2>&1
  wine "$out/bin/scan_winbench.exe"
  wine "$out/bin/shell_check_winbench.exe"
  wine "$out/bin/grid_winbench.exe" 'Z:'"$out/icons1000/icons1000.dll" 'Z:'"$out/icons10k/icons10k.dll"
  # Peak memory is the process's lifetime high: a process of its own.
  wine "$out/bin/grid_winbench.exe" --peak 'Z:'"$out/icons10k/icons10k.dll"
  wine "$out/bin/picture_icon_winbench.exe"
  wine "$out/bin/changes_winbench.exe"
  wine "$out/bin/preview_winbench.exe" 'Z:'"$out/icons10k/icons10k.dll"
  exit 0
fi

scripts/deps.sh
jobs=2
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs" --target scan_bench make_icon_library
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target tarrow scan_winbench grid_winbench preview_winbench \
  shell_check_winbench picture_icon_winbench changes_winbench make_classes_root

rm -rf "$out"
mkdir -p "$out/bin" "$out/no-fixtures"
for program in tarrow scan_winbench grid_winbench preview_winbench shell_check_winbench picture_icon_winbench \
  changes_winbench make_classes_root; do
  cp "build/windows/$program.exe" "$out/bin/"
done

# Resource DLLs with 1,000 and 10,000 icons of three sizes each (windres takes
# some 40 s over the second).
icon_library() {
  build/bench-native/make_icon_library "$out/$1" "$2"
  (cd "$out/$1" && x86_64-w64-mingw32-windres icons.rc -O coff -o icons.res)
  x86_64-w64-mingw32-gcc -shared -nostdlib -Wl,--entry=0 -o "$out/$1/$1.dll" "$out/$1/icons.res"
}
icon_library icons1000 1000
icon_library icons10k 10000

echo "Running the benchmarks (a few minutes) ..."
{
  build/bench-native/scan_bench
  xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --wine-part
} >"$out/results.txt"

awk -F'|' '
  $1 == "note" { notes = notes "  " $2 "\n" }
  $1 == "time" { times = times sprintf("%-58s %12s %12s %7s %7s\n", $2, $3, $4, $5, $6) }
  $1 == "limit" { limits = limits sprintf("%-58s %12s %12s %12s\n", $2, $3, $4, $5) }
  $1 == "count" { counts = counts sprintf("%-44s %14s %14s %8s\n", $2, $3, $4, $5) }
  END {
    printf "%-58s %12s %12s %7s %7s\n", "Time", "measured", "floor", "ratio", "target"
    printf "%s\n", times
    printf "%-58s %12s %12s %12s\n", "Memory", "measured", "before", "target"
    printf "%s\n", limits
    printf "%-44s %14s %14s %8s\n", "Resources", "after 1", "after 50", "change"
    printf "%s\n", counts
    printf "Notes\n%s", notes
  }' "$out/results.txt"
