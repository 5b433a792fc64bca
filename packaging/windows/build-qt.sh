#!/usr/bin/env bash
# Builds the part of Qt 6.4.2 that the terminal uses (Core, Gui, Widgets, Test, SerialPort,
# Charts, the windows, offscreen and windowsvista plugins) for x86_64-w64-mingw32 and installs
# it into a prefix. Debian's own Qt 6.4.2 supplies the host tools (moc, rcc, uic).
#   build-qt.sh QTBASE.tar.xz QTSERIALPORT.tar.xz QTCHARTS.tar.xz PREFIX
# The caller has checked the tarballs, and marks the prefix complete once this script
# succeeds; the prefix is emptied first. The toolchain file is copied into it, so the prefix
# keeps working wherever the checkout that built it goes.
set -euo pipefail
tarballs=("$1" "$2" "$3")
prefix=$4
here=$(cd "$(dirname "$0")" && pwd)
jobs=${BVTERM_JOBS:-$(nproc)}

work=$prefix.work
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix"
toolchain=$prefix/mingw-w64-x86_64.cmake
cp "$here/mingw-w64-x86_64.cmake" "$toolchain"
trap 'rm -rf "$work"' EXIT

modules=(qtbase qtserialport qtcharts)
for i in 0 1 2; do
    mkdir -p "$work/${modules[i]}"
    tar -xf "${tarballs[i]}" -C "$work/${modules[i]}" --strip-components=1
done

# Only what the terminal and its tests need. The dfsg tarball has no wintab.h, so no tablet
# input; MinGW lacks DirectWrite 3, and without direct2d (whose platform plugin nothing here
# uses) Qt Gui has no DirectWrite font database for the windows plugin to use. FreeType stays
# on: the offscreen platform draws its text with it.
cmake -S "$work/qtbase" -B "$work/build-qtbase" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF \
    -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
    -DFEATURE_icu=OFF -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF
cmake --build "$work/build-qtbase" --parallel "$jobs"
cmake --install "$work/build-qtbase"

# The modules build with the prefix's own configure wrapper, which knows the toolchain and the
# host tools.
for module in qtserialport qtcharts; do
    mkdir -p "$work/build-$module"
    (cd "$work/build-$module" &&
        "$prefix/bin/qt-configure-module" "$work/$module" -- -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF)
    cmake --build "$work/build-$module" --parallel "$jobs"
    cmake --install "$work/build-$module"
done
