#!/usr/bin/env bash
# Runs on an X server with a window manager (tests/x11/run-under-x.sh): starts the installed window
# in Italian, clicks Flash and expects the toolkit's open dialog captioned from the installed
# catalogues ("Open" is "Apri").
set -euo pipefail
root="$1"
LANG=it_IT.UTF-8 "$root/usr/bin/tarvel" --com2 "$root/absent" >"$root/window.out" 2>&1 &
window_pid=$!
trap 'kill "$window_pid" 2>/dev/null || true' EXIT

window=$(timeout 20 xdotool search --all --sync --onlyvisible --pid "$window_pid" --name '^Tarvel' | head -1)
# Flash sits at (394,188)-(477,211) of the 579x374 window; the window may be scaled.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove --window "$window" $((WIDTH * 435 / 579)) $((HEIGHT * 199 / 374)) click 1
if ! timeout 20 xdotool search --all --sync --onlyvisible --pid "$window_pid" --name '^Apri$' >/dev/null; then
  echo "no dialog captioned 'Apri'; windows open:"
  xwininfo -root -tree | grep -i '"' | head -20
  cat "$root/window.out"
  exit 1
fi
echo "installed window: the open dialog is captioned 'Apri'"
