#!/usr/bin/env bash
# Installs everything Tarvel's build, tests, benchmarks and demo need on Debian 12.
# Idempotent: when every package is already present it only checks and returns.
# The 32-bit Windows tests need Wine's 32-bit loader, an i386 package; a mirror in the middle of a
# sync can lack it for a while, so its install is retried, then left out (scripts/test.sh says so).
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
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine64
  nsis librsvg2-bin
  dpkg-dev desktop-file-utils appstream
  srecord
)

i386_packages=(wine32:i386)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
missing_i386=()
for p in "${i386_packages[@]}"; do
  installed "$p" || missing_i386+=("$p")
done

if [ ${#missing[@]} -eq 0 ] && [ ${#missing_i386[@]} -eq 0 ]; then
  exit 0
fi

# A failed attempt at the i386 packages is remembered for an hour, so that the scripts that call
# this one in a row (test.sh, then package.sh) do not each wait for the mirror again.
stamp=/var/tmp/tarvel-i386-install-failed
if [ ${#missing[@]} -eq 0 ] && [ -n "$(find "$stamp" -mmin -60 2>/dev/null)" ]; then
  echo "warning: ${missing_i386[*]} could not be installed in the last hour; not trying again yet" >&2
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
# A list that fails to download (a mirror mid-sync) leaves the older one in use: try again later.
update() {
  for attempt in 1 2; do
    $SUDO apt-get update -qq && return 0
    [ "$attempt" -lt 2 ] && sleep 15
  done
  echo "warning: apt-get update failed; installing from the lists at hand" >&2
}
update
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
if [ ${#missing_i386[@]} -gt 0 ]; then
  echo "Installing: ${missing_i386[*]}"
  for attempt in 1 2; do
    if $SUDO apt-get install -y -qq --no-install-recommends "${missing_i386[@]}" </dev/null; then
      $SUDO rm -f "$stamp"
      exit 0
    fi
    [ "$attempt" -lt 2 ] || break
    sleep 20
    update
  done
  $SUDO touch "$stamp"
  # Without them, the i386 lists would only make every later apt-get update fail as this one did.
  if ! dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -qx i386; then
    $SUDO dpkg --remove-architecture i386
    $SUDO apt-get update -qq || true
  fi
  echo "warning: could not install ${missing_i386[*]}: the 32-bit Windows programs cannot run here" >&2
fi
