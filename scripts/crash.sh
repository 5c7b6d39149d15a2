#!/usr/bin/env bash
# The long forms of the reliability tests, on the release build in build/:
#   scripts/crash.sh [N] [SOAK_RUNS]
# kills orvelsync (get-latest incremental and full, first install, repair,
# switch) and the updater at about N points (default 200) and checks each
# kill and its rerun; then runs SOAK_RUNS (default 100) orvelsync runs through
# a server that misbehaves on CORVANE_SOAK_SHARE percent (default 30) of its
# requests, from seed CORVANE_SOAK_SEED (default: random, printed for replay);
# then the full-disk test. scripts/test.sh runs the short forms.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
POINTS=${1:-200}
SOAK_RUNS=${2:-100}
SEED=${CORVANE_SOAK_SEED:-$((RANDOM * 32768 + RANDOM + 1))}
JOBS=${JOBS:-$(nproc)}

cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_TEST_BUILD=ON >/dev/null
cmake --build "$ROOT/build" -j "$JOBS" --target orvel_crash_test orvel_soak_test orvel_fulldisk_test

echo "=== kill points: $POINTS"
CORVANE_CRASH_POINTS=$POINTS "$ROOT/build/tests/orvel_crash_test"
echo "=== soak: $SOAK_RUNS runs from seed $SEED, ${CORVANE_SOAK_SHARE:-30}% of requests faulty"
CORVANE_SOAK_RUNS=$SOAK_RUNS CORVANE_SOAK_SEED=$SEED "$ROOT/build/tests/orvel_soak_test"
echo "=== full disk"
"$ROOT/build/tests/orvel_fulldisk_test"
