#!/usr/bin/env bash
# README command 2: installs the dependencies, builds Tarvel and runs every test.
#   1. the whole suite (GUI tests headless) on the debug build, and its naming style (clang-tidy);
#   2. the non-GUI suite under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the Windows cross builds, 32-bit then 64-bit (serial component, catalogues, session,
#      tarvel-flash.exe, the zips and the installer) and their tests under Wine, with an end-to-end
#      flash through a COM port linked to the simulator and an install and uninstall;
#   4. the Debian package, built and checked (scripts/package.sh);
#   5. the fuzz targets for a bounded time (FUZZ_SECONDS each, default 60).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

echo "== debug build and full test suite =="
cmake --preset dev >/dev/null
cmake --build --preset dev -j"$jobs"
ctest --preset dev -j"$jobs" | tee -a "$log"

echo "== naming style =="
bash scripts/check-naming.sh

echo "== AddressSanitizer + UBSan: non-GUI tests =="
cmake --preset asan -DTARVEL_BUILD_GUI=OFF >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --preset asan -LE gui -j"$jobs" | tee -a "$log"

# The 32-bit build first: the 64-bit build's installer takes its programs too.
echo "== Windows 32-bit cross build, tests under Wine's 32-bit layer =="
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 -j"$jobs"
if [[ -x /usr/lib/wine/wine ]]; then
  ctest --preset windows-x86 -j"$jobs" | tee -a "$log"
else
  echo "the x86 tests did not run: 32-bit Wine (wine32, an i386 package) is not installed;"
  echo "only the x86 images were checked (machine, imported DLLs, resources), and the installer, a"
  echo "32-bit program, is tried through a 64-bit build of its script"
  ctest --preset windows-x86 -L image | tee -a "$log"
fi

echo "== Windows 64-bit cross build, packages, tests under Wine =="
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
ctest --preset windows -j"$jobs" | tee -a "$log"

echo "== Debian package =="
bash scripts/package.sh

if [ -x scripts/run-fuzzers.sh ]; then
  echo "== fuzzing =="
  bash scripts/run-fuzzers.sh "${FUZZ_SECONDS:-60}"
fi

# One closing line over both suites (a failing suite has already stopped the script).
total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | awk '{n += $1} END {print n + 0}')
echo "Tests: $total passed, 0 failed"
