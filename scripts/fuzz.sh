#!/bin/sh
# Builds the libFuzzer targets tests/fuzz/fuzz_<name>.cpp with clang in
# build-fuzz/ and runs each, one after the other, for the given number of
# seconds (default 60) on its corpus tests/fuzz/corpus/<name>/.
#
# New interesting inputs go to build-fuzz/fuzz-new/<name>/ (merge the useful
# ones into the corpus by hand). A crash is copied into the corpus as a
# regression input, which the test suite then replays on every run; the
# script exits non-zero.
#
#   scripts/fuzz.sh 15              about 15 s per target (CI)
#   nice scripts/fuzz.sh 600        a long run
#   FUZZ_TARGETS="presets work" scripts/fuzz.sh 60
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"

missing=""
for package in clang libclang-rt-14-dev; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
if [ -n "$missing" ]; then
    as_root=""
    [ "$(id -u)" -eq 0 ] || as_root="sudo"
    $as_root apt-get update
    # shellcheck disable=SC2086
    $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi

targets="${FUZZ_TARGETS:-$(for f in tests/fuzz/fuzz_*.cpp; do basename "$f" .cpp | sed 's/^fuzz_//'; done)}"

launcher=""
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIK_FUZZ=ON $launcher >/dev/null
for target in $targets; do
    cmake --build build-fuzz -j2 --target "fuzz_$target"
done

# The targets only read bytes, but like every test they run where nothing
# can leave this machine.
scripts/loopback-only.sh true
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=""
passed=0
for target in $targets; do
    corpus="tests/fuzz/corpus/$target"
    fresh="build-fuzz/fuzz-new/$target"
    crashes="build-fuzz/fuzz-crashes/$target"
    log="build-fuzz/fuzz-$target.log"
    rm -rf "$crashes"
    mkdir -p "$corpus" "$fresh" "$crashes"
    echo "fuzz $target: $seconds s"
    status=0
    scripts/loopback-only.sh -q "build-fuzz/tests/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$crashes/" "$fresh" "$corpus" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "fuzz $target: ${runs:-?} runs, ${speed:-?} exec/s, exit $status"
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log"
        for artifact in "$crashes"/*; do
            [ -f "$artifact" ] && cp "$artifact" "$corpus/" && echo "kept $artifact in $corpus"
        done
        failed="$failed $target"
    else
        passed=$((passed + 1))
    fi
done
[ -z "$failed" ] || echo "fuzz: failures in:$failed"
echo "fuzz: $passed passed, $(echo $failed | wc -w) failed"
[ -z "$failed" ]
