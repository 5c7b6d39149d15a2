#!/usr/bin/env bash
# Many clients behind one studio mirror: an origin nginx serving a store of one
# real release (bench/sync.sh's corpus), the mirror of scripts/mirror.sh in
# front of it, and N concurrent `orvelsync get-latest` full installs through
# the mirror, each into its own installation and working path. For each N the
# mirror starts with an empty cache. Reports the total time, the median and
# 95th percentile time of one install, the bytes the origin sent (its access
# log) against one copy of the version (its data packages, indexes and
# lists), and checks that every working path holds exactly the release
# (bench/sync_hash_tree.cpp listings compared by bench/sync_same_tree.py), or
# the script fails naming the differences.
#
#   bench/mirror.sh            # N = 1, 8 and 32
#   bench/mirror.sh 8          # one N
#
# Environment:
#   CORVANE_SYNC_CORPUS    the corpus of bench/sync.sh (default ~/.cache/corvane-sync-corpus)
#   CORVANE_MIRROR_RELEASE which release of the corpus is published (default 16)
#   CORVANE_MIRROR_TARGET  directory the working paths go to (default /var/tmp)
#   CORVANE_BUILD_DIR      a build directory with corvane, orvelsync and the library in bin/
#                          (default: build/, brought up to date first)
#   CORVANE_BENCH_DIR      work directory (default: a new one under /tmp, removed at the end)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1 8 32)
for n in "${counts[@]}"; do
    [[ $n =~ ^[1-9][0-9]*$ ]] || { echo "mirror.sh: N must be a positive count: $n" >&2; exit 2; }
done
corpus=${CORVANE_SYNC_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/corvane-sync-corpus}
release=${CORVANE_MIRROR_RELEASE:-16}
target=${CORVANE_MIRROR_TARGET:-/var/tmp}
nginx=/usr/sbin/nginx
for tool in curl python3 c++; do
    command -v "$tool" >/dev/null || { echo "mirror.sh: $tool is needed (scripts/setup-deps.sh)" >&2; exit 1; }
done

if [ -n "${CORVANE_BUILD_DIR:-}" ]; then
    bin=$(cd "$CORVANE_BUILD_DIR" && pwd)/bin
else
    echo "bringing build/ up to date (corvane, orvelsync, the library) ..."
    [ -f "$here/build/CMakeCache.txt" ] || cmake -S "$here" -B "$here/build" -G Ninja >/dev/null
    cmake --build "$here/build" -j 2 --target corvane orvelsync PemCorvaneX64 >/dev/null
    bin=$here/build/bin
fi
corvane=$bin/corvane orvelsync=$bin/orvelsync library=$bin/libPemCorvaneX64.so

if [ -n "${CORVANE_BENCH_DIR:-}" ]; then
    work=$CORVANE_BENCH_DIR
    mkdir -p "$work"
else
    work=$(mktemp -d /tmp/corvane-mirror-XXXXXX)
fi
installs=$(mktemp -d "$target/corvane-mirror-installs-XXXXXX")
origin_pid= mirror_pid=
stop() { # pid
    if [ -n "$1" ]; then
        kill "$1" 2>/dev/null || true
        wait "$1" 2>/dev/null || true
    fi
}
cleanup() {
    stop "$mirror_pid"
    stop "$origin_pid"
    rm -rf "$installs"
    [ -n "${CORVANE_BENCH_DIR:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$work/store" "$work/origin" "$work/mirror" "$work/lists" "$work/cwd"
mkdir -p "$work/origin" "$work/cwd" "$work/lists"

now() { date +%s.%N; }
free_port() { python3 -c "import socket; s=socket.socket(); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])"; }
wait_for() { # url what
    for _ in $(seq 400); do
        curl -sf -o /dev/null "$1" && return 0
        sleep 0.05
    done
    echo "mirror.sh: $2 did not start" >&2
    exit 1
}

# --- the release and its store ----------------------------------------------

echo "corpus in $corpus ..."
mapfile -t trees < <(python3 "$here/bench/sync_corpus.py" "$corpus" "$release")
tree=${trees[$((release - 1))]}
echo "packing release $release ..."
(cd "$work/cwd" && "$corvane" pack --root "$tree" --store "$work/store" --version 1 --threads 2 >/dev/null)
copy_bytes=$(find "$work/store/dat" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
files=$(find "$tree" -type f | wc -l)

echo "compiling the tree listing of bench/sync.sh ..."
c++ -O2 -std=c++17 -Wall -Wextra -I"$here/Common/Corvane/lib/include" "$here/bench/sync_hash_tree.cpp" \
    -o "$work/sync_hash_tree" -ldl -pthread
list_tree() { # dir listing_file
    (cd "$work/cwd" && "$work/sync_hash_tree" --list "$library" "$work/store" "$1" 2 >"$2") || {
        echo "mirror.sh: cannot list $1" >&2
        exit 1
    }
}
list_tree "$tree" "$work/lists/release"

# --- the origin ---------------------------------------------------------------

oport=$(free_port)
. "$here/bench/bench_nginx.sh"
bench_nginx_conf "$work/origin" "$work/store" "$oport" 1 on off
"$nginx" -p "$work/origin" -c "$work/origin/nginx.conf" -e "$work/origin/error.log" &
origin_pid=$!
wait_for "http://127.0.0.1:$oport/idx/_lastver" "the origin nginx"

# --- N installs through a cold mirror ------------------------------------------

declare -A total p50 p95 sent
for n in "${counts[@]}"; do
    stop "$mirror_pid"
    mirror_pid=
    rm -rf "$work/mirror" "$installs"/*
    mport=$(free_port)
    "$here/scripts/mirror.sh" --origin "http://127.0.0.1:$oport" --listen "127.0.0.1:$mport" \
        --cache "$work/mirror" 2>"$work/mirror.err" &
    mirror_pid=$!
    wait_for "http://127.0.0.1:$mport/idx/_lastver" "the mirror"
    # The probe above went to the origin once; count from here.
    : >"$work/origin/access.log"
    sleep 0.2

    echo "N = $n: $n concurrent installs through the mirror ..."
    t0=$(now)
    pids=()
    for ((i = 1; i <= n; ++i)); do
        (
            s=$(now)
            "$orvelsync" get-latest --yes --quiet --app-dir "$installs/app$i" --work-path "$installs/wp$i" \
                --server "http://127.0.0.1:$mport" >"$installs/out$i" 2>&1 || { echo failed >"$installs/time$i"; exit 1; }
            e=$(now)
            python3 -c "import sys; print('%.3f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$s" "$e" >"$installs/time$i"
        ) &
        pids+=($!)
    done
    failed=0
    for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
    t1=$(now)
    if [ "$failed" = 1 ]; then
        for ((i = 1; i <= n; ++i)); do
            grep -q failed "$installs/time$i" && { echo "install $i failed:" >&2; cat "$installs/out$i" >&2; }
        done
        exit 1
    fi
    for ((i = 1; i <= n; ++i)); do
        list_tree "$installs/wp$i" "$work/lists/check"
        python3 "$here/bench/sync_same_tree.py" "$work/lists/check" "$work/lists/release" "install $i of $n" || exit 1
    done
    # Every request is logged once answered; the mirror answered all of them.
    sleep 0.5
    read -r total[$n] p50[$n] p95[$n] < <(python3 - "$t0" "$t1" "$installs" "$n" <<'PY'
import statistics, sys
t0, t1, d, n = float(sys.argv[1]), float(sys.argv[2]), sys.argv[3], int(sys.argv[4])
times = sorted(float(open('%s/time%d' % (d, i)).read()) for i in range(1, n + 1))
p95 = times[min(len(times) - 1, max(0, int(round(0.95 * len(times))) - 1))]
print('%.2f %.2f %.2f' % (t1 - t0, statistics.median(times), p95))
PY
)
    sent[$n]=$(awk '{s += $3} END {print s + 0}' "$work/origin/access.log")
    echo "  every tree exact; total ${total[$n]} s, origin sent ${sent[$n]} bytes"
    rm -rf "$installs"/*
done

echo
echo "release $release: $files files; one copy of the version (packages, indexes, lists): $copy_bytes bytes"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
printf '%6s %10s %10s %10s %16s %12s\n' N total_s p50_s p95_s origin_bytes x_one_copy
for n in "${counts[@]}"; do
    printf '%6s %10s %10s %10s %16s %12s\n' "$n" "${total[$n]}" "${p50[$n]}" "${p95[$n]}" "${sent[$n]}" \
        "$(python3 -c "import sys; print('%.3f' % (int(sys.argv[1]) / int(sys.argv[2])))" "${sent[$n]}" "$copy_bytes")"
done
echo "every tree exact: yes"
