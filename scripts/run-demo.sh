#!/usr/bin/env bash
# README command 1: installs the dependencies, builds Tarvel and starts it on the
# built-in simulated device. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target tarvel
exec build/release/bin/tarvel --demo "$@"
