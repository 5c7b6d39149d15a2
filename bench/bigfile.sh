#!/usr/bin/env bash
# Peak memory of a full install of a version that holds one big file: packs a
# store with that file and a few hundred small ones, serves it with nginx on
# loopback (where data arrives fastest, so any buffering shows most), installs
# it with orvelsync into an empty working path and prints the peak resident
# memory of orvelsync (/usr/bin/time) against the goal of 200 MiB, with the
# time and the bytes nginx sent. The installed tree must equal the packed one.
# Everything lives on disk under bench/out/ (not tmpfs, which would count the
# files themselves as memory) and is removed at the end.
#
#   bench/bigfile.sh                                 # one 2 GB file, mixed content
#   CORVANE_BIG_BYTES=200000000 bench/bigfile.sh     # quick run
#
# Environment:
#   CORVANE_BIG_BYTES   size of the big file (default 2000000000)
#   CORVANE_BIG_KIND    mixed: 1 MiB blocks alternately random and text (base64 of
#                       random bytes, which zstd shrinks by about a quarter);
#                       random: incompressible throughout (default mixed)
#   CORVANE_BIG_LEVEL   store level (default 5)
#   CORVANE_BIG_TIMEOUT seconds the pack or the install may take (default 1800)
#   CORVANE_BUILD_DIR   as for bench/sync.sh (default: build/, brought up to date)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
big_bytes=${CORVANE_BIG_BYTES:-2000000000}
kind=${CORVANE_BIG_KIND:-mixed}
level=${CORVANE_BIG_LEVEL:-5}
limit=${CORVANE_BIG_TIMEOUT:-1800}
goal_mib=200
nginx=/usr/sbin/nginx

case "$kind" in mixed | random) ;; *) echo "bigfile.sh: CORVANE_BIG_KIND is mixed or random, not $kind" >&2 && exit 2 ;; esac
[ -x "$nginx" ] || { echo "bigfile.sh: nginx is needed at $nginx" >&2; exit 1; }
for tool in curl python3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "bigfile.sh: $tool is needed" >&2; exit 1; }
done

if [ -n "${CORVANE_BUILD_DIR:-}" ]; then
    bin=$(cd "$CORVANE_BUILD_DIR" && pwd)/bin
else
    echo "bringing build/ up to date (corvane, orvelsync, the library) ..."
    [ -f "$here/build/CMakeCache.txt" ] || cmake -S "$here" -B "$here/build" -G Ninja >/dev/null
    cmake --build "$here/build" -j 2 --target corvane orvelsync PemCorvaneX64 >/dev/null
    bin=$here/build/bin
fi

mkdir -p "$here/bench/out"
work=$(mktemp -d "$here/bench/out/bigfile-XXXXXX")
nginx_pid=
cleanup() {
    if [ -n "$nginx_pid" ]; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fs=$(stat -f -c %T "$work")
[ "$fs" != tmpfs ] || { echo "bigfile.sh: $work is on tmpfs; the files would count as memory" >&2; exit 1; }
# The tree, the store and the install: about three times the file, and some.
need_kib=$((big_bytes * 3 / 1024 + 1048576))
free_kib=$(df -Pk "$work" | awk 'NR == 2 {print $4}')
[ "$free_kib" -ge "$need_kib" ] || {
    echo "bigfile.sh: $work has $((free_kib / 1024)) MiB free, needs $((need_kib / 1024)) MiB" >&2
    exit 1
}

echo "writing a $kind file of $big_bytes bytes and 300 small files in $work/tree ($fs) ..."
python3 - "$work/tree" "$big_bytes" "$kind" <<'PY'
import base64
import os
import sys
root, size, kind = sys.argv[1], int(sys.argv[2]), sys.argv[3]
os.makedirs(os.path.join(root, 'data'))
block = 1 << 20
with open(os.path.join(root, 'data', 'big.bin'), 'wb') as f:
    left, i = size, 0
    while left > 0:
        n = min(block, left)
        if kind == 'mixed' and i % 2:
            chunk = base64.b64encode(os.urandom(n))[:n]
        else:
            chunk = os.urandom(n)
        f.write(chunk)
        left -= n
        i += 1
for i in range(300):
    sub = os.path.join(root, 'small', 'd%02d' % (i % 10))
    os.makedirs(sub, exist_ok=True)
    with open(os.path.join(sub, 'f%03d.txt' % i), 'wb') as f:
        f.write(('line %d of a small file\n' % i).encode() * (1 + i * 7))
PY

echo "packing at level $level ..."
mkdir -p "$work/cwd"
t0=$(date +%s.%N)
(cd "$work/cwd" && timeout "$limit" "$bin/corvane" pack --root "$work/tree" --store "$work/store" --version 1 \
    --level "$level" --threads 2 >"$work/pack.out") || {
    echo "bigfile.sh: corvane pack failed:" >&2
    cat "$work/pack.out" >&2
    exit 1
}
echo "packed in $(python3 -c "import sys, time; print('%.1f' % (time.time() - float(sys.argv[1])))" "$t0") s;" \
    "store: $(du -sb "$work/store" | cut -f1) bytes"

port=$(python3 -c "import socket; s=socket.socket(); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])")
mkdir -p "$work/nginx"
. "$here/bench/bench_nginx.sh"
bench_nginx_conf "$work/nginx" "$work/store" "$port" 1 on on
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
for _ in $(seq 200); do
    curl -sf -o /dev/null "http://127.0.0.1:$port/idx/_lastver" && break
    sleep 0.05
done
curl -sf -o /dev/null "http://127.0.0.1:$port/idx/_lastver" || { echo "bigfile.sh: nginx did not start" >&2; exit 1; }
: >"$work/nginx/access.log"

echo "installing with orvelsync ..."
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
mkdir -p "$work/wp"
sync
t0=$(date +%s.%N)
/usr/bin/time -f '%M' -o "$work/time.out" timeout "$limit" "$bin/orvelsync" get-latest --app-dir "$work/app" \
    --work-path "$work/wp" --server "http://127.0.0.1:$port" --quiet --yes >"$work/sync.out" 2>&1 || {
    echo "bigfile.sh: orvelsync failed or took more than $limit s:" >&2
    cat "$work/sync.out" >&2
    exit 1
}
secs=$(python3 -c "import sys, time; print('%.1f' % (time.time() - float(sys.argv[1])))" "$t0")
peak_kib=$(tail -n 1 "$work/time.out")
read -r sent requests <<<"$(awk '{s += $3; n++} END {printf "%.0f %d\n", s, n}' "$work/nginx/access.log")"

# Exactly the tree packed: the same files, the same bytes.
(cd "$work/tree" && find . -type f | sort) >"$work/want.list"
(cd "$work/wp" && find . -type f | sort) >"$work/got.list"
cmp -s "$work/want.list" "$work/got.list" || {
    echo "bigfile.sh: the installed tree holds other files than the packed one:" >&2
    diff "$work/want.list" "$work/got.list" | head -20 >&2
    exit 1
}
diff -r -q "$work/tree" "$work/wp" >&2 || { echo "bigfile.sh: the installed files differ from the packed ones" >&2; exit 1; }

peak_mib=$((peak_kib / 1024))
echo
echo "full install of one $kind file of $big_bytes bytes and 300 small files, from nginx on loopback:"
echo "  time $secs s; nginx sent $sent bytes in $requests requests; the tree is exact"
echo "  orvelsync peak RSS: $peak_mib MiB (goal <= $goal_mib MiB: $([ "$peak_mib" -le $goal_mib ] && echo met || echo MISSED))"
echo "  load average (1, 5, 15 min) at the start: $load_start; at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
