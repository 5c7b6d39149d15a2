# shellcheck shell=bash disable=SC2034,SC2154 # sourced: the caller sets and uses these
# Shared by bench/sync.sh and bench/wan.sh (sourced, never run): the build,
# the release corpus and its store, nginx and an rsync daemon on loopback, and
# the helpers that time a task, count what nginx sent and check a tree.
#
# The sourcing script sets: here (the source tree), bench_name (for messages),
# spans_wanted (versions behind the latest that updates start from). It gets:
# bin, corvane, orvelsync, library, work, trees, latest, previous, spans,
# starts, tree_new, tree_old, tarball, base (nginx), rport and rsync_url (the
# daemon), the sizes in $work/sizes, and link_pid, which cleanup also ends.
releases=${CORVANE_SYNC_RELEASES:-16}
corpus=${CORVANE_SYNC_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/corvane-sync-corpus}
level=${CORVANE_SYNC_LEVEL:-5}
hash_threads=${CORVANE_SYNC_HASH_THREADS:-2}
nginx=/usr/sbin/nginx

# Store level -> zstd level; keep in step with the table in
# Common/Corvane/lib/src/compress/CorvaneCompress.cpp.
zstd_levels=(1 1 3 3 6 6 12 12 19 19 22)
zlevel=${zstd_levels[$level]}

for tool in curl zstd tar rsync npm python3 c++ /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "$bench_name: $tool is needed (scripts/setup-deps.sh)" >&2; exit 1; }
done
[ -x "$nginx" ] || { echo "$bench_name: nginx is needed at $nginx" >&2; exit 1; }

if [ -n "${CORVANE_BUILD_DIR:-}" ]; then
    bin=$(cd "$CORVANE_BUILD_DIR" && pwd)/bin
else
    echo "bringing build/ up to date (corvane, orvelsync, the library) ..."
    [ -f "$here/build/CMakeCache.txt" ] || cmake -S "$here" -B "$here/build" -G Ninja >/dev/null
    cmake --build "$here/build" -j 2 --target corvane orvelsync PemCorvaneX64 >/dev/null
    bin=$here/build/bin
fi
corvane=$bin/corvane
orvelsync=$bin/orvelsync
library=$bin/libPemCorvaneX64.so
for f in "$corvane" "$orvelsync" "$library"; do
    [ -e "$f" ] || { echo "$bench_name: no $f" >&2; exit 1; }
done

if [ -n "${CORVANE_BENCH_DIR:-}" ]; then
    work=$CORVANE_BENCH_DIR
    mkdir -p "$work"
else
    work=$(mktemp -d /tmp/corvane-sync-XXXXXX)
fi
nginx_pid=
rsyncd_pid=
link_pid=
target_dirs=()
cleanup() {
    local pid
    for pid in "$link_pid" "$nginx_pid" "$rsyncd_pid"; do
        if [ -n "$pid" ]; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    if [ ${#target_dirs[@]} -gt 0 ]; then
        rm -rf "${target_dirs[@]}"
    fi
    if [ -z "${CORVANE_BENCH_DIR:-}" ]; then
        rm -rf "$work"
    fi
}
trap cleanup EXIT
rm -rf "$work/store" "$work/www" "$work/nginx" "$work/rsyncd" "$work/cwd" "$work/results" "$work/lists" \
    "$work/ranges"
mkdir -p "$work/www" "$work/nginx" "$work/rsyncd" "$work/cwd"

now() { date +%s.%N; }
secs() { python3 -c "import sys; print('%.3f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$2"; }
calc() { python3 -c "import sys; print('%.3f' % eval(sys.argv[1]))" "$1"; }
median() { python3 -c "import sys, statistics; print('%.3f' % statistics.median(float(v) for v in sys.argv[1:]))" "$@"; }
bytes_of() { find "$1" -type f -printf '%s\n' | awk '{s += $1} END {printf "%.0f\n", s}'; }
free_port() { python3 -c "import socket; s=socket.socket(); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])"; }
size_value() { awk -v k="$2" '$1 == k {print $2; exit}' "$1"; }
result() { echo "$1 $2" >>"$work/results"; } # key value, for the table at the end

# --- corpus and store ------------------------------------------------------

echo "corpus in $corpus ..."
mapfile -t trees < <(python3 "$here/bench/sync_corpus.py" "$corpus" "$releases")
[ ${#trees[@]} = "$releases" ] || { echo "$bench_name: the corpus has ${#trees[@]} trees" >&2; exit 1; }
latest=$releases
previous=$((releases - 1))
# The switch goes down this many versions and back (fewer when the store is short).
switch_span=$((releases > 5 ? 5 : releases - 1))
switch_to=$((latest - switch_span))
tree_new=${trees[$((latest - 1))]}
tree_old=${trees[$((previous - 1))]}
spans=()
for k in $spans_wanted; do
    if [ "$k" -ge 1 ] && [ "$k" -lt "$releases" ]; then spans+=("$k"); fi
done
[ ${#spans[@]} -gt 0 ] || { echo "$bench_name: no span below $releases releases" >&2; exit 1; }
# Versions an installation starts from: the release before, and each span's.
starts=("$previous")
for k in "${spans[@]}"; do starts+=("$((latest - k))"); done

# The tar.zst of the latest tree, from the same tree the store packs; beside
# the trees, so that it goes when they are unpacked anew.
tarball=$corpus/trees/r$(printf %02d "$latest")-zstd$zlevel.tar.zst
if [ ! -f "$tarball" ]; then
    echo "writing $(basename "$tarball") ..."
    tar -C "$tree_new" -cf - . | zstd -q -T2 -"$zlevel" -o "$tarball.part" -f
    mv "$tarball.part" "$tarball"
fi

echo "packing $releases releases at level $level ..."
for ((v = 1; v <= releases; ++v)); do
    (cd "$work/cwd" && "$corvane" pack --root "${trees[$((v - 1))]}" --store "$work/store" --version "$v" \
        --level "$level" --threads 2 >"$work/pack.out") || {
        echo "$bench_name: corvane pack failed (its message above says why and where its log is)" >&2
        exit 1
    }
    if [[ " ${starts[*]} " == *" $v "* ]]; then
        # The store as it was when version v was the latest: the same data,
        # the older pointer to the last version. An installation gets to v
        # from here.
        mkdir -p "$work/www/at/$v/idx"
        ln -s "$work/store/dat" "$work/www/at/$v/dat"
        cp "$work/store/idx/_lastver" "$work/www/at/$v/idx/_lastver"
    fi
done
ln -s "at/$previous" "$work/www/prev"
ln -s "$work/store" "$work/www/store"
ln -s "$tarball" "$work/www/release.tar.zst"
python3 "$here/bench/sync_store_sizes.py" "$work/store" "$latest" "${starts[@]}" >"$work/sizes"
own_records=$(size_value "$work/sizes" records)
own_contents=$(size_value "$work/sizes" contents)
ideal_records=$(size_value "$work/sizes" changed_records)
changed_files=$(size_value "$work/sizes" changed)
files_new=$(size_value "$work/sizes" files)
echo "release $latest: $files_new files, $(bytes_of "$tree_new") bytes; $changed_files new or changed since release $previous"

echo "compiling the hash-only baseline ..."
c++ -O2 -std=c++17 -Wall -Wextra -I"$here/Common/Corvane/lib/include" "$here/bench/sync_hash_tree.cpp" \
    -o "$work/sync_hash_tree" -ldl -pthread

# --- servers ---------------------------------------------------------------

port=$(free_port)
# One worker, so that a request's log line is written before the next
# request's: the marks below then split the log exactly. sendfile with
# tcp_nopush, as many deployments set it: such a server holds the tail of each
# answer until the client acknowledges the data before it, so a client that
# delays its acknowledgements waits 40 ms per range request here.
. "$here/bench/bench_nginx.sh"
bench_nginx_conf "$work/nginx" "$work/www" "$port" 1 on on
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
base="http://127.0.0.1:$port"

rport=$(free_port)
cat >"$work/rsyncd/rsyncd.conf" <<CONF
pid file = $work/rsyncd/rsyncd.pid
log file = $work/rsyncd/rsyncd.log
use chroot = no
uid = $(id -u)
gid = $(id -g)
[release]
    path = $tree_new
    read only = yes
CONF
rsync --daemon --no-detach --address=127.0.0.1 --port="$rport" --config="$work/rsyncd/rsyncd.conf" &
rsyncd_pid=$!
rsync_url=rsync://127.0.0.1:$rport/release/

ready=0
for _ in $(seq 200); do
    if curl -sf -o /dev/null "$base/store/idx/_lastver" && rsync "rsync://127.0.0.1:$rport/" >/dev/null 2>&1; then
        ready=1
        break
    fi
    sleep 0.05
done
[ "$ready" = 1 ] || { echo "$bench_name: nginx or rsyncd did not start" >&2; exit 1; }

# Body bytes nginx sent between two marks. A mark is a request for a missing
# file; the script waits (with a deadline) until its line is in the log.
mark() {
    local id
    id=$(date +%s%N)
    curl -s -o /dev/null "$base/_mark/$id"
    for _ in $(seq 200); do
        if grep -q "^/_mark/$id " "$work/nginx/access.log"; then
            echo "$id"
            return
        fi
        sleep 0.05
    done
    echo "$bench_name: nginx did not log mark $id" >&2
    exit 1
}
bytes_between() { # mark mark -> "bytes requests package_requests"
    awk -v a="/_mark/$1" -v b="/_mark/$2" '
        $1 == a { on = 1; next }
        $1 == b { on = 0 }
        on { s += $3; n++; if ($1 ~ /\/dat\/v[0-9]+\/[0-9]+\/[0-9]+\.dat/) d++ }
        END { printf "%.0f %d %d\n", s, n, d }' "$work/nginx/access.log"
}

# Warm the page cache for every run alike: what is served and what is compared.
find "$work/store/" "$tarball" "$tree_new" "$tree_old" -type f -exec cat {} + >/dev/null

# --- timed runs ------------------------------------------------------------

# Runs orvelsync under /usr/bin/time; prints "wall user sys peak_kib".
timed_orvelsync() { # log_name orvelsync-args...
    local name=$1 t0 t1
    shift
    t0=$(now)
    /usr/bin/time -f '%U %S %M' -o "$work/$name.time" "$orvelsync" "$@" --quiet --yes \
        >"$work/$name.out" 2>"$work/$name.err" || {
        echo "$bench_name: orvelsync $* failed:" >&2
        cat "$work/$name.out" "$work/$name.err" >&2
        exit 1
    }
    t1=$(now)
    echo "$(secs "$t0" "$t1") $(cat "$work/$name.time")"
}

# The controller's own share of a task: its log says how long the task took
# from the worker's start to the record, and how long the worker itself ran.
# Prints "task_ms worker_ms" of the last task in the installation's log.
task_times() { # app_dir
    sed -n 's/.*Task took \([0-9]*\) ms, its worker \([0-9]*\) ms.*/\1 \2/p' "$1"/_logs/orvelsync_*.log | tail -n 1
}

# Every tree a task or a baseline wrote must hold exactly its release: the
# same names (letter case aside), the same contents by the store's content
# hash, nothing missing and nothing extra. Each release's listing is made once.
# Nothing in a working path is the launcher's own: every run here gives it an
# --app-dir apart, which holds its launcher.ini, _cache and _logs.
list_tree() { # dir listing_file
    (cd "$work/cwd" && "$work/sync_hash_tree" --list "$library" "$work/store" "$1" "$hash_threads" >"$2") || {
        echo "$bench_name: cannot list $1" >&2
        exit 1
    }
}
same_tree() { # dir release_tree what
    local want
    want=$work/lists/$(basename "$2")
    if [ ! -f "$want" ]; then
        mkdir -p "$work/lists"
        list_tree "$2" "$want.part"
        mv "$want.part" "$want"
    fi
    list_tree "$1" "$work/lists/check"
    python3 "$here/bench/sync_same_tree.py" "$work/lists/check" "$want" "$3" || exit 1
}

# --- record Range reads on and off -------------------------------------------

# The installation's store configuration as --server writes it from the
# launcher's template, for a base URL; range 0 adds "range": 0 to the remote
# source, which turns record Range reads off (whole packages, cached).
write_config() { # file url range(1|0)
    python3 - "$here/ToolsIntegrate/QHalvaneLauncher/core/resources/config_ofse_vemo.cfg" "$@" <<'PY'
import json, sys
template, path, url, use_range = sys.argv[1:]
with open(template) as f:
    config = json.load(f)
for source in config['remote'].values():
    if isinstance(source, dict):
        source['url'] = url
        if use_range == '0':
            source['range'] = 0
with open(path, 'w') as f:
    json.dump(config, f, indent=4)
PY
}

# rsync -a --delete -c -z from the daemon's latest tree into dir; prints "secs bytes_received".
rsync_z() { # dir
    local t0 t1
    sync
    t0=$(now)
    rsync -a --delete -c -z --stats "$rsync_url" "$1/" >"$work/rsync-z.out"
    t1=$(now)
    echo "$(secs "$t0" "$t1")" \
        "$(sed -n 's/^Total bytes received: \([0-9,.]*\).*/\1/p' "$work/rsync-z.out" | tr -d ',.')"
}

# One orvelsync task between two marks; prints "secs bytes requests package_requests".
fetched_run() { # log_name orvelsync-args...
    local m1 m2 out t
    sync
    m1=$(mark)
    out=$(timed_orvelsync "$@")
    m2=$(mark)
    read -r t _ <<<"$out"
    echo "$t $(bytes_between "$m1" "$m2")"
}
