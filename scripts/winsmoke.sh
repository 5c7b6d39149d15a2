#!/usr/bin/env bash
# corvane.exe under Wine as a publisher runs it: packs a small tree (nested
# folders, a non-ASCII name), verifies the store against the tree, serves the
# store with nginx on loopback and fetches it over HTTP, then verifies through
# the served store. Called by scripts/wintest.sh with its build folder and
# Wine settings; fails on the first step that does not do what it should.
set -euo pipefail
OUT=${1:?usage: winsmoke.sh BUILD_WIN_DIR}
WINE=${WINE:-/usr/lib/wine/wine64}
CORVANE=$OUT/bin/corvane.exe
WORK=$(mktemp -d "${TMPDIR:-/tmp}/corvane-winsmoke-XXXXXX")
NGINX_PID=""
cleanup() {
    if [ -n "$NGINX_PID" ]; then kill "$NGINX_PID" 2>/dev/null || true; wait "$NGINX_PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT

say() { echo "winsmoke: $*"; }
# Wine names the Unix root Z:.
win() { echo "Z:$1"; }
corvane() { "$WINE" "$CORVANE" "$@"; }

mkdir -p "$WORK/tree/bin/plugins" "$WORK/tree/docs/$(printf 'r\xc3\xa9sum\xc3\xa9')"
printf 'editor build 1\n' >"$WORK/tree/version.txt"
head -c 300000 /dev/urandom >"$WORK/tree/bin/editor.dat"
seq 1 20000 >"$WORK/tree/bin/plugins/numbers.txt"
printf 'notes\n' >"$WORK/tree/docs/$(printf 'r\xc3\xa9sum\xc3\xa9')/$(printf '\xe8\xaf\xb4\xe6\x98\x8e').txt"

say "pack"
corvane pack --root "$(win "$WORK/tree")" --store "$(win "$WORK/store")" --version 1
say "verify against the tree"
out=$(corvane verify "$(win "$WORK/store")" --version 1 --tree "$(win "$WORK/tree")")
echo "$out"
grep -q "equals .*: 4 files" <<<"$out"

# A changed file must be named.
cp -r "$WORK/tree" "$WORK/changed"
printf 'editor build 2\n' >"$WORK/changed/version.txt"
if corvane verify "$(win "$WORK/store")" --tree "$(win "$WORK/changed")" >"$WORK/differs.txt"; then
    say "verify did not notice a changed file" >&2
    exit 1
fi
grep -q "differs: version.txt" "$WORK/differs.txt"

say "serve with nginx and fetch"
mkdir -p "$WORK/nginx" "$WORK/cache"
for attempt in 1 2 3 4 5; do
    port=$((20000 + RANDOM % 20000))
    cat >"$WORK/nginx/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/error.log warn;
events { worker_connections 64; }
http {
  access_log $WORK/nginx/access.log;
  client_body_temp_path $WORK/nginx/tmp;
  proxy_temp_path $WORK/nginx/tmp;
  fastcgi_temp_path $WORK/nginx/tmp;
  uwsgi_temp_path $WORK/nginx/tmp;
  scgi_temp_path $WORK/nginx/tmp;
  server { listen 127.0.0.1:$port; root $WORK/store; }
}
CONF
    /usr/sbin/nginx -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf" -e "$WORK/nginx/error.log" &
    NGINX_PID=$!
    for _ in $(seq 1 100); do
        if [ -s "$WORK/nginx/nginx.pid" ] && (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break 2; fi
        kill -0 "$NGINX_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
    NGINX_PID=""
done
[ -n "$NGINX_PID" ] || { say "nginx did not start" >&2; cat "$WORK/nginx/error.log" >&2; exit 1; }
cat >"$WORK/remote.cfg" <<CFG
{"global": {"local": 1, "remote": 1}, "local": {"dir": "$(win "$WORK/cache")"},
 "remote": {"count": 1, "0": {"url": "http://127.0.0.1:$port", "dir": "$(win "$WORK/cache")", "cache": 1}}}
CFG
corvane fetch --config "$(win "$WORK/remote.cfg")"
grep -q "GET /dat/" "$WORK/nginx/access.log" || { say "nothing was fetched from nginx" >&2; exit 1; }
out=$(corvane verify --config "$(win "$WORK/remote.cfg")" --tree "$(win "$WORK/tree")")
echo "$out"
grep -q "equals .*: 4 files" <<<"$out"
out=$(corvane cat --config "$(win "$WORK/remote.cfg")" version.txt)
[ "$out" = "editor build 1" ] || { say "cat gave '$out'" >&2; exit 1; }
say "pack, verify and fetch under Wine: ok"
