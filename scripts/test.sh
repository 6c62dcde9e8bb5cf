#!/usr/bin/env bash
# README command 2: installs the dependencies, builds Tarvel and runs every test.
#   1. the whole suite (GUI tests headless) on the debug build;
#   2. the non-GUI suite under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the fuzz targets for a bounded time (FUZZ_SECONDS each, default 60).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== debug build and full test suite =="
cmake --preset dev >/dev/null
cmake --build --preset dev -j"$jobs"
ctest --preset dev -j"$jobs"

echo "== AddressSanitizer + UBSan: non-GUI tests =="
cmake --preset asan -DTARVEL_BUILD_GUI=OFF >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --preset asan -LE gui -j"$jobs"

if [ -x scripts/run-fuzzers.sh ]; then
  echo "== fuzzing =="
  bash scripts/run-fuzzers.sh "${FUZZ_SECONDS:-60}"
fi
