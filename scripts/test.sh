#!/bin/sh
# Builds and runs the whole test suite twice: in the normal build, and in a
# build with AddressSanitizer and UndefinedBehaviorSanitizer, so that a
# memory fault fails the suite even when the normal run happens to pass.
set -eu
cd "$(dirname "$0")/.."

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

scripts/build.sh build
(cd build && ctest --output-on-failure -j2)

scripts/build.sh build-asan -DTAVIK_SANITIZE=ON
(cd build-asan && ctest --output-on-failure -j2)
