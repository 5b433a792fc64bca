#!/usr/bin/env bash
# The Windows installer under Wine, as a user meets it. The setup and the installed bvterm.exe
# carry their version information; installed silently, the Start entry and the uninstall entry
# (with size, version and icon) are there, the installed bvterm.exe starts, its window offers
# no maximizing, its chart is a window of its own, Reference starts HH.exe with the help
# file's quoted path, and the silent uninstall removes everything the installer put there, and
# only that. Then the same installer is gone through page by page (welcome, folder, progress,
# finish), and "Run BVTerm" on its last page starts the program.
#   check-installer.sh BUILD VERSION_INFO.exe
# Runs in the Wine prefix and on the display that scripts/test-windows.sh set up; it waits for
# every program of the prefix to end, so it runs alone.
set -euo pipefail
build=$1
version_info=$2
installer=$(ls "$build"/bvterm-*-windows-x64-setup.exe 2>/dev/null | head -n 1)
if [ -z "$installer" ]; then
    echo "check-installer.sh: no installer in $build; scripts/build-windows.sh makes it" >&2
    exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
folder="$WINEPREFIX/drive_c/Program Files/BVTerm"
entry="BVTerm — Baroventis Terminal"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$entry.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\BVTerm'
work=$(mktemp -d)
terminal=
cleanup() {
    [ -z "$terminal" ] || kill "$terminal" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/check-common.sh"
# The version information of a program, as its Properties show it: "key=value" lines.
details() {
    wine "$version_info" "$1" 2>&1 | tr -d '\r' >"$work/details" || {
        cat "$work/details" >&2
        fail "no version information in $1"
    }
    cat "$work/details"
}
expect_details() {
    local file=$1 description=$2
    details "$file" >"$work/said"
    local expected
    expected=$(printf '%s\n' "fixed FileVersion=$version.0" "fixed ProductVersion=$version.0" \
        "ProductName=Baroventis® Terminal" "ProductVersion=$version" "FileVersion=$version" \
        "FileDescription=$description")
    [ "$(cat "$work/said")" = "$expected" ] || {
        diff <(echo "$expected") "$work/said" >&2 || true
        fail "the version information of $(basename "$file") is not as expected"
    }
}
# A value of the uninstall entry as the registry holds it, in the notation of an exported
# registry file ("text", dword:0000000c); the export keeps the text's characters, where
# "reg query" writes them in the console's code page.
entry_value() {
    wine reg export "$key" "$(printf 'Z:%s' "${work//\//\\}")\\entry.reg" /y >/dev/null 2>&1 ||
        fail "no uninstall entry $key"
    iconv -f UTF-16 -t UTF-8 "$work/entry.reg" | tr -d '\r' | sed -n "s/^\"$1\"=//p"
}
window_of() { xdotool search --name "$1" 2>/dev/null | head -n 1; }

expect_details "$installer" "BVTerm setup: installs the serial terminal for laboratory instruments"
echo "the setup's version information: as expected"

[ ! -e "$folder" ] || fail "$folder exists before the installation"
wine "$installer" /S
wineserver --wait
[ -f "$folder/bvterm.exe" ] || fail "the installer put no bvterm.exe into $folder"
[ -f "$menu" ] || fail "no Start-menu entry \"$entry\""
wine reg query "$key" /v DisplayName >/dev/null 2>&1 || fail "no uninstall entry $key"
(cd "$folder" && find . -type f | sort) >"$work/installed"
echo "installed: $(wc -l <"$work/installed") files"
expect_details "$folder/bvterm.exe" "BVTerm, the serial terminal for laboratory instruments"
echo "bvterm.exe's version information: as expected"

# The uninstall entry: its name, version, icon and size. The size is what the installer's
# folder page counted: each installed file but the uninstaller, in whole KiB.
[ "$(entry_value DisplayName)" = "\"$entry\"" ] || fail "the uninstall entry is $(entry_value DisplayName)"
[ "$(entry_value DisplayVersion)" = "\"$version\"" ] ||
    fail "the uninstall entry's version is $(entry_value DisplayVersion)"
[ "$(entry_value DisplayIcon)" = '"C:\\Program Files\\BVTerm\\bvterm.exe"' ] ||
    fail "the uninstall entry's icon is $(entry_value DisplayIcon)"
kib=0
while read -r file; do
    [ "$file" = ./uninstall.exe ] && continue
    kib=$((kib + ($(stat -c %s "$folder/$file") + 1023) / 1024))
done <"$work/installed"
[ "$(entry_value EstimatedSize)" = "$(printf 'dword:%08x' "$kib")" ] ||
    fail "the uninstall entry's size is $(entry_value EstimatedSize), the files take $kib KiB"
echo "uninstall entry: \"$entry\", $version, $kib KiB"

# The help file comes from the instrument's maker; an administrator copies it in.
echo "help" >"$folder/BVTermHelp.chm"
WINEDEBUG=+process wine "C:\\Program Files\\BVTerm\\bvterm.exe" 2>"$work/trace" &
terminal=$!
window() { window_of 'Baroventis.* Terminal Ver 1\.0' >"$work/window"; [ -s "$work/window" ]; }
wait_for window || fail "the installed bvterm.exe showed no window"
win=$(cat "$work/window")
# A fixed size, and no maximizing: the window manager is told neither to resize the window nor
# to maximize it (Motif hints: resize 2, minimize 8, maximize 16, close 32), and its least and
# largest sizes are the same.
hints=$(xprop -id "$win" _MOTIF_WM_HINTS | sed -n 's/.* = //p')
functions=$(echo "$hints" | cut -d, -f2 | tr -d ' ')
[ -n "$functions" ] && (((functions & 16) == 0 && (functions & 2) == 0)) ||
    fail "the window may be maximized or resized (Motif hints $hints)"
(((functions & 8) != 0 && (functions & 32) != 0)) || fail "the window lacks minimize or close ($hints)"
xprop -id "$win" WM_NORMAL_HINTS >"$work/sizes"
least=$(sed -n 's/.*minimum size: //p' "$work/sizes")
largest=$(sed -n 's/.*maximum size: //p' "$work/sizes")
[ -n "$least" ] && [ "$least" = "$largest" ] || fail "the window's size is not fixed: $(cat "$work/sizes")"
echo "the window: $least, minimize and close only"
xdotool windowfocus --sync "$win"
xdotool key alt+r # &Reference
quoted='HH.exe \"C:\\Program Files\\BVTerm\\BVTermHelp.chm\"'
started() { grep -qF "$quoted" "$work/trace"; }
wait_for started || {
    grep -i "hh.exe" "$work/trace" >&2 || true
    fail "Reference did not start HH.exe with the quoted path"
}
# The program by its full path in the Windows folder, never a bare HH.exe that the search
# would first look for beside bvterm.exe and in the current folder.
grep -i "hh.exe" "$work/trace" | grep -qiF 'app L"C:\\windows\\hh.exe"' || {
    grep -i "hh.exe" "$work/trace" >&2 || true
    fail "Reference did not start hh.exe by its full path in the Windows folder"
}
echo "Reference started: $(grep -oF "$quoted" "$work/trace" | head -n1)"

# The chart opens as a window of its own: not one the terminal owns (a transient of it), which
# would be kept above the terminal.
xdotool windowfocus --sync "$win"
xdotool key ctrl+g
chart() { window_of '^Chart of Readings$' >"$work/chart"; [ -s "$work/chart" ]; }
wait_for chart || fail "Ctrl+G showed no chart"
if xprop -id "$(cat "$work/chart")" WM_TRANSIENT_FOR | grep -q 'window id'; then
    fail "the chart is a transient of another window: $(xprop -id "$(cat "$work/chart")" WM_TRANSIENT_FOR)"
fi
echo "the chart: a window of its own"

wine taskkill /f /im bvterm.exe >/dev/null 2>&1 || true
wine taskkill /f /im hh.exe >/dev/null 2>&1 || true
wait "$terminal" 2>/dev/null || true
terminal=
wineserver --wait

wine "$folder/uninstall.exe" /S
wineserver --wait
while read -r file; do
    [ ! -e "$folder/$file" ] || fail "the uninstaller left $file"
done <"$work/installed"
[ ! -e "$folder/uninstall.exe" ] || fail "the uninstaller left itself"
[ ! -e "$menu" ] || fail "the uninstaller left the Start-menu entry"
! wine reg query "$key" >/dev/null 2>&1 || fail "the uninstaller left $key"
# What the user put there stays, and with it the folder.
[ -f "$folder/BVTermHelp.chm" ] || fail "the uninstaller removed the help file it did not install"
[ -z "$(ls -A "$folder" | grep -v '^BVTermHelp\.chm$')" ] || fail "the uninstaller left: $(ls -A "$folder")"
rm -rf "$folder"
echo "installed, started, Reference, uninstalled silently: all as expected"

# Page by page, with Enter on each page's default button: Next on the welcome page, Install on
# the folder page, Next once the progress page says it has completed, Finish with "Run BVTerm"
# ticked. A key that comes while a button is disabled does nothing, so Enter is pressed until
# the setup has gone.
wine "$installer" &
setup=$!
setup_window() { window_of "^BVTerm $version Setup\$" >"$work/setup"; [ -s "$work/setup" ]; }
wait_for setup_window || fail "the setup showed no window"
presses=0
while kill -0 "$setup" 2>/dev/null && [ "$presses" -lt 200 ]; do
    xdotool key --window "$(cat "$work/setup")" Return 2>/dev/null || true
    presses=$((presses + 1))
    sleep 0.3
done
wait "$setup" || fail "the setup ended with a failure"
[ -f "$folder/bvterm.exe" ] || fail "the setup, page by page, installed no bvterm.exe"
wait_for window || fail "\"Run BVTerm\" did not start the program"
echo "installed page by page; Run BVTerm started it"
wine taskkill /f /im bvterm.exe >/dev/null 2>&1 || true
wineserver --wait
wine "$folder/uninstall.exe" /S
wineserver --wait
[ ! -e "$folder" ] || fail "the uninstaller left $folder: $(ls -A "$folder")"
echo "installed, started, Reference, uninstalled, through the pages too: all as expected"
