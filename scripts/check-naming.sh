#!/usr/bin/env bash
# Checks the tree's one naming style (.clang-tidy) over every file the debug build compiles.
# Needs a configured dev build (build/dev/compile_commands.json).
set -euo pipefail
cd "$(dirname "$0")/.."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! run-clang-tidy -p build/dev -j"$(nproc)" -quiet \
    '^'"$PWD"'/(app|serial|session|firmware|window|options|flasher|i18n|sim|terminal|widgets|tools|system|tests|bench)/' >"$log" 2>&1 ||
    grep -q 'readability-identifier-naming' "$log"; then
  grep -A3 'readability-identifier-naming' "$log" || tail -40 "$log"
  echo "naming: names above break the style in .clang-tidy" >&2
  exit 1
fi
echo "naming: every member follows the style in .clang-tidy"
