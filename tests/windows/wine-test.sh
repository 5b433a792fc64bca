#!/usr/bin/env bash
# Runs a cross-built program under Wine; CTest's emulator for the Windows build.
#   wine-test.sh QT-PREFIX PROGRAM.exe [ARGS...]
# Qt's DLLs and plugins come from QT-PREFIX, the MinGW runtime's from the cross-compiler. A QtTest program (tst_*) writes its results into a
# file, which is printed afterwards: under Wine its redirected standard output stays empty.
# Needs a Wine prefix and an X display; scripts/test-windows.sh sets up both.
set -euo pipefail
qt=$1
program=$2
shift 2
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
    echo "wine-test.sh: WINEPREFIX and DISPLAY are not set; scripts/test-windows.sh runs the" \
        "Windows tests with both" >&2
    exit 1
fi
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# Quiet, but for a DLL that is missing.
export WINEDEBUG=${WINEDEBUG:--all,err+module}
compiler=x86_64-w64-mingw32-g++-posix
runtime=$(dirname "$($compiler -print-file-name=libstdc++-6.dll)")
threads=$(dirname "$($compiler -print-file-name=libwinpthread-1.dll)")
WINEPATH="$(windows_path "$qt/bin");$(windows_path "$runtime");$(windows_path "$threads")"
QT_PLUGIN_PATH=$(windows_path "$qt/plugins")
# The offscreen platform draws with the fonts of this folder: the window's own, as on Linux.
QT_QPA_FONTDIR=$(windows_path "${BVTERM_FONT_DIR:-/usr/share/fonts/truetype/liberation2}")
export WINEPATH QT_PLUGIN_PATH QT_QPA_FONTDIR
# Wine keeps the host's QT_* variables from Windows programs; WINEQT_* reach them as QT_*.
while IFS='=' read -r name _; do
    export "WINE$name=${!name}"
done < <(env | grep '^QT_[A-Za-z0-9_]*=')
case $(basename "$program") in
tst_*)
    results=$(mktemp --suffix=.txt)
    trap 'rm -f "$results"' EXIT
    status=0
    wine "$program" "$@" -o "$(windows_path "$results"),txt" || status=$?
    cat "$results"
    exit "$status"
    ;;
*)
    exec wine "$program" "$@"
    ;;
esac
