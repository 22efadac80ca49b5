#!/usr/bin/env bash
# Builds Korvane and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
scripts/build.sh "$@"
export QT_QPA_PLATFORM=offscreen
# Sanitizer builds: abort on the first error; ignore leaks inside system libraries.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"
