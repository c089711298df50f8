#!/bin/sh
# A long chaos campaign: five simulated devices misbehaving at random
# against the program's device core, with an operator clicking, closing and
# holding up the program at random, one campaign per seed (see
# tests/core/tst_chaos.cpp). Run it in a private network namespace
# (unshare -n) when other programs use ports 8888 or 11000.
#
#   scripts/chaos.sh 1-20 5        seeds 1 to 20, 5 minutes each
#   scripts/chaos.sh 7,9 1         seeds 7 and 9, a minute each
#
# Uses the build in build/ (scripts/build.sh makes it). Each seed prints a
# line with its figures; a failure prints its seed, every step taken and the
# device's last trace lines, and the script ends with the totals of the seeds
# that passed (the longest time on air unsupervised of every seed) and
# "chaos: N passed, N failed".
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
summary=$(mktemp)
trap 'rm -f "$log" "$summary"' EXIT
passed=0
failed=0
for seed in $seeds; do
    if TAVIK_CHAOS_SEEDS="$seed" TAVIK_CHAOS_SECONDS=$((minutes * 60)) QT_QPA_PLATFORM=offscreen \
        QTEST_FUNCTION_TIMEOUT=$(((minutes * 60 + 300) * 1000)) \
        QT_LOGGING_RULES=default.debug=false build/tests/tst_chaos devicesAndOperatorAtRandom >"$log" 2>&1; then
        passed=$((passed + 1))
        grep "chaos seed" "$log" | tee -a "$summary" || true
    else
        failed=$((failed + 1))
        # A failed seed ran only until its failure: it counts in no total
        # but the longest time on air unsupervised.
        grep "chaos seed [0-9]*:" "$log" | sed 's/^/failed /' >>"$summary" || true
        grep -E "chaos seed|FAIL|QINFO  : .*  " "$log" || cat "$log"
    fi
done
awk '/chaos seed [0-9]+:/ {
        passed = $1 != "failed"
        for (i = 1; i <= NF; ++i) {
            if ($i == "unsupervised" && $(i + 1) + 0 > longest) longest = $(i + 1) + 0
            if (!passed) continue
            if ($i == "device-seconds,") seconds += $(i - 1)
            if ($i == "runs") runs += $(i - 1)
            if ($i == "complete,") complete += substr($(i - 1), 2)
            if ($i == "cut" && $(i + 1) == "short),") cut += $(i - 1)
        }
    }
    END { printf "chaos total of the seeds passed: %.2f device-hours, %d runs, %d complete, %d cut short; longest on air unsupervised (every seed) %d ms\n",
                 seconds / 3600, runs, complete, cut, longest }' "$summary"
echo "chaos: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
