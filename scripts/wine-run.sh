#!/usr/bin/env bash
# Runs a Windows program under Wine with a throw-away prefix in the build tree, quietly and
# without a display; the program's exit status is Wine's. The first start creates the prefix.
#   wine-run.sh [--win32] PROGRAM ARGS...   or   wine-run.sh [--win32] --start|--stop|--check
# --win32 (the 32-bit build's emulator) makes and uses a 32-bit prefix, as on 32-bit Windows; a
# prefix made so is run by the 32-bit loader whoever calls. A 32-bit program needs Wine's 32-bit
# part (Debian's wine32) in any prefix: without it, exit 77 (--check says only that).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
win32=0
if [[ ${1:-} == --win32 ]]; then
  win32=1
  shift
fi
if [[ $win32 -eq 1 ]]; then
  export WINEPREFIX="${WINEPREFIX:-$here/build/windows-x86/wine}"
else
  export WINEPREFIX="${WINEPREFIX:-$here/build/windows/wine}"
  grep -qs '^#arch=win32' "$WINEPREFIX/system.reg" && win32=1
fi
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer; no menu entries or file types written into the Linux desktop when
# an installer makes shortcuts.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
unset DISPLAY WAYLAND_DISPLAY
wine32=/usr/lib/wine/wine # Debian's wine32
# The machine a PE image is for: the 16 bits after "PE\0\0", found through the offset at 0x3c.
machine() {
  local at
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 0
  [[ -n $at ]] && od -An -tx2 -j$((at + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}
needs32=$win32
[[ -f ${1:-} && $(machine "$1") == 014c ]] && needs32=1
if [[ $needs32 -eq 1 && ! -x $wine32 ]]; then
  echo "32-bit Wine (wine32) is not installed: cannot run 32-bit programs" >&2
  exit 77
fi
[[ ${1:-} == --check ]] && exit 0
if [[ $win32 -eq 1 ]]; then
  export WINEARCH=win32
  wine=$wine32
else
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
fi
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# --start makes the prefix and keeps one Wine server for the programs that follow (many short
# starts in parallel otherwise race a server that is shutting down); --stop ends it.
case "${1:-}" in
  --start)
    mkdir -p "$WINEPREFIX"
    # Detached from our output, which a test runner waits to see closed.
    "$wineserver" -p </dev/null >/dev/null 2>&1 || true # fails only when one runs already
    # The first start makes the prefix, which takes seconds.
    exec "$wine" wineboot </dev/null >/dev/null 2>&1 ;;
  --stop) "$wineserver" -k || true; exit 0 ;; # a server that has gone is as good as ended
esac
exec "$wine" "$@"
