#!/usr/bin/env bash
# Figures of the Windows window under Wine, in one run on this machine, side by side: a 256 KiB
# image flashed at 115200 baud through Wine's COM2 (linked to the simulated device) by tarvel.exe
# and by tarvel-flash.exe, beside the Linux window's own benchmark; tarvel.exe's CPU while idle and
# connected; the time from start to its window shown; the programs' sizes.
# Usage: bench/windows/window-under-wine.sh WINDOWS_BUILD_DIR LINUX_RELEASE_BUILD_DIR
# (run it under tests/x11/run-under-x.sh for a display)
set -uo pipefail
win=$(cd "$1" && pwd) linux=$(cd "$2" && pwd)
export WINEPREFIX="$win/wine-bench" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)
work=$(mktemp -d)
devsim_pid=
cleanup() {
  [[ -n $devsim_pid ]] && kill "$devsim_pid" 2>/dev/null
  "$wineserver" -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
"$wineserver" -p >/dev/null 2>&1
"$wine" wineboot >/dev/null 2>&1

size=${SIZE:-262144}
"$linux/bin/tarvel-srec-gen" --size $size -o "$work/image.s19"
image="Z:${work//\//\\}\\image.s19"

start_device() {
  "$linux/bin/tarvel-devsim" --baud 115200 >"$work/devsim.out" 2>&1 &
  devsim_pid=$!
  for _ in $(seq 100); do
    pty=$(grep -o -m1 '^/dev/pts/[0-9]*' "$work/devsim.out" || true)
    [[ -n $pty ]] && break
    sleep 0.1
  done
  ln -sfn "$pty" "$WINEPREFIX/dosdevices/com2"
}
stop_device() {
  kill -INT "$devsim_pid"
  wait "$devsim_pid" 2>/dev/null
  devsim_pid=
}

echo "== $size bytes of firmware at 115200 baud =="
start_device
"$wine" "$win/bin/tarvel_bench_win32_window.exe" "$image"
stop_device

start_device
begin=$(date +%s.%N)
"$wine" "$win/bin/tarvel-flash.exe" --progress none --port COM2 "$image" >/dev/null
end=$(date +%s.%N)
stop_device
wire=$(awk -v f="$work/image.s19" 'BEGIN { while ((getline line < f) > 0) n += length(line); print n * 10 / 115200 }') # CR LF goes out as CR
awk -v b="$begin" -v e="$end" -v w="$wire" \
  'BEGIN { printf "tarvel-flash.exe (Wine) %8.2f s for %8.2f s of wire time: ratio %.4f (with Wine'"'"'s start)\n", e - b, w, (e - b) / w }'

echo "== the Linux window, the same size =="
QT_QPA_PLATFORM=offscreen "$linux/bin/tarvel_bench_flash" --size $size --paced-only | tail -n 2

echo "== start to window shown (tarvel.exe, five starts) =="
for _ in 1 2 3 4 5; do
  begin=$(date +%s%N)
  "$wine" "$win/bin/tarvel.exe" >/dev/null 2>&1 &
  app=$!
  xdotool search --sync --name '^Tarvel ' >/dev/null
  end=$(date +%s%N)
  echo "$(((end - begin) / 1000000)) ms"
  kill "$app" 2>/dev/null
  wait "$app" 2>/dev/null
done

echo "== sizes (the copies handed out, and the installer) =="
for exe in "$win"/dist/*.exe "$win"/../windows-x86/dist/*.exe "$win"/package/*.exe; do
  [[ -f $exe ]] && printf '%-48s %8d KiB  %s\n' "$(basename "$(dirname "$(dirname "$exe")")")/$(basename "$exe")" \
    $(($(stat -c %s "$exe") / 1024)) "$(file -b "$exe" | cut -d, -f1)"
done
