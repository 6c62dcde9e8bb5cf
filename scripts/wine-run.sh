#!/usr/bin/env bash
# Runs a Windows program under Wine with a throw-away prefix in the build tree, quietly and
# without a display; the program's exit status is Wine's. The first start creates the prefix.
#   wine-run.sh [--win32] PROGRAM ARGS...   or   wine-run.sh [--win32] --start|--stop
# --win32 (the 32-bit build's emulator) makes and uses a 32-bit prefix, as on 32-bit Windows; a
# prefix made so is run by the 32-bit loader whoever calls. Exit 77: no 32-bit Wine here.
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
if [[ $win32 -eq 1 ]]; then
  export WINEARCH=win32
  wine=/usr/lib/wine/wine # Debian's wine32
  if [[ ! -x $wine ]]; then
    echo "32-bit Wine (wine32) is not installed: cannot run 32-bit programs" >&2
    exit 77
  fi
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
