#!/usr/bin/env bash
# Builds the part of Qt 6.4.2 that the terminal uses (Core, Gui, Widgets, Test, SerialPort,
# Charts, the windows, offscreen and windowsvista plugins) for x86_64-w64-mingw32 and installs
# it into a prefix. Debian's own Qt 6.4.2 supplies the host tools (moc, rcc, uic).
#   build-qt.sh QTBASE.tar.xz QTSERIALPORT.tar.xz QTCHARTS.tar.xz PREFIX
# The caller has checked the tarballs, and marks the prefix complete (.recipe) once this script
# succeeds. The toolchain file is copied into the prefix, so the prefix keeps working wherever
# the checkout that built it goes.
#
# The prefix is emptied before the build, so this script builds only into a folder that is
# missing, empty, or marked as its own (.bvterm-qt, written before anything else; a .recipe
# from an earlier build counts too). Any other folder, an existing Qt say, is refused untouched.
set -euo pipefail
tarballs=("$1" "$2" "$3")
prefix=$4
here=$(cd "$(dirname "$0")" && pwd)
jobs=${BVTERM_JOBS:-$(nproc)}
mark=$prefix/.bvterm-qt

if [ -e "$prefix" ]; then
    if [ ! -d "$prefix" ] ||
        { [ -n "$(ls -A "$prefix")" ] && [ ! -e "$mark" ] && [ ! -e "$prefix/.recipe" ]; }; then
        echo "build-qt.sh: $prefix is not a folder that this script made, and it is not empty;" \
            "nothing was changed there. Set BVTERM_QT_WINDOWS to a new or empty folder." >&2
        exit 1
    fi
fi
mkdir -p "$prefix"
: >"$mark"
find "$prefix" -mindepth 1 -maxdepth 1 ! -name .bvterm-qt -exec rm -rf {} +

# The build tree is a new folder of its own beside the prefix, removed at the end.
work=$(mktemp -d "$(dirname "$prefix")/.bvterm-qt-build.XXXXXX")
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
