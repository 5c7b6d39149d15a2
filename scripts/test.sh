#!/usr/bin/env bash
# The one command that builds everything and runs every test on a fresh machine:
#   scripts/test.sh
# 1. the release build with every test;
# 2. the same tests built with AddressSanitizer + UndefinedBehaviorSanitizer;
# 3. the concurrency tests (label "tsan") built with ThreadSanitizer;
# 4. every fuzz target for a short while on its corpus.
# Before them, every Windows-only source is compiled with the mingw-w64 cross compiler,
# and the library, corvane.exe and the library's tests are cross-built for Windows
# and run under Wine (scripts/wintest.sh; its dependencies are built once into
# build-win/deps and kept).
# CORVANE_TEST_QUICK=1 runs step 1 only (after the compile check). FUZZ_SECONDS sets step 4's time per target.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=${JOBS:-$(nproc)}
export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/scripts/tsan.supp"

step() { echo; echo "=== $* ($(date +%H:%M:%S))"; }

bash scripts/setup-deps.sh

step "Windows sources compile check"
bash scripts/wincheck.sh

if [ "${CORVANE_TEST_QUICK:-0}" != "1" ]; then
    step "Windows build of the library and its tests, run under Wine (build-win)"
    bash scripts/wintest.sh
fi

run_build() { # dir, ctest args..., -- cmake args...; BUILD_TARGET narrows the build
    local dir=$1; shift
    local ctest_args=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do ctest_args+=("$1"); shift; done
    shift || true
    cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
    (cd "$dir" && ctest --output-on-failure -j "$JOBS" --timeout 600 "${ctest_args[@]}")
}

step "release build and all tests"
run_build "$ROOT/build" -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_TEST_BUILD=ON

step "screenshots of the launcher's states (build/screenshots)"
bash scripts/screenshots.sh

if [ "${CORVANE_TEST_QUICK:-0}" = "1" ]; then
    exit 0
fi

step "AddressSanitizer + UndefinedBehaviorSanitizer build and all tests"
run_build "$ROOT/build-asan" -LE nosan -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_SANITIZE=address

step "ThreadSanitizer build and the concurrency tests"
BUILD_TARGET=tsan_tests run_build "$ROOT/build-tsan" -L tsan -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_SANITIZE=thread \
    -DCORVANE_BUILD_LAUNCHER=ON

step "fuzz targets, ${FUZZ_SECONDS:-20}s each"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}"

step "all test stages passed"
