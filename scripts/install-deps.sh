#!/usr/bin/env bash
# Installs everything Tarvel's build, tests, benchmarks and demo need on Debian 12.
# Idempotent: when every package is already present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  gettext
  clang libclang-rt-dev clang-tidy clang-format
  fonts-comic-neue fontconfig
  xvfb xauth openbox x11-utils xdotool fonts-freefont-ttf
  expect python3 ser2net
  g++-mingw-w64-x86-64-posix googletest wine64
  dpkg-dev desktop-file-utils appstream
  srecord
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
