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
"$top/scripts/install-packages.sh" "${packages[@]}"

build=${BVTERM_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release ${BVTERM_CMAKE_ARGS:-}
cmake --build "$build" --parallel
