#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need,
# and only those that are missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libavcodec-dev libavformat-dev libavutil-dev libavfilter-dev libavdevice-dev
  libswscale-dev libswresample-dev libsdl2-dev libturbojpeg0-dev
  qt6-base-dev qt6-svg-dev libgl-dev xvfb xauth
  desktop-file-utils lintian dpkg-dev file fonts-dejavu-core xdg-utils
  clang clang-format libclang-rt-dev ccache xdotool mediainfo x11-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
