#!/usr/bin/env bash
# Saves a picture of each dialog state the widget tests reach, from the real
# widgets under the offscreen platform, into build/screenshots (or $1).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
mkdir -p "$out"
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target orvel_switch_dialogs_test corvane PemCorvaneX64 >/dev/null
ORVEL_SCREENSHOT_DIR=$(cd "$out" && pwd) QT_QPA_PLATFORM=offscreen \
    build/tests/orvel_switch_dialogs_test --gtest_brief=1
cmake --build build -j "$(nproc)" --target orvel_preload_reconcile_gui_test >/dev/null
ORVEL_SCREENSHOT_DIR=$(cd "$out" && pwd) QT_QPA_PLATFORM=offscreen \
    build/tests/orvel_preload_reconcile_gui_test --gtest_brief=1
ls -1 "$out"/*.png
