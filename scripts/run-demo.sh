#!/usr/bin/env bash
# The launcher against a demo store on this machine, in one command:
#   scripts/run-demo.sh [--serve-only]
# Installs what the build needs, builds, packs a demo tool suite of three
# versions into a store under build/demo (version 3 also publishes a newer
# launcher) and a preload store with its client-products store, serves both
# with nginx on a free loopback port, lays out a deployed launcher (launcher,
# library and updater side by side, launcher.ini and the store and preload
# configurations pointing at the demo, a fresh working path) and starts the
# launcher with the client-products server. Ctrl-C, or closing the launcher
# (also one the updater started again), stops nginx. --serve-only leaves the
# server running for a launcher started by hand, until Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
serve_only=0
for arg in "$@"; do
    case $arg in
        --serve-only) serve_only=1 ;;
        -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "run-demo: unknown option $arg (try --help)" >&2; exit 2 ;;
    esac
done

if [ "$serve_only" = 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
run-demo: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).
  The launcher is a desktop program. Either run this from a desktop session
  (or over ssh -X), or serve the demo store here and start the launcher where
  there is a display:
      scripts/run-demo.sh --serve-only
  To see the launcher's states without a display: scripts/screenshots.sh
  (pictures in build/screenshots/), or run it on a virtual display:
      xvfb-run -a scripts/run-demo.sh
MSG
    exit 1
fi

bash scripts/setup-deps.sh
echo "run-demo: building ..."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "${JOBS:-2}" --target QHalvaneLauncher PemCorvaneX64 orvelupdater corvane \
    orvel_demo_editor >/dev/null

demo=$root/build/demo
bash scripts/demo-store.sh build "$demo"
bash scripts/demo-preload-store.sh "$demo/preload" "$root/build/bin/corvane" >/dev/null
echo "demo preload store: $demo/preload (general_store served, preloadMap read locally)"

# A deployed launcher: the three deliverables side by side and nothing else.
app=$demo/app
work=$demo/work
rm -rf "$app" "$work" "$demo/nginx"
mkdir -p "$app/_cache" "$work" "$demo/nginx"
cp build/bin/QHalvaneLauncher build/bin/libPemCorvaneX64.so build/bin/orvelupdater "$app/"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
url="http://127.0.0.1:$port"
cat >"$app/launcher.ini" <<INI
[General]
WorkPath=$work
Language=${DEMO_LANGUAGE:-en_US}
INI
# The store is signed (scripts/demo-store.sh): the launcher trusts its key.
trust=$(head -n 1 "$demo/signing.key.pub")
sed -e "s#https://cdn.example.com/pkgs_editor/trunk_editor#$url#" \
    -e "s#\"threadcount\": 16 }#\"threadcount\": 16, \"trust\": [\"$trust\"] }#" \
    ToolsIntegrate/QHalvaneLauncher/core/resources/config_ofse_vemo.cfg >"$app/_cache/config_ofse.cfg"
grep -q '"trust"' "$app/_cache/config_ofse.cfg" || { echo "run-demo: cannot add the trusted key" >&2; exit 1; }
# The launcher writes the preload configuration only when it is missing: this
# one reads the demo's preload table. The client-products configuration is
# rewritten whenever a preload starts, so its server comes on the command line.
sed "s#\./preloadMap#$demo/preload/preloadMap#" \
    ToolsIntegrate/QHalvaneLauncher/core/resources/config_ofs_preload.cfg >"$app/_cache/config_ofs_preload.cfg"
launch=("$app/QHalvaneLauncher" --client-products-server "$url/general_store")

cat >"$demo/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $demo/nginx/nginx.pid;
error_log $demo/nginx/error.log warn;
events { worker_connections 256; }
http {
    access_log $demo/nginx/access.log;
    default_type application/octet-stream;
    client_body_temp_path $demo/nginx/body;
    proxy_temp_path $demo/nginx/proxy;
    fastcgi_temp_path $demo/nginx/fastcgi;
    uwsgi_temp_path $demo/nginx/uwsgi;
    scgi_temp_path $demo/nginx/scgi;
    server {
        listen 127.0.0.1:$port;
        root $demo/store;
        location / { }
        location /general_store/ { root $demo/preload; }
    }
}
CONF
if [ "$(id -u)" = 0 ]; then sed -i "1i user root;" "$demo/nginx/nginx.conf"; fi

# The demo's launcher and updater processes, also a launcher the updater
# started again after a self-update: their programs lie in $app.
demo_pids() {
    find /proc -mindepth 2 -maxdepth 2 -name exe \( -lname "$app/QHalvaneLauncher*" -o \
        -lname "$app/orvelupdater*" \) 2>/dev/null | cut -d/ -f3
}

nginx_pid=
launcher_pid=
stop() {
    trap - EXIT INT TERM
    if [ -n "$launcher_pid" ]; then kill "$launcher_pid" 2>/dev/null || true; fi
    if [ "$serve_only" = 0 ]; then
        for pid in $(demo_pids); do kill "$pid" 2>/dev/null || true; done
    fi
    if [ -n "$nginx_pid" ]; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
        echo "run-demo: demo server stopped"
    fi
}
trap stop EXIT
trap 'stop; exit 130' INT TERM

/usr/sbin/nginx -p "$demo/nginx" -c "$demo/nginx/nginx.conf" -e "$demo/nginx/error.log" &
nginx_pid=$!
for _ in $(seq 50); do
    curl -sf -o /dev/null "$url/" -r 0-0 2>/dev/null && break
    kill -0 "$nginx_pid" 2>/dev/null || { echo "run-demo: nginx did not start (see $demo/nginx/error.log)" >&2; exit 1; }
    sleep 0.1
done
echo "run-demo: demo store served at $url"
echo "run-demo: launcher in $app, working path $work"

if [ "$serve_only" = 1 ]; then
    echo "run-demo: start the launcher yourself:  ${launch[*]}"
    echo "run-demo: Ctrl-C stops the server"
    wait "$nginx_pid"
    exit 0
fi

echo "run-demo: the launcher first offers its own update (version 3 publishes it): Yes lets the updater"
echo "run-demo: replace its files and start it again, No goes on with this one; then try Get Latest,"
echo "run-demo: Launch Tool, Version Browse, Repair Files and Preload. Ctrl-C or closing the launcher ends the demo"
"${launch[@]}" &
launcher_pid=$!
status=0
wait "$launcher_pid" || status=$?
launcher_pid=
# After a self-update the updater starts the launcher again, not this script:
# the server stays up until that launcher is closed too.
while [ -n "$(demo_pids)" ]; do sleep 1; done
exit "$status"
