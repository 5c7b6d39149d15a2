#!/usr/bin/env bash
# Builds every fuzz target with libFuzzer (clang) and runs each for SECONDS
# (default 60) starting from its committed corpus.
#   scripts/fuzz.sh [SECONDS]
# New inputs go to build-fuzz/corpus/<target>; crashing inputs to
# build-fuzz/artifacts/ (add each one to the committed corpus once fixed).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
SECS=${1:-60}
BUILD_DIR=${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}

bash scripts/setup-deps.sh >/dev/null
# Undefined behaviour is a finding like a crash, not a warning to read past.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCORVANE_FUZZ=ON -DCORVANE_TEST_BUILD=OFF >/dev/null
cmake --build "$BUILD_DIR" --target fuzzers -j "${JOBS:-$(nproc)}"

mkdir -p "$BUILD_DIR/artifacts" "$BUILD_DIR/corpus"
failed=0
ran=0
while IFS= read -r corpus; do
    target=$(basename "$corpus")
    exe=$(find "$BUILD_DIR" -type f -name "$target" -perm -u+x | head -n 1)
    if [ -z "$exe" ]; then
        echo "fuzz: no executable for $target" >&2
        failed=$((failed + 1))
        continue
    fi
    work="$BUILD_DIR/corpus/$target"
    mkdir -p "$work"
    cp -n "$corpus"/* "$work"/ 2>/dev/null || true
    echo "fuzz: $target for ${SECS}s"
    if ! (cd "$BUILD_DIR" && "$exe" -max_total_time="$SECS" -timeout=10 -rss_limit_mb=4096 \
            -artifact_prefix="$BUILD_DIR/artifacts/$target-" -print_final_stats=1 "$work" \
            >"$BUILD_DIR/artifacts/$target.log" 2>&1); then
        echo "fuzz: $target FAILED, see $BUILD_DIR/artifacts/$target.log" >&2
        tail -n 40 "$BUILD_DIR/artifacts/$target.log" >&2
        failed=$((failed + 1))
    else
        grep -E "^stat::number_of_executed_units" "$BUILD_DIR/artifacts/$target.log" | sed "s/^/fuzz: $target /" || true
    fi
    ran=$((ran + 1))
done < <(find "$ROOT/Common" "$ROOT/ToolsIntegrate" -type d -path '*/fuzz/corpus/fuzz_*' 2>/dev/null | sort)

echo "fuzz: $((ran - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
