#!/usr/bin/env bash
# tarvel-flash.exe under Wine against the native simulated boot loader: Wine's COM7 and COM12 are
# links in its prefix to the simulator's pseudo-terminal. The image must arrive exactly, and a
# refused record and a hang-up must end with the exit codes tarvel-flash has on Linux (1 and 4).
# Usage: FlashUnderWine.sh TARVEL_FLASH_EXE NATIVE_BIN_DIR
set -uo pipefail
exe=$1 native=$2
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
run="$here/scripts/wine-run.sh"
export WINEPREFIX="${WINEPREFIX:-$here/build/windows/wine}"
for tool in tarvel-devsim tarvel-srec-gen; do
  [[ -x $native/$tool ]] || { echo "needs the Linux build's $tool in $native"; exit 77; }
done
work=$(mktemp -d)
devsim_pid= watch_pid=
cleanup() {
  [[ -n $watch_pid ]] && kill "$watch_pid" 2>/dev/null
  [[ -n $devsim_pid ]] && kill "$devsim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$native/tarvel-srec-gen" --size 16384 -o "$work/image.s19"
said=$("$run" "$exe" --version 2>&1)
[[ $? -eq 77 ]] && { echo "$said"; exit 77; } # a Wine that cannot run this program here
grep -q '^tarvel-flash ' <<<"$said" || fail "--version: $said"

# Starts the simulator with the given options and points COM7 at it.
start_device() {
  "$native/tarvel-devsim" "$@" >"$work/devsim.out" 2>&1 &
  devsim_pid=$!
  for _ in $(seq 100); do
    pty=$(grep -o -m1 '^/dev/pts/[0-9]*' "$work/devsim.out" || true)
    [[ -n $pty ]] && break
    sleep 0.1
  done
  [[ -n $pty ]] || { fail "the simulator did not start"; return 1; }
  mkdir -p "$WINEPREFIX/dosdevices"
  ln -sfn "$pty" "$WINEPREFIX/dosdevices/com7"
  ln -sfn "$pty" "$WINEPREFIX/dosdevices/com12" # above COM9 only \\.\COM12 finds it
}

stop_device() {
  kill -INT "$devsim_pid" 2>/dev/null
  wait "$devsim_pid" 2>/dev/null
  devsim_pid=
}

# The whole image, as the simulator writes back what it loaded: 32-byte S3 records like the
# file's, under an S0 header of its own.
start_device --baud off --dump-image "$work/loaded.s19" && {
  "$run" "$exe" --progress none --port COM7 "$work/image.s19" >"$work/out" 2>&1
  code=$?
  stop_device
  [[ $code -eq 0 ]] || fail "flash exited $code: $(cat "$work/out")"
  if ! cmp -s <(tail -n +2 "$work/image.s19" | tr -d '\r') <(tail -n +2 "$work/loaded.s19" | tr -d '\r'); then
    fail "the loaded image differs from the file"
  fi
}

# The same through ser2net, as a port across the network (Winsock under Wine): the image exactly.
if [[ -x /usr/sbin/ser2net ]]; then
  start_device --baud off --dump-image "$work/loaded-net.s19" && {
    port=$((20000 + RANDOM % 20000))
    printf 'connection: &wine\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%s\n  connector: serialdev,%s,9600e71,local\n' \
      "$port" "$pty" >"$work/ser2net.yaml"
    /usr/sbin/ser2net -n -d -c "$work/ser2net.yaml" >/dev/null 2>&1 &
    ser2net_pid=$!
    listening=$(printf ':%04X ' "$port")
    for _ in $(seq 100); do
      grep -q "$listening[0-9A-F:]* 0A" /proc/net/tcp && break
      sleep 0.1
    done
    "$run" "$exe" --progress none --port "rfc2217://127.0.0.1:$port" "$work/image.s19" >"$work/out" 2>&1
    code=$?
    kill "$ser2net_pid" 2>/dev/null
    wait "$ser2net_pid" 2>/dev/null
    stop_device
    [[ $code -eq 0 ]] || fail "flash through ser2net exited $code: $(cat "$work/out")"
    if ! cmp -s <(tail -n +2 "$work/image.s19" | tr -d '\r') <(tail -n +2 "$work/loaded-net.s19" | tr -d '\r'); then
      fail "the image loaded through ser2net differs from the file"
    fi
  }
else
  echo "ser2net is not installed: the flash across the network under Wine did not run"
fi

for case in "--erreur-at 100:1:ERREUR record 100:COM12" "--hangup-at 100:4:went away:COM7"; do
  IFS=: read -r option expected says port <<<"$case"
  # shellcheck disable=SC2086
  start_device --baud off $option || continue
  "$run" "$exe" --timeout 5 --progress none --port "$port" "$work/image.s19" >"$work/out" 2>&1
  code=$?
  stop_device
  [[ $code -eq $expected ]] || fail "$option: exit $code, not $expected: $(cat "$work/out")"
  grep -q "$says" "$work/out" || fail "$option: does not say '$says': $(cat "$work/out")"
done

# --watch flashes the board that is there and then waits for its removal in the device watch's
# window. Wine knows a COM port (QueryDosDevice, which tells whether it is there) only when its
# mount manager registered it at start-up, from HKLM\Software\Wine\Ports; so COM23 is declared
# there and the Wine server started again. Wine announces no removal, so the watch is ended from
# outside once the board is counted.
start_device --baud off && {
  ln -sfn "$pty" "$WINEPREFIX/tarvel-com23"
  "$run" reg add 'HKLM\Software\Wine\Ports' /v COM23 /d "$WINEPREFIX/tarvel-com23" /f >/dev/null 2>&1
  "$run" --stop && "$run" --start
  "$run" "$exe" --watch --progress none --port COM23 "$work/image.s19" >"$work/watch.out" 2>&1 &
  watch_pid=$!
  for _ in $(seq 600); do
    grep -q 'passed 1, failed 0' "$work/watch.out" 2>/dev/null && break
    kill -0 "$watch_pid" 2>/dev/null || break
    sleep 0.1
  done
  grep -q 'COM23 serial - ok' "$work/watch.out" || fail "--watch: $(cat "$work/watch.out")"
  kill "$watch_pid" 2>/dev/null
  wait "$watch_pid" 2>/dev/null
  watch_pid=
  "$run" reg delete 'HKLM\Software\Wine\Ports' /v COM23 /f >/dev/null 2>&1
  stop_device
}

# No USB adapter under Wine: "auto" says so after asking SetupAPI (a usage error, 2).
"$run" "$exe" --port auto "$work/image.s19" >"$work/out" 2>&1
code=$?
[[ $code -eq 2 ]] && grep -q 'no USB serial adapter is present' "$work/out" ||
  fail "--port auto: exit $code: $(cat "$work/out")"

# A port that is not there says so, as on Linux (exit 3).
"$run" "$exe" --port COM99 "$work/image.s19" >"$work/out" 2>&1
code=$?
[[ $code -eq 3 ]] || fail "COM99: exit $code, not 3: $(cat "$work/out")"

# Its reason in Italian: from the catalogue beside the .exe, then from one stored inside a copy of
# it (tarvel-pack-catalogues.exe), found through GetModuleFileNameW and mapped by the Win32 calls.
italian="Lì non è collegato nulla"
LANG=it_IT.UTF-8 "$run" "$exe" --port COM99 "$work/image.s19" >"$work/out" 2>&1
grep -q "$italian" "$work/out" || fail "no Italian beside the .exe: $(cat "$work/out")"
mkdir "$work/alone"
catalogue="$(dirname "$exe")/locale/it/LC_MESSAGES/default.mo"
"$run" "$(dirname "$exe")/tarvel-pack-catalogues.exe" "$exe" "$work/alone/tarvel-flash.exe" \
  "locale/it/LC_MESSAGES/default.mo=$catalogue" >"$work/out" 2>&1 || fail "packing: $(cat "$work/out")"
LANG=it_IT.UTF-8 "$run" "$work/alone/tarvel-flash.exe" --port COM99 "$work/image.s19" >"$work/out" 2>&1
grep -q "$italian" "$work/out" || fail "no Italian from the stored catalogue: $(cat "$work/out")"

[[ $failures -eq 0 ]] &&
  echo "tarvel-flash.exe: image exact, refusal 1, hang-up 4, --watch, absent port 3, catalogues beside and inside"
exit $((failures > 0))
