#!/usr/bin/env bash
# The file prompt in Windows' own dialog under Wine, typed into through the X server as a user
# types (xdotool): a whole path typed without an extension lands where it was typed, with
# ".txt" added, and the stream file is made there.
#   check-file-prompt.sh PROBE.exe EMULATOR [ARGS...]
# Runs in the Wine prefix and on the display that scripts/test-windows.sh set up.
set -euo pipefail
probe=$1
shift
work=$(mktemp -d)
prober=
cleanup() {
    [ -z "$prober" ] || kill "$prober" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/check-common.sh"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# The platform's own windows and dialogs, not the offscreen ones of the other tests.
unset QT_QPA_PLATFORM

mkdir -p "$work/typed"
"$@" "$probe" "$(windows_path "$work/result")" &
prober=$!
dialog() {
    xdotool search --onlyvisible --name '^Please enter a file name$' >"$work/dialog" 2>/dev/null
}
wait_for dialog || fail "no file prompt appeared"
xdotool windowfocus --sync "$(head -n1 "$work/dialog")"
typed=$(windows_path "$work/typed/mylog")
xdotool type --delay 30 "$typed"
xdotool key Return
wait_for test -s "$work/result" || fail "the prompt did not return"
wait "$prober" || true
prober=

want="$typed.txt"
[ "$(head -n1 "$work/result")" = "$want" ] ||
    fail "the prompt returned $(head -n1 "$work/result"), not $want; told: $(tail -n +2 "$work/result")"
[ -f "$work/typed/mylog.txt" ] || fail "no stream file $want was made"
echo "typed $typed, streaming to $want"
