#!/usr/bin/env bash
# The cost of signed stores: orvelsync's full install of one release (the
# latest of bench/sync.sh's corpus) served by nginx on loopback, with the
# store's key trusted and without, alternating runs; prints the median wall
# and CPU seconds of each and their ratio. Same corpus, level and nginx
# set-up as bench/sync.sh's full install.
#
#   bench/trust.sh                       # 5 runs each into /dev/shm
#   CORVANE_TRUST_RUNS=9 CORVANE_TRUST_TARGET=/var/tmp bench/trust.sh
#
# Environment: CORVANE_SYNC_CORPUS (as bench/sync.sh; the release trees must
# be there already), CORVANE_SYNC_LEVEL (default 5), CORVANE_TRUST_RUNS
# (default 5), CORVANE_TRUST_TARGET (default /dev/shm), CORVANE_BUILD_DIR
# (default build/, used as it is).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
corpus=${CORVANE_SYNC_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/corvane-sync-corpus}
level=${CORVANE_SYNC_LEVEL:-5}
runs=${CORVANE_TRUST_RUNS:-5}
target=${CORVANE_TRUST_TARGET:-/dev/shm}
bin=${CORVANE_BUILD_DIR:-$here/build}/bin
tree=$(find "$corpus/trees" -mindepth 1 -maxdepth 1 -type d -name 'r*' | sort -V | tail -n 1)
[ -n "$tree" ] || { echo "trust.sh: no release tree under $corpus/trees (run bench/sync.sh once)" >&2; exit 1; }
for f in "$bin/corvane" "$bin/orvelsync"; do
    [ -x "$f" ] || { echo "trust.sh: $f is not built" >&2; exit 1; }
done

work=$(mktemp -d "$target/corvane-trust.XXXXXX")
nginx_pid=
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/nginx"
"$bin/corvane" keygen "$work/key" >/dev/null
"$bin/corvane" pack --root "$tree" --store "$work/www/store" --version 1 --level "$level" \
    --sign "$work/key" >/dev/null
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
. "$here/bench/bench_nginx.sh"
bench_nginx_conf "$work/nginx" "$work/www" "$port" 1 off on
/usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/store/idx/_lastver" && break; sleep 0.1; done

# One full install; prints "wall cpu".
install() { # trust|plain
    rm -rf "$work/app" "$work/wp"
    mkdir -p "$work/wp"
    local -a trust=()
    [ "$1" = trust ] && trust=(--trust "$work/key.pub")
    local t0 t1
    t0=$(date +%s.%N)
    /usr/bin/time -f '%U %S' -o "$work/time" "$bin/orvelsync" get-latest --app-dir "$work/app" \
        --work-path "$work/wp" --server "http://127.0.0.1:$port/store" "${trust[@]}" --quiet --yes >/dev/null 2>"$work/err" ||
        { echo "trust.sh: orvelsync failed:" >&2; cat "$work/err" >&2; exit 1; }
    t1=$(date +%s.%N)
    if [ "$1" = trust ] && ! grep -q '"trust"' "$work/app/_cache/config_ofse.cfg"; then
        echo "trust.sh: the installation does not trust the key" >&2
        exit 1
    fi
    read -r u s <"$work/time"
    python3 -c "print(f'{$t1 - $t0:.3f} {$u + $s:.3f}')"
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

plain_wall=() plain_cpu=() trust_wall=() trust_cpu=()
install plain >/dev/null # warm the page cache of the store
for ((i = 1; i <= runs; ++i)); do
    read -r w c <<<"$(install plain)"; plain_wall+=("$w") plain_cpu+=("$c")
    read -r w c <<<"$(install trust)"; trust_wall+=("$w") trust_cpu+=("$c")
done
pw=$(printf '%s\n' "${plain_wall[@]}" | median) pc=$(printf '%s\n' "${plain_cpu[@]}" | median)
tw=$(printf '%s\n' "${trust_wall[@]}" | median) tc=$(printf '%s\n' "${trust_cpu[@]}" | median)
echo "release $(basename "$tree"): $(find "$tree" -type f | wc -l) files, $(du -sh "$tree" | cut -f1), $runs runs each"
echo "full install without trust: wall ${pw}s, cpu ${pc}s"
echo "full install with trust:    wall ${tw}s, cpu ${tc}s"
python3 -c "print(f'ratio with/without: wall {$tw / $pw:.3f}x, cpu {$tc / $pc:.3f}x')"
