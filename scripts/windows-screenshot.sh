#!/usr/bin/env bash
# Remakes docs/window-windows.png, the README's picture of the Windows window (tarvel.exe) under
# Wine on Xvfb with openbox, part-way through flashing the simulated device linked to Wine's COM2:
# the clicks and the typed path are a person's, through the X server.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ${1:-} != --under-x ]]; then
  bash scripts/install-deps.sh
  cmake --preset dev >/dev/null
  cmake --build --preset dev --target tarvel-devsim tarvel-srec-gen tarvel-grab-screen
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target tarvel
  exec bash tests/x11/run-under-x.sh bash "$0" --under-x
fi

native=build/dev/bin
export WINEPREFIX="$PWD/build/windows/wine-screenshot" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
work=$(mktemp -d)
cleanup() {
  kill "${devsim_pid:-}" 2>/dev/null || true
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
"$wineserver" -p >/dev/null 2>&1 # its dump of objects when it ends is not ours to show
"$wine" wineboot >/dev/null 2>&1
"$native/tarvel-srec-gen" --size 65536 -o "$work/firmware.s19"
"$native/tarvel-devsim" --baud 115200 >"$work/devsim.out" 2>&1 &
devsim_pid=$!
sleep 0.5
ln -sfn "$(grep -o -m1 '^/dev/pts/[0-9]*' "$work/devsim.out")" "$WINEPREFIX/dosdevices/com2"

"$wine" build/windows/bin/tarvel.exe >/dev/null 2>&1 &
window=$(xdotool search --sync --name '^Tarvel ' | head -1)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")" # WIDTH, HEIGHT of the client area
# Under a reparenting window manager xdotool's X and Y are off by the frame: the client's origin is
# the reported one less the frame's left and top.
read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS | grep -o '[0-9, ]*$' | tr -d ',')
X=$((X - left)) Y=$((Y - top))
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; sleep "${3:-1}"; }
click 444 81    # Connetti Porta
click 525 81 3  # Init: the device's menu, answered by itself
click 435 199 2 # Flash: the open dialog
xdotool type --delay 10 "Z:${work//\//\\}\\firmware.s19"
xdotool key Return
sleep 6
# The window with its frame, as the window manager draws it.
build/dev/bin/tarvel-grab-screen docs/window-windows.png $((X - left)) $((Y - top)) \
  $((WIDTH + left + right)) $((HEIGHT + top + bottom))
echo "docs/window-windows.png"
