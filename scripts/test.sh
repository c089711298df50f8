#!/bin/sh
# Builds and runs the whole test suite twice: in the normal build, and in a
# build with AddressSanitizer and UndefinedBehaviorSanitizer, so that a
# memory fault fails the suite even when the normal run happens to pass.
# Each suite runs in a network namespace of its own with only the loopback
# link up (scripts/loopback-only.sh), so no test can send anything beyond
# this machine; the builds stay outside.
set -eu
cd "$(dirname "$0")/.."

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

scripts/build.sh build
scripts/loopback-only.sh sh -c 'cd build && ctest --output-on-failure -j2'

scripts/build.sh build-asan -DTAVIK_SANITIZE=ON
scripts/loopback-only.sh sh -c 'cd build-asan && ctest --output-on-failure -j2'
