#!/bin/sh
# Long random walks through the library in the real window, each held
# against a model of what the files must hold (see
# tests/widgets/tst_librarywalk.cpp).
#
#   scripts/explore.sh 1-100 1000    seeds 1 to 100, 1000 steps each
#   scripts/explore.sh 17 300        replays seed 17 for 300 steps
#
# Uses the build in build/ (scripts/build.sh makes it). It runs in a network
# namespace of its own (scripts/loopback-only.sh), so the window's
# announcement port 11000 does not clash with a suite running beside it.
# A failure prints its seed and the steps that led to it; the script ends
# with "explore: N steps, N passed, N failed".
set -eu
cd "$(dirname "$0")/.."
# Everything below runs where nothing can leave this machine.
[ -n "${TAVIK_LOOPBACK_ONLY:-}" ] || exec scripts/loopback-only.sh "$0" "$@"
seeds="${1:-1-20}"
steps="${2:-1000}"

case "$seeds" in
*-*) seeds=$(seq -s ' ' "${seeds%-*}" "${seeds#*-}") ;;
*) seeds=$(echo "$seeds" | tr ',' ' ') ;;
esac

log=$(mktemp)
# A copy, so that rebuilding while a campaign runs does not change it.
walker=$(mktemp)
cp build/tests/tst_librarywalk "$walker"
chmod +x "$walker"
trap 'rm -f "$log" "$walker"' EXIT
passed=0
failed=0
for seed in $seeds; do
    if TAVIK_WALK_SEEDS="$seed" TAVIK_WALK_STEPS="$steps" QT_QPA_PLATFORM=offscreen \
        QT_LOGGING_RULES=default.debug=false "$walker" >"$log" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "seed $seed:"
        grep -v -E "^(QDEBUG|QWARN|PASS|Config|\*\*\*)" "$log" || cat "$log"
    fi
done
echo "explore: $((steps * (passed + failed))) steps, $passed passed, $failed failed"
[ "$failed" -eq 0 ]
