#!/bin/sh
# An export carried to a computer that never ran Tarrow: icons set in the
# suite's prefix and exported there, then imported into a fresh prefix made
# as the suite's is, and taken back there by --restore, byte for byte.
# usage: fresh_prefix_import.sh SUITE_PREFIX FRESH_PREFIX TARROW_COM SOURCE_DIR
set -eu
here=$1
fresh=$2
com=$3
src=$4
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
finish() {
  "$src/scripts/wine-prefix.sh" stop "$fresh"
  rm -rf "$work" "$fresh"
}
trap finish EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# tarrow.com in a prefix; standard output and error in $work/out and $work/err.
tarrow() {
  prefix=$1
  shift
  WINEPREFIX=$prefix wine "$com" "$@" >"$work/out" 2>"$work/err" </dev/null || {
    cat "$work/out" "$work/err" >&2
    fail "tarrow.com $* failed"
  }
}
reg_in() {
  prefix=$1
  shift
  WINEPREFIX=$prefix wine reg "$@" </dev/null >/dev/null 2>&1
}
# Wine sees this machine's files on drive Z:.
windows_path() {
  printf 'Z:%s' "$1" | tr / '\\'
}
# The DefaultIcon value of a class as the registry stores it: type and bytes,
# as the registry editor exports them (UTF-16), in UTF-8.
value_of() {
  rm -f "$work/value.reg"
  reg_in "$1" export "HKLM\\Software\\Classes\\$2\\DefaultIcon" "$(windows_path "$work/value.reg")" /y ||
    fail "cannot read $2 in $1"
  iconv -f UTF-16 -t UTF-8 "$work/value.reg"
}
shell32='C:\windows\system32\shell32.dll'

# A type only this computer has: the import names it and passes it over.
reg_in "$here" add 'HKLM\Software\Classes\.tarrowonly' /ve /d Tarrow.OnlyHere /f
reg_in "$here" add 'HKLM\Software\Classes\Tarrow.OnlyHere' /ve /d 'Tarrow Only Here' /f
reg_in "$here" add 'HKLM\Software\Classes\Tarrow.OnlyHere\DefaultIcon' /ve /d 'C:\x.dll,0' /f
tarrow "$here" --set .tarrowa .tarrowonly "$shell32,21"
tarrow "$here" --set .tarrowb '%SystemRoot%\system32\shell32.dll,22'
tarrow "$here" --export "$(windows_path "$work/icons.reg")"
grep -q '3 values exported' "$work/out" || fail "export: $(cat "$work/out" "$work/err")"
tarrow "$here" --restore
reg_in "$here" delete 'HKLM\Software\Classes\.tarrowonly' /f
reg_in "$here" delete 'HKLM\Software\Classes\Tarrow.OnlyHere' /f

"$src/scripts/wine-prefix.sh" start "$fresh" "$src/tests/fixtures"
for class in Tarrow.TypeA Tarrow.TypeB Tarrow.TypeC; do
  value_of "$fresh" $class >"$work/before-$class"
done
tarrow "$fresh" --import "$(windows_path "$work/icons.reg")"
grep -q 'passed over, as this computer has no such file type: Tarrow.OnlyHere\.' "$work/err" ||
  fail "the missing class is not named: $(cat "$work/err")"
value_of "$fresh" Tarrow.TypeA | grep -qF 'shell32.dll,21"' ||
  fail "Tarrow.TypeA was not imported: $(value_of "$fresh" Tarrow.TypeA)"
# The reference is kept as it was exported, a REG_EXPAND_SZ.
value_of "$fresh" Tarrow.TypeB | grep -q '^@=hex(2):25,00,53,00' ||
  fail "Tarrow.TypeB was not imported: $(value_of "$fresh" Tarrow.TypeB)"
value_of "$fresh" Tarrow.TypeC | cmp -s - "$work/before-Tarrow.TypeC" || fail "Tarrow.TypeC was changed"

tarrow "$fresh" --restore
for class in Tarrow.TypeA Tarrow.TypeB; do
  value_of "$fresh" $class | cmp -s - "$work/before-$class" ||
    fail "$class is not back as it was: $(value_of "$fresh" $class)"
done
echo "fresh prefix import: ok"
