#!/usr/bin/env bash
# Sets everything up (see setup.sh), builds in Release and starts the terminal.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
exec "$top/build/bvterm"
