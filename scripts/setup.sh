#!/usr/bin/env bash
# Installs the Debian packages that building bvterm needs, when they are missing (through sudo
# when not root), and builds the project in Release into build/.
#   BVTERM_EXTRA_PACKAGES="a b"   further packages to install
#   BVTERM_BUILD_DIR=dir          build there instead of build/
#   BVTERM_CMAKE_ARGS="-D..."     further CMake settings (they override the defaults)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

# Qt Charts' CMake files need Qt's OpenGL ones, which qt6-charts-dev does not bring along.
packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
          qt6-charts-dev libqt6opengl6-dev fonts-liberation2 ${BVTERM_EXTRA_PACKAGES:-})
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if ((${#missing[@]})); then
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    echo "Installing: ${missing[*]}"
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=${BVTERM_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release ${BVTERM_CMAKE_ARGS:-}
cmake --build "$build" --parallel
