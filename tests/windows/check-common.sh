# Sourced by the Windows checks: how they fail and how they wait.

# Ends the check with a message that names it.
fail() {
    echo "$(basename "$0"): $*" >&2
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
