#!/bin/sh
# Fuzzes the parsers of the portable core: builds the libFuzzer programs
# (fuzz/*_fuzz.cpp) and runs each for a bounded time, the first argument in
# seconds (60 unless given). New inputs go to a working corpus under
# build/fuzz/corpus/, never into the seeds in tests/fixtures/fuzz/.
# Prints one line per program and exits non-zero on any crash, hang, leak or
# sanitizer report; the input that caused it is kept in build/fuzz/artifacts/.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
case $seconds in
  '' | *[!0-9]*)
    echo "usage: $0 [seconds-per-program]" >&2
    exit 2
    ;;
esac
scripts/deps.sh cmake make clang libclang-rt-14-dev libgtest-dev googletest
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" >/dev/null

build=build/fuzz
failed=0
for source in fuzz/*_fuzz.cpp; do
  name=$(basename "$source" _fuzz.cpp)
  corpus=$build/corpus/$name
  artifacts=$build/artifacts/$name/
  log=$build/logs/$name.log
  mkdir -p "$corpus" "$artifacts" "$build/logs"
  status=0
  start=$(date +%s)
  # -timeout: one input taking longer is a hang. The seeds are read, not written.
  UBSAN_OPTIONS=print_stacktrace=1 "$build/${name}_fuzz" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts" \
    "$corpus" "tests/fixtures/fuzz/$name" >"$log" 2>&1 || status=$?
  elapsed=$(($(date +%s) - start))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*' "$log" | tail -n 1)
  # A report that did not stop the program still fails the run.
  if [ "$status" -eq 0 ] && ! grep -qE 'runtime error:|ERROR: [A-Za-z]*Sanitizer|ERROR: libFuzzer' "$log"; then
    result=ok
  else
    result="FAILED (exit $status): see $log and $artifacts"
    failed=1
  fi
  echo "$name: ${runs:-0} runs in ${elapsed} s, ${coverage:-no coverage reported}: $result"
done
exit "$failed"
