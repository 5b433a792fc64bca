#!/usr/bin/env bash
# Sets everything up (see setup.sh), builds in Release and runs the whole test suite.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# Only the tests need these: the accessibility tests read the window as a screen reader does, on
# a virtual X display with a session bus and the AT-SPI bus, through Debian's python3-pyatspi;
# xdotool types into the file prompts there as a keyboard does.
BVTERM_EXTRA_PACKAGES="${BVTERM_EXTRA_PACKAGES:-} xvfb dbus at-spi2-core python3-pyatspi xdotool" \
    "$top/scripts/setup.sh"
ctest --test-dir "${BVTERM_BUILD_DIR:-$top/build}" --output-on-failure --parallel 2
