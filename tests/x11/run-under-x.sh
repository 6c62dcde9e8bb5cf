#!/usr/bin/env bash
# Runs a test program on a real X server with a window manager (Xvfb + openbox), for what the
# offscreen platform cannot show: titles as the window manager reads them, popups, focus.
set -euo pipefail
program="$1"
shift

display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display" >&2; exit 1; }

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
wm=""
cleanup() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

export DISPLAY="$display"
for _ in $(seq 100); do
  xprop -root >/dev/null 2>&1 && break
  sleep 0.05
done
openbox >/dev/null 2>&1 &
wm=$!
# The window manager announces itself on the root window once it manages windows.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.05
done

# Under ThreadSanitizer: the tests start xprop, and the sanitizer would end a child that Qt's
# process launcher lets run code between fork and exec.
if [ -n "${TSAN_OPTIONS:-}" ]; then export TSAN_OPTIONS="$TSAN_OPTIONS die_after_fork=0"; fi
QT_QPA_PLATFORM=xcb "$program" "$@"
