#!/usr/bin/env bash
# Sets everything up (see setup.sh), builds in Release and runs the whole test suite.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
ctest --test-dir "${BVTERM_BUILD_DIR:-$top/build}" --output-on-failure --parallel 2
