#!/usr/bin/env bash
# Runs a Windows program under Wine with a throw-away prefix in the build tree, quietly and
# without a display; the program's exit status is Wine's. The first start creates the prefix.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/build/windows/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}" # no Mono or Gecko installer
unset DISPLAY WAYLAND_DISPLAY
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
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
