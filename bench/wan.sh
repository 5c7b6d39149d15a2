#!/usr/bin/env bash
# Wide-area benchmark: orvelsync against the plain tools through an emulated
# link (bench/wan_link.py: half the round trip each way, one bandwidth per
# direction shared by every connection), on the release corpus of
# bench/sync.sh, for each link in turn:
#   - full install of the latest release into an empty working path, beside
#     curl | zstd -d | tar -x of a tar.zst of the same tree from the same nginx;
#   - updates from 1 and 10 versions behind, beside rsync -a --delete -c -z
#     from an rsync daemon, also through the link;
#   - a repair of the intact full install, beside the same rsync of an intact
#     tree.
# Each row gives time, bytes, requests (nginx's log between two marks sent
# around the link; orvelsync's own count is in its .out), the peak memory of
# the largest process (/usr/bin/time) and the ratio to its anchor, with the
# goals: full install <= 1.2 x the pipeline, updates no slower than rsync and
# fetching <= 1.10 x the records of the files they write. Every tree written
# must hold exactly its release, or the script fails.
# rsync compares contents (-c): the corpus's files all carry one date, so its
# size-and-time check would keep changed files of the same size.
# The setup installs that updates start from go to nginx directly (loopback).
#
#   bench/wan.sh                                              # both links, 16 releases
#   CORVANE_WAN_LINKS=30/100 CORVANE_SYNC_RELEASES=4 bench/wan.sh   # quick run
#
# Environment:
#   CORVANE_WAN_LINKS     links as RTT_MS/MBIT, space-separated (default "30/100 80/20")
#   CORVANE_WAN_RUNS      timed runs of each figure, the median is printed (default 1)
#   CORVANE_WAN_SPANS     versions behind the latest that updates start from
#                         (default "1 10"; spans not below the release count are left out)
#   CORVANE_WAN_TIMEOUT   seconds one timed run may take before the script fails (default 900)
#   CORVANE_WAN_CHECK     0 skips the link's own check (bench/wan_link_check.py) before
#                         each link (default 1)
#   CORVANE_SYNC_CORPUS, CORVANE_SYNC_RELEASES, CORVANE_SYNC_LEVEL, CORVANE_BUILD_DIR,
#   CORVANE_BENCH_DIR     as for bench/sync.sh (the same corpus cache)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
bench_name=wan.sh
runs=${CORVANE_WAN_RUNS:-1}
spans_wanted=${CORVANE_WAN_SPANS:-1 10}
links=${CORVANE_WAN_LINKS:-30/100 80/20}
limit=${CORVANE_WAN_TIMEOUT:-900}
check_link=${CORVANE_WAN_CHECK:-1}
# shellcheck source=bench/sync_common.sh
. "$here/bench/sync_common.sh"

# The interpreter itself, not a wrapper script, so that its pid is the link's.
py=$(python3 -c 'import sys; print(sys.executable)')
tdir=$work/wan
mkdir -p "$tdir"
rm -f "$work/wan.results"

start_link() { # rtt_ms mbit
    local lport rlport
    lport=$(free_port)
    rlport=$(free_port)
    "$py" "$here/bench/wan_link.py" --rtt-ms "$1" --mbit "$2" "$lport=127.0.0.1:$port" "$rlport=127.0.0.1:$rport" \
        >"$work/link.out" 2>"$work/link.err" &
    link_pid=$!
    for _ in $(seq 200); do
        if grep -q '^ready$' "$work/link.out"; then
            wan=http://127.0.0.1:$lport
            rsync_url=rsync://127.0.0.1:$rlport/release/
            return
        fi
        sleep 0.05
    done
    echo "wan.sh: the link emulator did not start:" >&2
    cat "$work/link.err" >&2
    exit 1
}
stop_link() {
    kill "$link_pid" 2>/dev/null || true
    wait "$link_pid" 2>/dev/null || true
    link_pid=
}

# Runs a command under /usr/bin/time and timeout; prints "secs peak_kib".
timed() { # log_name command...
    local name=$1 t0 t1
    shift
    sync
    t0=$(now)
    /usr/bin/time -f '%M' -o "$work/$name.time" timeout "$limit" "$@" >"$work/$name.out" 2>"$work/$name.err" || {
        echo "wan.sh: $* failed or took more than $limit s:" >&2
        cat "$work/$name.out" "$work/$name.err" >&2
        exit 1
    }
    t1=$(now)
    echo "$(secs "$t0" "$t1") $(tail -n 1 "$work/$name.time")"
}
orvel() { # log_name orvelsync-args...
    local name=$1
    shift
    timed "$name" "$orvelsync" "$@" --quiet --yes
}
# orvelsync's own count of what it fetched (start-up reads included).
orvel_count() { # log_name
    cat "$work/$1.out" "$work/$1.err" | sed -n 's/^Fetched \(.*\)/\1/p' | tail -n 1
}
# The anchors, as commands for timed.
# shellcheck disable=SC2016 # the arguments expand in the inner shell
pipeline=(bash -c 'curl -sf "$1" | zstd -q -d | tar -C "$2" -xf -' pipeline)
rsync_into=(rsync -a --delete -c -z --stats)
rsync_received() { # log_name
    local n
    n=$(sed -n 's/^Total bytes received: \([0-9,.]*\).*/\1/p' "$work/$1.out" | tr -d ',.')
    echo "${n:-0}"
}

# One row: "link task tool secs bytes requests peak_kib needed".
row() { echo "$*" >>"$work/wan.results"; }

measure_link() { # rtt_ms mbit
    local link="$1ms/$2Mbit" i k from out t kib m1 m2 b n app wp dir
    echo
    echo "[$link] load average (1, 5, 15 min) at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
    start_link "$1" "$2"
    if [ "$check_link" = 1 ]; then
        # About a second of data, over one connection and over eight.
        "$py" "$here/bench/wan_link_check.py" --rtt-ms "$1" --mbit "$2" --mbytes "$(calc "$2 / 8")" |
            sed "s|^|[$link] link check: |" || {
            echo "wan.sh: the emulated link is not what was asked (see above): the machine is too busy" >&2
            exit 1
        }
    fi
    write_config "$work/cfg-link.cfg" "$wan/store" 1
    for ((i = 1; i <= runs; ++i)); do
        # Full install, then a repair of the intact result.
        app=$tdir/app-full wp=$tdir/wp-full
        rm -rf "$app" "$wp"
        mkdir -p "$wp"
        m1=$(mark)
        out=$(orvel full get-latest --app-dir "$app" --work-path "$wp" --config "$work/cfg-link.cfg")
        m2=$(mark)
        read -r t kib <<<"$out"
        read -r b n _ <<<"$(bytes_between "$m1" "$m2")"
        row "$link full orvelsync $t $b $n $kib $(size_value "$work/sizes" records)"
        echo "[$link] full install: $t s; orvelsync fetched $(orvel_count full)"
        same_tree "$wp" "$tree_new" "the full install ($link)"

        m1=$(mark)
        out=$(orvel repair repair --app-dir "$app" --config "$work/cfg-link.cfg")
        m2=$(mark)
        read -r t kib <<<"$out"
        read -r b n _ <<<"$(bytes_between "$m1" "$m2")"
        row "$link repair orvelsync $t $b $n $kib 0"
        echo "[$link] repair: $t s; orvelsync fetched $(orvel_count repair)"
        same_tree "$wp" "$tree_new" "the repaired full install ($link)"
        rm -rf "$app" "$wp"

        dir=$tdir/pipeline
        rm -rf "$dir"
        mkdir -p "$dir"
        m1=$(mark)
        out=$(timed pipeline "${pipeline[@]}" "$wan/release.tar.zst" "$dir")
        m2=$(mark)
        read -r t kib <<<"$out"
        read -r b n _ <<<"$(bytes_between "$m1" "$m2")"
        row "$link full pipeline $t $b $n $kib -"
        same_tree "$dir" "$tree_new" "the tree curl | zstd -d | tar -x wrote ($link)"
        out=$(timed rsync-intact "${rsync_into[@]}" "$rsync_url" "$dir/")
        read -r t kib <<<"$out"
        row "$link repair rsync $t $(rsync_received rsync-intact) - $kib -"
        same_tree "$dir" "$tree_new" "the intact tree after rsync ($link)"
        rm -rf "$dir"

        for k in "${spans[@]}"; do
            from=$((latest - k))
            app=$tdir/app-$k wp=$tdir/wp-$k
            rm -rf "$app" "$wp"
            mkdir -p "$wp"
            write_config "$work/cfg-at-$from.cfg" "$base/at/$from" 1
            orvel "at-$from" get-latest --app-dir "$app" --work-path "$wp" --config "$work/cfg-at-$from.cfg" \
                >/dev/null
            same_tree "$wp" "${trees[$((from - 1))]}" "the install at $from"
            m1=$(mark)
            out=$(orvel "update-$k" get-latest --app-dir "$app" --config "$work/cfg-link.cfg")
            m2=$(mark)
            read -r t kib <<<"$out"
            read -r b n _ <<<"$(bytes_between "$m1" "$m2")"
            row "$link $k orvelsync $t $b $n $kib $(size_value "$work/sizes" "written_records@$from")"
            echo "[$link] update $from -> $latest: $t s; orvelsync fetched $(orvel_count "update-$k")"
            same_tree "$wp" "$tree_new" "the update $from -> $latest ($link)"
            rm -rf "$app" "$wp"

            dir=$tdir/rsync-$k
            rm -rf "$dir"
            cp -a "${trees[$((from - 1))]}" "$dir"
            out=$(timed "rsync-$k" "${rsync_into[@]}" "$rsync_url" "$dir/")
            read -r t kib <<<"$out"
            row "$link $k rsync $t $(rsync_received "rsync-$k") - $kib -"
            same_tree "$dir" "$tree_new" "the tree rsync updated from $from ($link)"
            rm -rf "$dir"
        done
    done
    stop_link
    echo "[$link] load average (1, 5, 15 min) at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "[$link] load $(cut -d' ' -f1-3 /proc/loadavg)" >>"$work/wan.loads"
}

rm -f "$work/wan.loads"
for shape in $links; do
    rtt=${shape%/*} mbit=${shape#*/}
    case "$rtt/$mbit" in
    */*/* | /* | */) echo "wan.sh: a link is RTT_MS/MBIT, not $shape" >&2 && exit 1 ;;
    esac
    echo "wan.sh: measuring through a link of $rtt ms, $mbit Mbit/s ..."
    measure_link "$rtt" "$mbit"
done

# --- the table -------------------------------------------------------------

echo
echo "release $latest of $releases: $(size_value "$work/sizes" files) files, $(bytes_of "$tree_new") bytes;" \
    "store level $level, tar.zst zstd -$zlevel; median of $runs run(s); MB = 10^6 bytes"
python3 - "$work/wan.results" "$latest" <<'PY'
import statistics
import sys
rows = {}
order = []
for line in open(sys.argv[1]):
    link, task, tool, secs, nbytes, reqs, kib, needed = line.split()
    key = (link, task, tool)
    if key not in rows:
        rows[key] = []
        order.append(key)
    rows[key].append((float(secs), nbytes, reqs, kib, needed))
latest = int(sys.argv[2])


def cell(key):
    runs = rows[key]
    _, nbytes, reqs, kib, needed = runs[-1]
    return statistics.median(r[0] for r in runs), float(nbytes), reqs, float(kib) / 1024, needed


links = []
for link, _, _ in order:
    if link not in links:
        links.append(link)
tasks = []
for _, task, _ in order:
    if task not in tasks:
        tasks.append(task)
# The full install, the updates from the nearest start, the repair.
tasks.sort(key=lambda t: (t == 'repair', t != 'full', int(t) if t.isdigit() else 0))
anchors = {'full': 'pipeline', 'repair': 'rsync'}
tool_names = {'orvelsync': 'orvelsync', 'pipeline': 'curl | zstd -d | tar -x', 'rsync': 'rsync -a --delete -c -z'}
for link in links:
    print()
    head = '%-22s %-24s %8s %9s %6s %9s %8s %9s  %s' % (
        '[%s]' % link, '', 's', 'MB', 'reqs', 'peak MiB', 'x anchor', '/needed', 'goal')
    print(head)
    print('-' * len(head))
    for task in tasks:
        name = {'full': 'full install of %d' % latest, 'repair': 'repair, intact'}.get(
            task, 'update %d -> %d' % (latest - int(task) if task.isdigit() else 0, latest))
        own = cell((link, task, 'orvelsync'))
        anchor_tool = anchors.get(task, 'rsync')
        anchor = cell((link, task, anchor_tool))
        ratio = own[0] / max(anchor[0], 1e-3)
        needed = float(own[4])
        per_needed = '%.3f' % (own[1] / needed) if needed else ('0 B' if own[1] == 0 else '%d B' % own[1])
        goals = []
        if task == 'full':
            goals.append('time <= 1.2x: %s' % ('met' if ratio <= 1.2 else 'MISSED'))
        elif task != 'repair':
            goals.append('time <= 1x: %s' % ('met' if ratio <= 1.0 else 'MISSED'))
            goals.append('bytes <= 1.10x: %s' % ('met' if own[1] <= 1.10 * needed else 'MISSED'))
        print('%-22s %-24s %8.2f %9.1f %6s %9.0f %8.2f %9s  %s' % (
            name, 'orvelsync', own[0], own[1] / 1e6, own[2], own[3], ratio, per_needed, '; '.join(goals)))
        print('%-22s %-24s %8.2f %9.1f %6s %9.0f' % (
            '', tool_names[anchor_tool], anchor[0], anchor[1] / 1e6, anchor[2], anchor[3]))
print()
print('needed: the records of the files the task writes (an update writes the union of the changed-file lists'
      ' of its span); peak MiB: the largest process of the task (/usr/bin/time); rsync MB: bytes received;')
print('requests: nginx\'s log between two marks (the pipeline is one); the repair\'s anchor is the same rsync'
      ' over an intact tree.')
PY
sed 's/^/load average (1, 5, 15 min) at the end of /' "$work/wan.loads"
