#!/usr/bin/env bash
# Checks the demo of run-demo.sh without a display, against the server that
# `run-demo.sh --serve-only` starts:
#   - the client-products store is served where the launcher's
#     --client-products-server points, and a configuration written from the
#     launcher's template fetches every preload pack from it;
#   - the preload table the demo's preload configuration names lists its items;
#   - a check of the deployed launcher offers the tool suite's update beside
#     the launcher's own;
#   - version 3 makes the deployed launcher update itself: orvelsync
#     self-update on a copy of it hands over to the real updater, which adds
#     the published release notes and starts the launcher again, and a second
#     run finds it current.
#   scripts/demo-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
demo=$root/build/demo
bin=$root/build/bin
tmp=$(mktemp -d)
log=$tmp/run-demo.log
serve_pid=
copy=$tmp/app

# The launcher the updater starts again runs on, detached: end it by its pid.
copy_pids() {
    find /proc -mindepth 2 -maxdepth 2 -name exe -lname "$copy/*" 2>/dev/null | cut -d/ -f3
}
cleanup() {
    for pid in $(copy_pids); do kill "$pid" 2>/dev/null || true; done
    if [ -n "$serve_pid" ]; then
        kill -TERM "$serve_pid" 2>/dev/null || true
        wait "$serve_pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    echo "demo-check: FAILED: $*" >&2
    exit 1
}
# wait_for SECONDS COMMAND...: polls COMMAND until it succeeds or time is up.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

bash scripts/run-demo.sh --serve-only >"$log" 2>&1 &
serve_pid=$!
served() { grep -q "served at" "$log" || { kill -0 "$serve_pid" 2>/dev/null || fail "run-demo.sh ended: $(tail -5 "$log")"; false; }; }
wait_for 900 served || fail "the demo server did not start"
url=$(sed -n 's/^run-demo: demo store served at //p' "$log")
echo "demo-check: demo served at $url"
export QT_QPA_PLATFORM=offscreen

# Preload: the table through the configuration the launcher will read, and the
# packs from the server the launcher is pointed at.
preload_cfg=$demo/app/_cache/config_ofs_preload.cfg
table=$("$bin/corvane" cat --config "$preload_cfg" _preloadtable.json) || fail "no preload table through $preload_cfg"
for item in 核心必备 Textures_HD Textures_LD Sounds Maps; do
    grep -q "\"$item\"" <<<"$table" || fail "preload item $item missing from the table"
done
sed -e "s#https://cdn.example.com/pkgs_editor/general_store#$url/general_store#" \
    -e "s#<%ProgramSetting%>#$tmp/clientCorvane#" \
    ToolsIntegrate/QHalvaneLauncher/core/resources/config_ofsp_vemo.cfg >"$tmp/config_ofsp.cfg"
"$bin/corvane" fetch --config "$tmp/config_ofsp.cfg" >/dev/null || fail "fetching the client-products store"
"$bin/corvane" verify --config "$tmp/config_ofsp.cfg" >/dev/null || fail "the fetched client-products store"
grep -q '"GET /general_store/dat/[^ ]* HTTP/1.1" 20[06]' "$demo/nginx/access.log" ||
    fail "nginx logged no package of /general_store/"
echo "demo-check: preload table lists its 5 items; /general_store/ served every pack"

# The deployed launcher, copied so that the demo's own stays as it is.
cp -a "$demo/app" "$copy"
# Exit code 4: a newer version is published.
rc=0
out=$("$bin/orvelsync" check --app-dir "$copy" 2>&1) || rc=$?
[ "$rc" -eq 4 ] || fail "orvelsync check exited $rc: $out"
grep -q "Launcher and resource updates available" <<<"$out" || fail "check did not offer both updates: $out"
echo "demo-check: the check offers the launcher's and the tool suite's updates"

# Into a file: the updater and the launcher it starts inherit the output.
"$bin/orvelsync" self-update --app-dir "$copy" >"$tmp/self-update.txt" 2>&1 ||
    fail "orvelsync self-update: $(cat "$tmp/self-update.txt")"
restarted() { [ -n "$(copy_pids)" ] && [ -f "$copy/launcher_release_notes.txt" ] && [ ! -e "$copy/QHalvaneLauncher_update.pkg" ]; }
wait_for 60 restarted || fail "the updater did not update and restart the launcher: $(cat "$copy"/_logs/updater_*.log 2>/dev/null)"
cmp -s "$copy/launcher_release_notes.txt" "$demo/trees/v3/editortool/qhalvanelauncher/launcher_release_notes.txt" ||
    fail "release notes differ from the published ones"
for pid in $(copy_pids); do kill "$pid" 2>/dev/null || true; done
wait_for 30 test -z "$(copy_pids)" || fail "the restarted launcher did not end"
out=$("$bin/orvelsync" self-update --app-dir "$copy" 2>&1) || fail "second orvelsync self-update: $out"
grep -q "Launcher is already the newest version" <<<"$out" || fail "the launcher is not current: $out"
echo "demo-check: version 3 updated the launcher through the updater, which started it again"
echo "demo-check: passed"
