#!/usr/bin/env bash
# Builds BVTerm for Windows (scripts/build-windows.sh) and runs its tests under Wine, on a
# virtual X display of their own and in a Wine prefix of their own: every test program that
# needs no pseudo-terminal, the terminal on COM 5 with a Linux pseudo-terminal behind it, and
# the installer. Takes the same settings as build-windows.sh, and
#   BVTERM_WINEPREFIX=dir   the Wine prefix to use (build-windows/wine; made when missing)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BVTERM_WINDOWS_BUILD_DIR:-$top/build-windows}

"$top/scripts/build-windows.sh"
"$top/scripts/install-packages.sh" xvfb python3 xdotool

start=$SECONDS
work=$(mktemp -d)
xvfb=
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number itself and writes it to the given descriptor.
Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 200); do
    [ -s "$work/display" ] && break
    sleep 0.05
done
if [ ! -s "$work/display" ]; then
    echo "test-windows.sh: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

export WINEPREFIX=${BVTERM_WINEPREFIX:-$build/wine}
export WINEDEBUG=-all
# No .NET or HTML engine: nothing here needs them, and Wine would offer to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
wineboot --init
# COM 13, a port above those the terminal always lists, registered as Wine registers serial
# ports, so that it is among the system's ports (a bare dosdevices link is opened, but not
# listed); instrument.py puts its line behind $WINEPREFIX/com13-line.
wine reg add 'HKLM\Software\Wine\Ports' /v COM13 /d "$WINEPREFIX/com13-line" /f >/dev/null
wineserver --wait
echo "== Wine prefix took $((SECONDS - start)) s"

start=$SECONDS
status=0
ctest --test-dir "$build" --output-on-failure --parallel 2 || status=$?
echo "== Windows tests under Wine took $((SECONDS - start)) s"
exit "$status"
