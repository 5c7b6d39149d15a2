#!/usr/bin/env bash
# Pictures of the launcher's window states and of the dialogs, from the real
# widgets under the offscreen platform, into build/screenshots (or $1).
# The window states come from the launcher's own start-up against a real store
# and nginx (orvel_launcher_test), each picture checked as it is saved: the
# window's size and more than a handful of colours. Fails when one is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "${JOBS:-$(nproc)}" --target orvel_launcher_test orvel_switch_dialogs_test \
    orvel_preload_reconcile_gui_test corvane PemCorvaneX64 >/dev/null
export ORVEL_SCREENSHOT_DIR=$out QT_QPA_PLATFORM=offscreen
build/tests/orvel_launcher_test --gtest_brief=1
build/tests/orvel_switch_dialogs_test --gtest_brief=1
build/tests/orvel_preload_reconcile_gui_test --gtest_brief=1

window_states=(first_start_settings idle_update_offered download_in_progress update_complete notice_overlay
               log_overlay_failure limited_mode repair_only main_window_zh_CN interrupted_update check_offline)
missing=0
for name in "${window_states[@]}"; do
    if [ ! -s "$out/$name.png" ]; then
        echo "screenshots: $out/$name.png is missing" >&2
        missing=1
    fi
done
ls -1 "$out"/*.png
exit $missing
