#!/usr/bin/env bash
# The file prompt in Windows' own dialog under Wine, typed into through the X server as a user
# types (xdotool): a whole path typed without an extension lands where it was typed, with ".txt"
# added; so does a folder's path and Enter, then a name and Enter.
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
fail() {
    echo "check-file-prompt.sh: $*" >&2
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
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# The platform's own windows and dialogs, not the offscreen ones of the other tests.
unset QT_QPA_PLATFORM

unix_path() {
    local path=${1#Z:}
    printf '%s' "${path//\\//}"
}

# prompt TEXT...: starts the probe, waits for its prompt and types each TEXT followed by Enter;
# after the path of a folder, the next TEXT waits until the dialog shows that folder. Then waits
# for the probe's result.
prompt() {
    rm -f "$work/result" "$work/status"
    "${emulator[@]}" "$probe" "$(windows_path "$work/result")" "$(windows_path "$work/status")" &
    prober=$!
    dialog() { xdotool search --name '^Please enter a file name$' >"$work/dialog" 2>/dev/null; }
    wait_for dialog || fail "no file prompt appeared"
    xdotool windowactivate --sync "$(head -n1 "$work/dialog")" 2>/dev/null ||
        xdotool windowfocus --sync "$(head -n1 "$work/dialog")"
    local text folder
    for text in "$@"; do
        xdotool type --delay 30 "$text"
        xdotool key Return
        folder=$(unix_path "$text")
        if [ -d "$folder" ]; then
            shown() { grep -qixF "Z:$folder" "$work/status" 2>/dev/null; }
            wait_for shown || fail "the dialog did not go into $text"
        fi
    done
    wait_for test -s "$work/result" || fail "the prompt did not return"
    wait "$prober" || true
    prober=
}
emulator=("$@")

mkdir -p "$work/typed" "$work/out"
# A whole path, typed without an extension.
prompt "$(windows_path "$work/typed/mylog")"
want="$(windows_path "$work/typed/mylog.txt")"
[ "$(head -n1 "$work/result")" = "$want" ] ||
    fail "the prompt returned $(head -n1 "$work/result"), not $want; told: $(tail -n +2 "$work/result")"
[ -f "$work/typed/mylog.txt" ] || fail "no stream file $want was made"
echo "typed whole: $want"

# A folder's path and Enter, then a name and Enter.
prompt "$(windows_path "$work/out")" "second"
want="$(windows_path "$work/out/second.txt")"
[ "$(head -n1 "$work/result")" = "$want" ] ||
    fail "the prompt returned $(head -n1 "$work/result"), not $want; told: $(tail -n +2 "$work/result")"
[ -f "$work/out/second.txt" ] || fail "no stream file $want was made"
echo "folder, then name: $want"
