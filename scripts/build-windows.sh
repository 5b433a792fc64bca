#!/usr/bin/env bash
# Builds BVTerm for 64-bit Windows on Debian 12: installs the cross-compiler and the tools it
# needs, builds Qt 6.4.2 for Windows once into a cache folder, cross-builds the terminal in
# Release and leaves in build-windows/ a zip of the program with everything it needs to run and
# an installer.
#   BVTERM_QT_SOURCES=dir        folder with the three Qt source tarballs (Qt base as Debian
#                                ships it, Qt SerialPort, Qt Charts), checked against
#                                packaging/windows/qt-sources.sha256. Without it they are fetched
#                                with apt-get source (needs deb-src lines in the apt sources) and
#                                checked against their .dsc.
#   BVTERM_QT_WINDOWS=dir        where Qt for Windows is kept (~/.cache/bvterm/qt-6.4.2-mingw64);
#                                rebuilt only when missing or when its recipe changed
#   BVTERM_WINDOWS_BUILD_DIR=dir build there instead of build-windows/
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
windows=$top/packaging/windows
build=${BVTERM_WINDOWS_BUILD_DIR:-$top/build-windows}
qt=${BVTERM_QT_WINDOWS:-${XDG_CACHE_HOME:-$HOME/.cache}/bvterm/qt-6.4.2-mingw64}

# Runs one stage and says how long it took.
stage() {
    local name=$1 start=$SECONDS
    shift
    echo "== $name"
    "$@"
    echo "== $name took $((SECONDS - start)) s"
}

install_tools() {
    # Debian's own Qt 6.4.2 gives the host tools (moc, rcc, uic) that the cross-build runs.
    "$top/scripts/install-packages.sh" build-essential cmake ninja-build pkg-config perl python3 \
        xz-utils qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix \
        binutils-mingw-w64-x86-64 wine wine64 nsis
}

# The Qt build is redone when any of what makes it changes.
recipe() {
    cat "$windows/build-qt.sh" "$windows/mingw-w64-x86_64.cmake" "$windows/qt-sources.sha256" |
        sha256sum | cut -d' ' -f1
}

# Prints the paths of the three tarballs, checked: Qt base, Qt SerialPort, Qt Charts.
qt_sources() {
    if [ -n "${BVTERM_QT_SOURCES:-}" ]; then
        (cd "$BVTERM_QT_SOURCES" && sha256sum --quiet -c "$windows/qt-sources.sha256") >&2 || {
            echo "build-windows.sh: the Qt sources in $BVTERM_QT_SOURCES do not match" \
                "packaging/windows/qt-sources.sha256" >&2
            return 1
        }
        local name
        while read -r _ name; do echo "$BVTERM_QT_SOURCES/$name"; done <"$windows/qt-sources.sha256"
        return 0
    fi
    local fetched=$qt.sources
    mkdir -p "$fetched"
    (cd "$fetched" && apt-get source --download-only qt6-base qt6-serialport qt6-charts) >&2 || {
        echo "build-windows.sh: apt-get source could not fetch the Qt sources. Add deb-src" \
            "lines to the apt sources, or set BVTERM_QT_SOURCES to a folder that holds them." >&2
        return 1
    }
    local package dsc tarball sum
    for package in qt6-base qt6-serialport qt6-charts; do
        dsc=$(ls "$fetched/${package}_6.4.2"*.dsc | tail -n 1)
        tarball=$(ls "$fetched/${package}_6.4.2"*.orig.tar.xz | tail -n 1)
        # The .dsc names each file of the source package with its SHA-256 sum.
        sum=$(awk -v name="$(basename "$tarball")" \
            '/^Checksums-Sha256:/ {inside = 1; next} /^[^ ]/ {inside = 0}
             inside && $3 == name {print $1}' "$dsc")
        if [ -z "$sum" ] || ! echo "$sum  $tarball" | sha256sum --quiet -c - >&2; then
            echo "build-windows.sh: $tarball does not match $dsc" >&2
            return 1
        fi
        echo "$tarball"
    done
}

build_qt() {
    local wanted
    wanted=$(recipe)
    if [ "$(cat "$qt/.recipe" 2>/dev/null)" = "$wanted" ]; then
        echo "Qt for Windows is ready in $qt"
        return 0
    fi
    local sources
    sources=$(qt_sources)
    mapfile -t sources <<<"$sources"
    "$windows/build-qt.sh" "${sources[@]}" "$qt"
    echo "$wanted" >"$qt/.recipe"
}

build_terminal() {
    # Qt's toolchain file brings its own prefix and the host tools; it loads the MinGW one.
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DBVTERM_BUILD_BENCH=OFF ${BVTERM_CMAKE_ARGS:-}
    cmake --build "$build" --parallel
}

package() {
    "$windows/package.sh" "$build" "$qt"
}

stage "packages" install_tools
stage "Qt for Windows" build_qt
stage "BVTerm for Windows" build_terminal
stage "zip and installer" package
