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

# start DPI: starts the program at that scale and waits for its window.
start() {
  wineserver -k 2>/dev/null || true
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  # Each start at the default size, centred: no place remembered.
  wine reg delete 'HKCU\Software\Tarrow' /f >/dev/null 2>&1 || true
  rm -f "$root/build/windows/Defaults.dat"
  wine "$exe" </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 60); do
    window=$(xdotool search --onlyvisible --name '^Tarrow - Version' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 1
  done
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # The client area's top: the caption is all that lies above it.
  client_y=$((Y + HEIGHT - 406 * $1 / 96))
}
shot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "docs/$1"; }
# at TWIPS_X TWIPS_Y: a point of the client area given in twips at 96 DPI.
at() { xdotool mousemove $((X + $1 / 15)) $((client_y + $2 / 15)); }

mkdir -p docs
start 192
shot main-192dpi.png
start 144
shot main-144dpi.png
start 96
shot main-96dpi.png
# 1. Find the type: type in the search box, Enter goes to the list, Down to
#    "Tarrow Type B", Enter opens its icon file in the grid.
at 2500 530
xdotool click 1 sleep 0.3 type tarrow
sleep 0.5
xdotool key Return sleep 0.3 key Down sleep 0.3 key Return
sleep 2
# 2. Scroll half-way, pick an icon and double-click it; then Apply.
at 2000 4200
# shell32.dll holds 27 rows here: 13 notches of one row each is half-way.
for _ in $(seq 1 13); do xdotool click 5; done
sleep 1
at $((120 + 30 + 585 * 2 + 290)) $((3600 + 30 + 615 + 300))
xdotool click 1 sleep 0.3 click --repeat 2 --delay 80 1
sleep 1
at 3500 200
shot step-1-pick-icon.png
at $((3240 + 300)) $((4985 + 180))
xdotool click 1
sleep 1
wine reg query 'HKCR\Tarrow.TypeB\DefaultIcon'
# 3. Restore Defaults asks first.
at $((120 + 800)) $((4985 + 180))
xdotool click 1
sleep 1.5
import -window root -crop "$((WIDTH + 120))x${HEIGHT}+$((X - 60))+${Y}" docs/step-2-restore.png
xdotool key Return
sleep 4
wine reg query 'HKCR\Tarrow.TypeB\DefaultIcon'
shot step-3-restored.png
wineserver -k 2>/dev/null || true
