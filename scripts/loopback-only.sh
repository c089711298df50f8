#!/bin/sh
# Runs a command where it can send nothing beyond this machine: in a network
# namespace of its own in which only the loopback link is up. A test machine
# may sit on a network where an address a test thinks unused belongs to
# somebody's equipment; there, nothing of ours can reach it.
#
#   scripts/loopback-only.sh COMMAND [ARGUMENT ...]
#   scripts/loopback-only.sh -q COMMAND ...     without the line that says so
#
# Where the machine gives no namespaces (no privilege for them, or no `ip`),
# the command runs as it is, after a one-line warning. Inside, the variable
# TAVIK_LOOPBACK_ONLY is set, so that a script calling this again, or a
# second time, does not nest.
set -eu
quiet=""
if [ "${1:-}" = "-q" ]; then
    quiet=1
    shift
fi
[ "$#" -gt 0 ] || { echo "usage: $0 [-q] COMMAND [ARGUMENT ...]" >&2; exit 2; }

if [ -n "${TAVIK_LOOPBACK_ONLY:-}" ]; then
    exec "$@"
fi

# Root gets a plain network namespace; another user one inside a user
# namespace of its own, where the kernel allows that.
for flags in -n -rn; do
    if command -v ip >/dev/null 2>&1 && unshare $flags true 2>/dev/null; then
        [ -n "$quiet" ] || echo "loopback-only: running in a network namespace of its own (only the loopback link is up): $1" >&2
        TAVIK_LOOPBACK_ONLY=namespace
        export TAVIK_LOOPBACK_ONLY
        exec unshare $flags sh -c 'ip link set lo up && exec "$@"' sh "$@"
    fi
done

echo "loopback-only: warning: no network namespace could be made here; running $1 on the machine's own network" >&2
TAVIK_LOOPBACK_ONLY=none
export TAVIK_LOOPBACK_ONLY
exec "$@"
