#!/bin/sh
# Builds tarrow.exe and starts it under Wine.
#
# It works on the registry of $WINEPREFIX when that is set, otherwise on a
# prefix of its own, build/run-prefix, made on first use. With a display the
# program simply runs. Without one it runs on a virtual X server until its
# main window is up, saves a screenshot in build/tarrow-screenshot.png and
# closes it again; the exit status is non-zero if the window never appeared.
# Safe to run again.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
caption='^Tarrow - Version 1\.5$'
screenshot="$root/build/tarrow-screenshot.png"

export WINEPREFIX="${WINEPREFIX:-$root/build/run-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No offer to install Mono or Gecko when the prefix is made.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

make_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  echo "Making the Wine prefix $WINEPREFIX ..."
  mkdir -p "$WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
  # Wine draws its title-bar buttons with Marlett, which Debian's Wine does
  # not find on its own.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
}

# On the virtual display xvfb-run gave us: start, wait for the window, take
# the screenshot, close.
headless() {
  exe=$1
  # A wineserver left from another display would put the window there.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  make_prefix
  # There is no window manager to draw title bars: let Wine draw them, for
  # this run only.
  x11='HKCU\Software\Wine\X11 Driver'
  decorated=$(wine reg query "$x11" /v Decorated 2>/dev/null | tr -d '\r' |
    awk '$1 == "Decorated" { print $3 }')
  wine reg add "$x11" /v Decorated /d N /f >/dev/null 2>&1 || true
  wine "$exe" </dev/null >/dev/null 2>&1 &
  program=$!
  found=""
  waited=0
  while [ "$waited" -lt 90 ]; do
    if xdotool search --onlyvisible --name "$caption" >/dev/null 2>&1; then
      found=yes
      break
    fi
    kill -0 "$program" 2>/dev/null || break
    sleep 1
    waited=$((waited + 1))
  done
  status=0
  if [ -n "$found" ]; then
    sleep 1 # let it finish painting
    import -window root "$screenshot"
    echo "Screenshot: $screenshot"
  elif kill -0 "$program" 2>/dev/null; then
    echo "The Tarrow window did not appear within ${waited} s." >&2
    status=1
  else
    echo "The program ended before its window appeared." >&2
    status=1
  fi
  if [ -n "$decorated" ]; then
    wine reg add "$x11" /v Decorated /d "$decorated" /f >/dev/null 2>&1 || true
  else
    wine reg delete "$x11" /v Decorated /f >/dev/null 2>&1 || true
  fi
  # The window shows only once the first scan (and with it Defaults.dat) is
  # done, so ending the program here loses nothing.
  wineserver -k 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  exit "$status"
}

if [ "${1:-}" = "--headless" ]; then
  headless "$2"
fi

scripts/deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target tarrow
exe="$root/build/windows/tarrow.exe"

if [ -n "${DISPLAY:-}" ]; then
  make_prefix
  exec wine "$exe"
fi

rm -f "$screenshot"
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --headless "$exe"
