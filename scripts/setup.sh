#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing), then configures and builds.
# Environment: BUILD_DIR (default: build), VXL_SANITIZE=1 for an ASan+UBSan build.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libogg-dev libvorbis-dev libfreetype-dev
  libenet-dev libsdl2-dev libopenal1 libopenal-dev googletest libgtest-dev libbenchmark-dev
  xvfb xauth libgl1-mesa-dri libgl-dev libx11-dev mesa-utils python3-pil sox vorbis-tools locales
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi

# A locale with a decimal comma, for the test that number text ignores the program's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  $sudo locale-gen >/dev/null
fi

build_dir="${BUILD_DIR:-build}"
sanitize=OFF
[ "${VXL_SANITIZE:-0}" = "1" ] && sanitize=ON
cmake -S . -B "$build_dir" -G Ninja -DVXL_SANITIZE="$sanitize" >/dev/null
cmake --build "$build_dir"
