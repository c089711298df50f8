#!/bin/sh
# Proves that the tests bite: builds them against each deliberate breakage
# in scripts/mutants/*.patch and runs them; every breakage must make one of
# them fail. The chaos test runs fixed seeds. The tree as it is must pass
# first.
#
#   scripts/mutants.sh              seeds 1,2, 45 s each (what CI runs)
#   scripts/mutants.sh 5,6 60       other seeds, 60 s each
#   scripts/mutants.sh 1,2 45 lost  only the breakages whose file names hold "lost"
#
# Each patch (its first line says what it breaks; a second line
# "Tests: tst_a tst_b" names the tests that must catch it, tst_chaos when
# there is none) is applied to a copy of the working tree in
# build-mutants/tree, built there and reverted; the product sources are
# never touched. The copy keeps its build between runs,
# and the compiler cache keeps a rebuild to the files a patch changes. The
# test runs in a private network namespace when unshare allows it, so that
# the fixed device and announcement ports clash with nothing. Ends with a
# table: breakage, caught or not.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
seeds="${1:-1,2}"
seconds="${2:-45}"
only="${3:-}"
copy="$root/build-mutants/tree"
logs="$root/build-mutants/logs"
mkdir -p "$copy" "$logs"

# Files changed in the tree since they were last copied are copied again;
# a copy is dated when it is made, so that the build sees it as new.
(cd "$root" && git ls-files -z --cached --others --exclude-standard) |
    (cd "$root" && xargs -0 cp -u --parents -t "$copy")
# What patches touch is copied whatever its age: a run stopped half-way
# may have left a patch in.
sed -n 's|^+++ b/\([^	]*\).*|\1|p' "$root"/scripts/mutants/*.patch | sort -u |
    while read -r file; do cp "$root/$file" "$copy/$file"; done

if unshare -n true 2>/dev/null; then
    isolated() { unshare -n sh -c 'ip link set lo up && "$@"' sh "$@"; }
else
    isolated() { "$@"; }
fi

testsOf() {
    found=$(sed -n '2s/^Tests: //p' "$1")
    echo "${found:-tst_chaos}"
}
alltests=$(for patch in "$root"/scripts/mutants/*"$only"*.patch; do testsOf "$patch"; done | tr ' ' '\n' | sort -u | tr '\n' ' ')

build() {
    name=$1
    shift
    cmake -S "$copy" -B "$copy/build" -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >"$logs/$name.build" 2>&1 &&
        cmake --build "$copy/build" -j2 --target tavik-sim "$@" >>"$logs/$name.build" 2>&1
}

# The first of the tests that fails, or nothing when all pass.
failing() {
    name=$1
    shift
    : >"$logs/$name.run"
    for test in "$@"; do
        if [ "$test" = tst_chaos ]; then
            set -- env TAVIK_CHAOS_SEEDS="$seeds" TAVIK_CHAOS_SECONDS="$seconds" "$copy/build/tests/tst_chaos" \
                devicesAndOperatorAtRandom
        else
            set -- "$copy/build/tests/$test"
        fi
        if ! isolated env QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=default.debug=false "$@" >>"$logs/$name.run" 2>&1; then
            echo "$test"
            return
        fi
    done
}

# shellcheck disable=SC2086
if ! build unbroken $alltests; then
    echo "the unbroken tree does not build; see $logs/unbroken.build"
    exit 1
fi
# shellcheck disable=SC2086
broken=$(failing unbroken $alltests)
if [ -n "$broken" ]; then
    grep -E "FAIL" "$logs/unbroken.run" || tail -5 "$logs/unbroken.run"
    echo "the unbroken tree fails $broken; see $logs/unbroken.run"
    exit 1
fi

table=""
missed=0
for patch in "$root"/scripts/mutants/*"$only"*.patch; do
    name=$(basename "$patch" .patch)
    what=$(head -n 1 "$patch" | sed 's/^Breakage: //')
    tests=$(testsOf "$patch")
    # shellcheck disable=SC2086
    if ! (cd "$copy" && patch -p1 -s -N --no-backup-if-mismatch <"$patch" >"$logs/$name.patch" 2>&1); then
        result="does not apply"
        missed=$((missed + 1))
    elif ! build "$name" $tests; then
        result="does not build"
        missed=$((missed + 1))
    elif ! caught=$(failing "$name" $tests) || [ -z "$caught" ]; then
        result="NOT CAUGHT by $tests"
        missed=$((missed + 1))
    elif [ "$caught" = tst_chaos ]; then
        result="caught by tst_chaos: $(grep -m 1 -o 'chaos seed [0-9]* at tick.*(replay' "$logs/$name.run" | sed 's/ (replay$//')"
    else
        result="caught by $caught: $(grep -m 1 -E '^FAIL!' "$logs/$name.run" | sed 's/^FAIL!  : //' | cut -c1-160)"
    fi
    (cd "$copy" && patch -p1 -s -R --no-backup-if-mismatch <"$patch" >/dev/null 2>&1) || true
    echo "$name: $result"
    table="$table$(printf '| %s | %s |' "$what" "$result")
"
done

echo
echo "| breakage | caught by (chaos test: seeds $seeds, $seconds s each) |"
echo "|---|---|"
printf '%s' "$table"
[ "$missed" -eq 0 ]
