#!/usr/bin/env bash
# The one command that builds everything and runs every test on a fresh machine.
#   scripts/test.sh            setup, configure, build, run all tests
#   BUILD_DIR=... scripts/test.sh   use another build directory
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
JOBS=${JOBS:-$(nproc)}

bash scripts/setup-deps.sh

cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_TEST_BUILD=ON
cmake --build "$BUILD_DIR" -j "$JOBS"

cd "$BUILD_DIR"
ctest --output-on-failure -j "$JOBS" --timeout 600
