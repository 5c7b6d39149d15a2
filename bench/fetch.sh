#!/usr/bin/env bash
# Remote fetch benchmark: `corvane fetch` of every data package of a store
# served by nginx on loopback, beside curl fetching the same package files
# from the same server with xargs -P, in the same run, once with the fetched
# files on a disk and once on tmpfs (a flush costs nothing on tmpfs, so only
# the disk shows what durability costs).
#
#   bench/fetch.sh                          # 320 MiB store, 8 threads
#   CORVANE_BENCH_MIB=64 bench/fetch.sh     # quick run
#
# Environment:
#   CORVANE_BENCH_MIB       size of the packed content (default 320)
#   CORVANE_BENCH_THREADS   threads of corvane fetch and curl's parallelism (default 8)
#   CORVANE_BENCH_RUNS      runs of each, taken in turns; times are their medians (default 3)
#   CORVANE_BENCH_DIR       work directory for the tree, the store and nginx
#                           (default: a new one under /tmp, removed at the end)
#   CORVANE_BENCH_DISK      directory on a disk for the fetched files (default /var/tmp)
#   CORVANE_BENCH_TMPFS     directory on tmpfs for the fetched files (default /dev/shm);
#                           either may be set empty to skip it
#   CORVANE_BIN             the corvane executable (default build/bin/corvane)
# Reports, for each target, the file system type, throughput of both, their
# ratio, CPU time per MiB and peak resident memory of corvane fetch.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
size_mib=${CORVANE_BENCH_MIB:-320}
threads=${CORVANE_BENCH_THREADS:-8}
runs=${CORVANE_BENCH_RUNS:-3}
corvane=${CORVANE_BIN:-$here/build/bin/corvane}
nginx=/usr/sbin/nginx

for tool in curl python3 xargs /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "fetch.sh: $tool is needed" >&2; exit 1; }
done
[ -x "$nginx" ] || { echo "fetch.sh: nginx is needed at $nginx" >&2; exit 1; }
[ -x "$corvane" ] || { echo "fetch.sh: no corvane at $corvane (build it, or set CORVANE_BIN)" >&2; exit 1; }

if [ -n "${CORVANE_BENCH_DIR:-}" ]; then
    work=$CORVANE_BENCH_DIR
    mkdir -p "$work"
else
    work=$(mktemp -d /tmp/corvane-fetch-XXXXXX)
fi
targets=()
for t in "${CORVANE_BENCH_DISK-/var/tmp}" "${CORVANE_BENCH_TMPFS-/dev/shm}"; do
    if [ -n "$t" ]; then
        mkdir -p "$t"
        targets+=("$(mktemp -d "$t/corvane-fetch-XXXXXX")")
    fi
done
[ ${#targets[@]} -gt 0 ] || { echo "fetch.sh: no target directory" >&2; exit 1; }
nginx_pid=
cleanup() {
    for t in "${targets[@]}"; do
        rm -rf "$t"
    done
    if [ -n "$nginx_pid" ]; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    if [ -z "${CORVANE_BENCH_DIR:-}" ]; then
        rm -rf "$work"
    fi
}
trap cleanup EXIT
rm -rf "$work/tree" "$work/store" "$work/nginx"
mkdir -p "$work/tree" "$work/cwd" "$work/nginx"

now() { date +%s.%N; }
secs() { python3 -c "import sys; print('%.3f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$2"; }
calc() { python3 -c "import sys; print('%.3f' % eval(sys.argv[1]))" "$1"; }
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
bytes_of() { find "$1" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}'; }
package_bytes_of() { find "$1" -type f -name '*.dat' -printf '%s\n' | awk '{s += $1} END {print s + 0}'; }

# Content that does not compress, so the packages are as large as the tree:
# files of 256 KiB to 8 MiB, written in a fixed pseudo-random order of sizes.
echo "writing a ${size_mib} MiB tree in $work/tree ..."
python3 - "$work/tree" $((size_mib * 1024 * 1024)) <<'PY'
import os, random, sys
root, target = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
total, i = 0, 0
while total < target:
    size = min(rng.choice([256, 512, 1024, 2048, 4096, 8192]) * 1024, target - total)
    d = os.path.join(root, 'd%02d' % (i % 16))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, 'f%05d.bin' % i), 'wb') as f:
        f.write(os.urandom(size))
    total += size
    i += 1
PY

echo "packing ..."
(cd "$work/cwd" && "$corvane" pack --root "$work/tree" --store "$work/store" --version 1 --level 0 >/dev/null) || {
    echo "fetch.sh: corvane pack failed (its message above says why and where its log is)" >&2
    exit 1
}
rm -rf "$work/tree"
store_bytes=$(package_bytes_of "$work/store/dat")
packages=$(find "$work/store/dat" -name '*.dat' | wc -l)
echo "store: $packages packages, $store_bytes bytes"

port=$(python3 -c "import socket; s=socket.socket(); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])")
. "$here/bench/bench_nginx.sh"
bench_nginx_conf "$work/nginx" "$work/store" "$port" 2 off on
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/idx/_lastver" && break
    sleep 0.05
done
base="http://127.0.0.1:$port"

# Warm the page cache for every run alike.
cat $(find "$work/store" -type f) >/dev/null
(cd "$work/store" && find dat -name '*.dat') >"$work/packages.list"
mib=$(calc "$store_bytes / 1048576")
summary=()

run_target() { # directory that receives the fetched files
    local dir=$1 fstype
    fstype=$(stat -f -c %T "$dir")
    cat >"$dir/remote.cfg" <<CFG
{
  "global": { "local": 1, "remote": 1, "threadcount": $threads },
  "local": { "dir": "$dir/cache" },
  "remote": { "count": 1, "0": { "url": "$base", "dir": "$dir/cache", "cache": 1 } }
}
CFG

    echo
    echo "== fetched files in $dir ($fstype), $runs runs"
    local run t0 t1 fetched curl_bytes corvane_times=() curl_times=()
    for run in $(seq "$runs"); do
        # Each tool's earlier copy is deleted (and the deletion synced) right
        # before its own run, so neither pays for freeing the other's files.
        rm -rf "$dir/cache"
        sync
        t0=$(now)
        (cd "$work/cwd" && /usr/bin/time -f '%U %S %M' -o "$dir/corvane.time" \
            "$corvane" fetch --config "$dir/remote.cfg" --threads "$threads" >"$dir/fetch.out") || {
            echo "fetch.sh: corvane fetch failed (its message above says why and where its log is)" >&2
            exit 1
        }
        t1=$(now)
        corvane_times+=("$(secs "$t0" "$t1")")
        fetched=$(package_bytes_of "$dir/cache/dat")
        [ "$fetched" = "$store_bytes" ] || { echo "fetch.sh: fetched $fetched bytes, store has $store_bytes" >&2; exit 1; }

        rm -rf "$dir/curl"
        mkdir -p "$dir/curl"
        sync
        t0=$(now)
        (cd "$dir/curl" && /usr/bin/time -f '%U %S %M' -o "$dir/curl.time" \
            xargs -P "$threads" -I{} curl -s --create-dirs -o "{}" "$base/{}" <"$work/packages.list")
        t1=$(now)
        curl_times+=("$(secs "$t0" "$t1")")
        curl_bytes=$(package_bytes_of "$dir/curl/dat")
        [ "$curl_bytes" = "$store_bytes" ] || { echo "fetch.sh: curl fetched $curl_bytes bytes" >&2; exit 1; }
        echo "run $run: corvane ${corvane_times[-1]} s, curl ${curl_times[-1]} s"
    done
    local corvane_s curl_s
    corvane_s=$(median "${corvane_times[@]}")
    curl_s=$(median "${curl_times[@]}")

    local c_user c_sys c_rss k_user k_sys
    read -r c_user c_sys c_rss <"$dir/corvane.time"
    read -r k_user k_sys _ <"$dir/curl.time"
    echo "packages:                   $packages ($mib MiB); medians, CPU and memory of the last run"
    echo "corvane fetch:              $corvane_s s, $(calc "$mib / $corvane_s") MiB/s"
    echo "curl (xargs -P$threads):          $curl_s s, $(calc "$mib / $curl_s") MiB/s"
    echo "throughput corvane / curl:  $(calc "$curl_s / $corvane_s")"
    echo "corvane CPU per MiB:        $(calc "($c_user + $c_sys) * 1000 / $mib") ms (user $c_user s, sys $c_sys s)"
    echo "curl CPU per MiB:           $(calc "($k_user + $k_sys) * 1000 / $mib") ms"
    echo "corvane peak RSS:           $(calc "$c_rss / 1024") MiB"
    summary+=("$(printf '%-8s %-40s corvane %6.1f MiB/s  curl %6.1f MiB/s  ratio %s' "$fstype" "$dir" \
        "$(calc "$mib / $corvane_s")" "$(calc "$mib / $curl_s")" "$(calc "$curl_s / $corvane_s")")")
    rm -rf "$dir/cache" "$dir/curl"
}

for t in "${targets[@]}"; do
    run_target "$t"
done
echo
echo "summary ($mib MiB, $threads threads):"
printf '  %s\n' "${summary[@]}"
