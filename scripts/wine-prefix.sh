#!/bin/sh
# Makes a fresh Wine prefix for a test run, seeded from the .reg fixtures, with
# a wineserver that stays up for the whole run so each test program starts
# fast; or stops that server.
# usage: wine-prefix.sh start PREFIX FIXTURES | stop PREFIX
set -eu
action=$1
export WINEPREFIX="$2"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case "$action" in
start)
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # Nothing Wine starts may keep the test runner's output open, or the runner
  # waits for it.
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot -i </dev/null >/dev/null 2>&1
  # Xvfb has no window manager: Wine must not wait for one (two seconds at
  # every hidden window otherwise).
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  # A program that crashes ends with a backtrace rather than waiting, with no
  # one to answer it, in the crash dialog until the run times out.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  for reg in "$3"/*.reg; do
    [ -e "$reg" ] || continue
    wine regedit /s "$reg" </dev/null >/dev/null 2>&1
  done
  ;;
stop)
  wineserver -k 2>/dev/null || true
  ;;
esac
