#!/usr/bin/env bash
# The Windows installer under Wine, as a user meets it: installed silently, the installed
# bvterm.exe starts and its window appears, Reference starts HH.exe with the help file's quoted
# path, and the silent uninstall removes everything the installer put there, and only that.
#   check-installer.sh BUILD
# Runs in the Wine prefix and on the display that scripts/test-windows.sh set up; it waits for
# every program of the prefix to end, so it runs alone.
set -euo pipefail
build=$1
installer=$(ls "$build"/bvterm-*-windows-x64-setup.exe 2>/dev/null | head -n 1)
if [ -z "$installer" ]; then
    echo "check-installer.sh: no installer in $build; scripts/build-windows.sh makes it" >&2
    exit 1
fi
folder="$WINEPREFIX/drive_c/Program Files/BVTerm"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/BVTerm.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\BVTerm'
work=$(mktemp -d)
terminal=
cleanup() {
    [ -z "$terminal" ] || kill "$terminal" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "check-installer.sh: $*" >&2
    exit 1
}
# Waits up to 30 seconds for the check to succeed.
wait_for() {
    for _ in $(seq 300); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

[ ! -e "$folder" ] || fail "$folder exists before the installation"
wine "$installer" /S
wineserver --wait
[ -f "$folder/bvterm.exe" ] || fail "the installer put no bvterm.exe into $folder"
[ -f "$menu" ] || fail "no Start-menu entry BVTerm"
wine reg query "$key" /v DisplayName >/dev/null 2>&1 || fail "no uninstall entry $key"
(cd "$folder" && find . -type f | sort) >"$work/installed"
echo "installed: $(wc -l <"$work/installed") files"

# The help file comes from the instrument's maker; an administrator copies it in.
echo "help" >"$folder/BVTermHelp.chm"
WINEDEBUG=+process wine "C:\\Program Files\\BVTerm\\bvterm.exe" 2>"$work/trace" &
terminal=$!
window() { xdotool search --name 'Baroventis.* Terminal Ver 1\.0' >"$work/window" 2>/dev/null; }
wait_for window || fail "the installed bvterm.exe showed no window"
xdotool windowfocus --sync "$(head -n1 "$work/window")"
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
echo "installed, started, Reference, uninstalled: all as expected"
