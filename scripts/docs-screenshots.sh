#!/bin/sh
# Takes the README's screenshots (docs/*.png): the program under Wine on a
# virtual display, driven with the mouse as a user would.
# usage: scripts/docs-screenshots.sh   (after a Windows build)
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
exe="$root/build/windows/tarrow.exe"
export WINEPREFIX="$root/build/docs-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if [ -z "${TARROW_DOCS_DISPLAY:-}" ]; then
  TARROW_DOCS_DISPLAY=yes exec xvfb-run -a -s "-screen 0 1600x1200x24" "$0"
fi

x11='HKCU\Software\Wine\X11 Driver'
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
wineboot -i </dev/null >/dev/null 2>&1
# Wine draws its title-bar buttons with Marlett, which Debian's Wine does not
# find on its own.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
wine reg add "$x11" /v Managed /d N /f >/dev/null 2>&1
wine reg add "$x11" /v Decorated /d N /f >/dev/null 2>&1
wine regedit /s tests/fixtures/types.reg

# start DPI: starts the program at that scale and waits for its window and
# its list.
start() {
  wineserver -k 2>/dev/null || true
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  # Each start as a first run: no place remembered, no Defaults.dat.
  wine reg delete 'HKCU\Software\Tarrow' /f >/dev/null 2>&1 || true
  rm -f "$root/build/windows/Defaults.dat"
  wine "$exe" </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 60); do
    window=$(xdotool search --onlyvisible --name '^Tarrow - Version' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.2
  done
  sleep "${2:-2}"
  eval "$(xdotool getwindowgeometry --shell "$window")"
}
shot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "docs/$1"; }

mkdir -p docs
start 192
shot main-192dpi.png
start 144
shot main-144dpi.png
start 96
shot main-96dpi.png
# 1. Find the type from the keyboard: Alt+S to the search box, type, Enter
#    goes to the list, Down to "Tarrow Type B", Enter opens its icon file in
#    the grid and goes on there.
xdotool key alt+s sleep 0.3 type tarrow
sleep 0.5
xdotool key Return sleep 0.3 key Down sleep 0.3 key Return
sleep 2
# 2. Down the grid a few rows, frame an icon and give it with Space; then
#    Apply (Alt+A).
xdotool key Next sleep 0.3 key Next sleep 0.3 key Right sleep 0.3 key space
sleep 1
shot step-1-pick-icon.png
xdotool key alt+a
sleep 1
wine reg query 'HKCR\Tarrow.TypeB\DefaultIcon'
# 3. Restore Defaults (Alt+R) asks first.
xdotool key alt+r
sleep 1.5
import -window root -crop "$((WIDTH + 120))x${HEIGHT}+$((X - 60))+${Y}" docs/step-2-restore.png
xdotool key Return
sleep 4
wine reg query 'HKCR\Tarrow.TypeB\DefaultIcon'
shot step-3-restored.png

# 4. The list while the registry is read: a registry the size of a
#    well-used machine's (the benchmarks' generator), shot as it fills.
wine "$root/build/windows/make_classes_root.exe" 'Z:'"$WINEPREFIX/classes-root.reg" >/dev/null
wine regedit /s 'Z:'"$WINEPREFIX/classes-root.reg" </dev/null >/dev/null 2>&1
start 96 0.6
shot list-loading.png
wineserver -k 2>/dev/null || true
