#!/usr/bin/env bash
# Builds Quillmoor and runs every test offscreen.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
# Extra arguments after the options go to ctest (e.g. -R tst_dates).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
cmake_args=()
if [ "${1:-}" = "--sanitize" ]; then
    shift
    build=build-asan
    cmake_args+=(-DQUILLMOOR_SANITIZE=ON -DQUILLMOOR_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug)
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
    export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi

scripts/deps.sh
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja "${cmake_args[@]}"
cmake --build "$build"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure "$@"
