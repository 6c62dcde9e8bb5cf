#!/usr/bin/env bash
# Remakes docs/window.png, the README's picture of the window part-way through a flash on the
# simulated device, on a real X server (Xvfb with openbox) so it looks as on a desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target tarvel-screenshot
unset QT_QPA_PLATFORM
bash tests/x11/run-under-x.sh build/release/bin/tarvel-screenshot docs/window.png
echo "docs/window.png"
