#!/usr/bin/env bash
# The Windows window under Wine on a real X server (run by tests/x11/run-under-x.sh): its controls'
# tests, then the window on the native simulated boot loader that Wine's COM2 is linked to. The
# image must arrive exactly; Stop Flash, the refused close and a pulled device are the tests' own.
# Usage: WindowUnderWine.sh CONTROL_TESTS_EXE WINDOW_TESTS_EXE NATIVE_BIN_DIR
set -uo pipefail
controls=$1 window=$2 native=$3
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export WINEPREFIX="${TARVEL_WINE_X_PREFIX:-$(dirname "$controls")/../wine-x}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A 32-bit build's programs need Wine's 32-bit loader (Debian's wine32).
if file -b "$controls" | grep -q '^PE32 '; then
  wine=/usr/lib/wine/wine
  [[ -x $wine ]] || { echo "32-bit Wine (wine32) is not installed: the x86 window was not tried"; exit 77; }
else
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
fi
for tool in tarvel-devsim tarvel-srec-gen; do
  [[ -x $native/$tool ]] || { echo "needs the Linux build's $tool in $native"; exit 77; }
done
work=$(mktemp -d)
devsim_pid=
cleanup() {
  [[ -n $devsim_pid ]] && kill "$devsim_pid" 2>/dev/null
  [[ -n ${wineserver:-} ]] && "$wineserver" -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# One Wine server for the whole run, its devices made before COM2 is linked: Wine's mount manager
# points the low COM names at /dev/ttyS* when it starts.
wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)
"$wineserver" -p >/dev/null 2>&1 # its dump of objects when it ends is not ours to show
"$wine" wineboot >/dev/null 2>&1
# A crash prints its backtrace and ends the program rather than waiting in Wine's crash dialog.
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n' \
  >"$work/winedbg.reg"
"$wine" regedit /S "Z:${work//\//\\}\\winedbg.reg" >/dev/null 2>&1

timeout 300 "$wine" "$controls" || fail "the controls' tests"

# A 128 KiB image: well over 20 s at 115200 baud.
"$native/tarvel-srec-gen" --size 131072 -o "$work/image.s19"
export TARVEL_TEST_IMAGE="Z:${work//\//\\}\\image.s19"

# Starts the simulator with the given options and points COM2 at it; a hang-up removes the link
# as pulling the adapter removes the port.
start_device() {
  "$native/tarvel-devsim" "$@" >"$work/devsim.out" 2>&1 &
  devsim_pid=$!
  pty=
  for _ in $(seq 100); do
    pty=$(grep -o -m1 '^/dev/pts/[0-9]*' "$work/devsim.out" || true)
    [[ -n $pty ]] && break
    sleep 0.1
  done
  [[ -n $pty ]] || { fail "the simulator did not start"; return 1; }
  mkdir -p "$WINEPREFIX/dosdevices"
  ln -sfn "$pty" "$WINEPREFIX/dosdevices/com2"
  local link="$WINEPREFIX/dosdevices/com2"
  (tail --pid="$devsim_pid" -f /dev/null; rm -f "$link") &
  remover_pid=$!
}

stop_device() {
  kill -INT "$devsim_pid" 2>/dev/null
  wait "$remover_pid" # the link has gone with the device, before the next one is linked
  devsim_pid=
}

run_window_test() {
  timeout 120 "$wine" "$window" --gtest_filter="OnWine.$1" || fail "$1"
}

start_device --baud off --dump-image "$work/loaded.s19" && {
  run_window_test TheTitleIsTheCaptionAndTheImageArrivesThroughTheOpenDialog
  stop_device
  if ! cmp -s <(tail -n +2 "$work/image.s19" | tr -d '\r') <(tail -n +2 "$work/loaded.s19" | tr -d '\r'); then
    fail "the image the window loaded differs from the file"
  fi
}
start_device --baud 115200 && {
  run_window_test StopFlashEndsTheTransferAndClosingMeanwhileIsRefusedWithTheWarning
  stop_device
}
start_device --baud off --hangup-at 30 && {
  run_window_test APulledDeviceEndsTheTransferAndTheWindowCanBeClosed
  stop_device
}
"$wineserver" -k 2>/dev/null || true
[[ $failures -eq 0 ]] && echo "the window under Wine: all passed"
exit $((failures > 0))
