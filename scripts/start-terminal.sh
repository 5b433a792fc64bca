#!/usr/bin/env bash
# Sets everything up (see setup.sh), builds in Release, starts the simulated instrument and,
# once it has published its port, the terminal; the simulator stops when the terminal closes.
#   scripts/start-terminal.sh [N]     the simulator is COM N, 1 to 12 (default 5)
#   BVTERM_BUILD_DIR=dir              build and run there instead of build/
# When COM N is taken (by your own alias of a device, or by another running simulator), the
# simulator says so and the script starts no terminal and names a free COM number to pass.
# To talk to a real instrument instead, run build/bvterm on its own (see README.md).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
com=${1:-5}
if [[ ! $com =~ ^[0-9]+$ ]] || ((10#$com < 1 || 10#$com > 12)); then
    echo "start-terminal.sh: the COM number is 1 to 12, not \"$com\"" >&2
    echo "usage: scripts/start-terminal.sh [N]" >&2
    exit 2
fi
com=$((10#$com))
"$top/scripts/setup.sh"
build=${BVTERM_BUILD_DIR:-$top/build}

work=$(mktemp -d)
simulator=
relay=
cleanup() {
    if [ -n "$simulator" ]; then
        kill -TERM "$simulator" 2>/dev/null || true
        wait "$simulator" 2>/dev/null || true
    fi
    if [ -n "$relay" ]; then
        wait "$relay" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The simulator's output comes through a pipe, so that the terminal starts only after the
# simulator has published its alias (its first line says so) and never when it has ended
# instead; its error output is kept as well for the advice below.
mkfifo "$work/out" "$work/err"
"$build/bvterm-sim" --com "$com" >"$work/out" 2>"$work/err" &
simulator=$!
tee "$work/errors" <"$work/err" >&2 &
exec {out}<"$work/out"
first=
if IFS= read -r first <&"$out"; then
    echo "$first"
    # The rest is shown as it comes, until the simulator ends.
    cat <&"$out" &
    relay=$!
fi
exec {out}<&-

if [[ $first != *"published as COM $com"* ]]; then
    status=0
    wait "$simulator" || status=$?
    simulator=
    wait # for the error output to be shown in full
    if ((status == 3)); then
        other=$(grep -oE -- '--com [0-9]+' "$work/errors" | head -n 1 | cut -d' ' -f2 || true)
        if [ -n "$other" ]; then
            echo "start-terminal.sh: COM $com is taken, so no terminal was started. Start with" \
                "another COM number, for example: scripts/start-terminal.sh $other" >&2
        else
            echo "start-terminal.sh: COM $com is taken and no other COM number is free, so no" \
                "terminal was started. Stop another simulator, then try again." >&2
        fi
    else
        echo "start-terminal.sh: the simulator did not start (status $status), so no terminal" \
            "was started." >&2
    fi
    exit 1
fi

"$build/bvterm"
