#!/usr/bin/env bash
# Sets everything up (see setup.sh), builds in Release, starts the simulated instrument on
# COM 5 and then the terminal; the simulator stops when the terminal closes.
# To talk to a real instrument instead, run build/bvterm on its own (see README.md).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

"$top/build/bvterm-sim" --com 5 &
simulator=$!
trap 'kill -TERM "$simulator" 2>/dev/null || true; wait "$simulator" 2>/dev/null || true' EXIT
"$top/build/bvterm"
