#!/usr/bin/env bash
# Installs the Debian packages that building bvterm needs, when they are missing (through sudo
# when not root), and builds the project in Release into build/.
# Extra packages can be asked for with BVTERM_EXTRA_PACKAGES="a b".
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
          fonts-liberation2 ${BVTERM_EXTRA_PACKAGES:-})
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

cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=Release ${BVTERM_CMAKE_ARGS:-}
cmake --build "$top/build" --parallel
