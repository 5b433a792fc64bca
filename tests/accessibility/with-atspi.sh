#!/usr/bin/env bash
# Runs a command the way a screen reader meets the program: on a virtual X display of its own,
# with a private session bus and the desktop's accessibility (AT-SPI) bus, and with Qt's
# accessibility bridge switched on. What is started here ends with the command.
#   with-atspi.sh COMMAND [ARGS...]
# Needs the Debian packages xvfb, dbus and at-spi2-core (scripts/run-tests.sh installs them).
set -euo pipefail

missing=()
for tool in Xvfb dbus-run-session dbus-send /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if ((${#missing[@]})); then
    echo "with-atspi.sh: missing ${missing[*]} (packages xvfb, dbus, at-spi2-core)" >&2
    exit 1
fi

if [ -z "${BVTERM_ATSPI_SESSION:-}" ]; then
    # A session bus of our own, so that nothing of a desktop the user runs is touched.
    exec env BVTERM_ATSPI_SESSION=1 dbus-run-session -- "$0" "$@"
fi

work=$(mktemp -d)
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Waits until the given check succeeds, for at most ten seconds.
wait_for() {
    for _ in $(seq 200); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

# Xvfb picks a free display number itself and writes it to the given descriptor.
Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
if ! wait_for test -s "$work/display"; then
    echo "with-atspi.sh: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

/usr/libexec/at-spi-bus-launcher --launch-immediately 2>"$work/launcher.log" &
pids+=($!)
bus_owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q "boolean true"
}
if ! wait_for bus_owned; then
    echo "with-atspi.sh: the accessibility bus did not start:" >&2
    cat "$work/launcher.log" >&2
    exit 1
fi

export QT_QPA_PLATFORM=xcb
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
status=0
"$@" || status=$?
exit "$status"
