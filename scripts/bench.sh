#!/bin/sh
# Runs every benchmark and prints one table: each time beside its floor,
# measured in the same run, and the process's memory and objects after one
# round and after fifty. Under Wine it works on a registry the size of a
# well-used Windows HKEY_CLASSES_ROOT, in a prefix of its own
# (build/bench/prefix), made fresh each time. Safe to run again.
# Every program runs whatever another did: the table holds what each one
# measured, and the script then exits non-zero naming those that failed.
# A run where none failed writes its table at the top of docs/performance.md.
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
  bench() { name=$1; shift; wine "$out/bin/$name.exe" "$@" || echo "failed|$name $*|exit status $?"; }
  bench scan_winbench
  bench shell_check_winbench
  bench grid_winbench 'Z:'"$out/icons1000/icons1000.dll" 'Z:'"$out/icons10k/icons10k.dll"
  # Peak memory is the process's lifetime high: a process of its own.
  bench grid_winbench --peak 'Z:'"$out/icons10k/icons10k.dll"
  bench picture_icon_winbench
  bench changes_winbench
  bench preview_winbench 'Z:'"$out/icons10k/icons10k.dll"
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

echo "Running the benchmarks (about ten minutes) ..."
{
  echo "load|$(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null)"
  build/bench-native/scan_bench || echo "failed|scan_bench|exit status $?"
  xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --wine-part || echo "failed|the Wine part|exit status $?"
} >"$out/results.txt"

# Whether a figure meets its target: a ratio ("1.5x") against the floor, a
# bound ("<50 ms", "< 200 ms", "50 ms", "<300000 KB") on the figure itself.
verdict='
  function number(text) { gsub(/[^0-9.]/, "", text); return text + 0 }
  function met(measured, ratio, target) {
    if (target ~ /^[0-9.]+x$/) return number(ratio) <= number(target) ? "met" : "not met"
    if (target ~ /^<? *[0-9.]+ *[A-Za-z]+$/) return number(measured) < number(target) ? "met" : "not met"
    return "-"
  }
  # Lines from Wine end in CRLF.
  { sub(/\r$/, "") }'

awk -F'|' "$verdict"'
  $1 == "note" { notes = notes "  " $2 "\n" }
  $1 == "failed" { failed = failed "  " $2 ": " $3 "\n" }
  $1 == "time" { times = times sprintf("%-64s %12s %12s %7s %9s %8s\n", $2, $3, $4, $5, $6 == "" ? "-" : $6, met($3, $5, $6)) }
  $1 == "limit" { limits = limits sprintf("%-64s %12s %12s %12s %8s\n", $2, $3, $4, $5, met($3, "", $5)) }
  $1 == "count" { counts = counts sprintf("%-50s %14s %14s %8s\n", $2, $3, $4, $5) }
  END {
    printf "%-64s %12s %12s %7s %9s %8s\n", "Time", "measured", "floor", "ratio", "target", "met"
    printf "%s\n", times
    printf "%-64s %12s %12s %12s %8s\n", "Memory", "measured", "before", "target", "met"
    printf "%s\n", limits
    printf "%-50s %14s %14s %8s\n", "Resources", "after 1", "after 50", "change"
    printf "%s\n", counts
    printf "Notes\n%s", notes
    if (failed != "") printf "\nFailed\n%s", failed
  }' "$out/results.txt"

failed=$(sed -n 's/^failed|\([^|]*\)|.*/\1/p' "$out/results.txt")
if [ -n "$failed" ]; then
  echo "bench.sh: these benchmarks failed, docs/performance.md is left as it was:" >&2
  printf '  %s\n' "$failed" >&2
  exit 1
fi

# The current figures, one table of this run, between the markers at the top
# of docs/performance.md; the history below them stays as it is.
doc=docs/performance.md
awk -F'|' -v day="$(date -u +%Y-%m-%d)" -v cores="$(nproc 2>/dev/null || echo '?')" "$verdict"'
  FNR == NR {
    if ($1 == "load") load = ", load average " $2 " at its start"
    if ($1 == "time") rows = rows sprintf("| %s | %s | %s | %s | %s | %s |\n", $2, $3, $4, $5, $6 == "" ? "-" : $6, met($3, $5, $6))
    if ($1 == "limit") rows = rows sprintf("| %s | %s | %s (before) | - | %s | %s |\n", $2, $3, $4, $5, met($3, "", $5))
    if ($1 == "count") rows = rows sprintf("| %s, after 50 rounds | %s | %s (after 1) | %s | - | - |\n", $2, $4, $3, $5)
    next
  }
  /^<!-- current figures: begin/ {
    print
    printf "\nOne run of `scripts/bench.sh`, %s, on %s cores%s; each row beside its floor from the same run.\n\n", day, cores, load
    print "| Figure | measured | floor | ratio | target | met |"
    print "| --- | --- | --- | --- | --- | --- |"
    printf "%s\n", rows
    skipping = 1
    next
  }
  /^<!-- current figures: end/ { skipping = 0 }
  !skipping { print }
' "$out/results.txt" "$doc" >"$out/performance.md"
if ! grep -q '^<!-- current figures: end' "$out/performance.md"; then
  echo "bench.sh: $doc has no current-figures markers; its table is in $out/performance.md" >&2
  exit 1
fi
cp "$out/performance.md" "$doc"
echo "Wrote the current figures into $doc"
