#!/bin/sh
# A long chaos campaign: three simulated devices misbehaving at random
# against the program's device core, with an operator clicking at random,
# one campaign per seed (see tests/core/tst_chaos.cpp).
#
#   scripts/chaos.sh 1-20 5        seeds 1 to 20, 5 minutes each
#   scripts/chaos.sh 7,9 1         seeds 7 and 9, a minute each
#
# Uses the build in build/ (scripts/build.sh makes it). Each seed prints a
# line with its figures; a failure prints its seed and every step taken, and
# the script ends with "chaos: N passed, N failed".
set -eu
cd "$(dirname "$0")/.."
# Everything below runs where nothing can leave this machine.
[ -n "${TAVIK_LOOPBACK_ONLY:-}" ] || exec scripts/loopback-only.sh "$0" "$@"
seeds="${1:-1-10}"
minutes="${2:-1}"

case "$seeds" in
*-*) seeds=$(seq -s ' ' "${seeds%-*}" "${seeds#*-}") ;;
*) seeds=$(echo "$seeds" | tr ',' ' ') ;;
esac

log=$(mktemp)
trap 'rm -f "$log"' EXIT
passed=0
failed=0
for seed in $seeds; do
    if TAVIK_CHAOS_SEEDS="$seed" TAVIK_CHAOS_SECONDS=$((minutes * 60)) QT_QPA_PLATFORM=offscreen \
        QT_LOGGING_RULES=default.debug=false build/tests/tst_chaos devicesAndOperatorAtRandom >"$log" 2>&1; then
        passed=$((passed + 1))
        grep "chaos seed" "$log" || true
    else
        failed=$((failed + 1))
        grep -E "chaos seed|FAIL|QINFO  : .*  " "$log" || cat "$log"
    fi
done
echo "chaos: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
