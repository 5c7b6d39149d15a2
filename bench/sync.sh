#!/usr/bin/env bash
# Sync benchmark: orvelsync against the plain tools on consecutive real
# releases, served by nginx on loopback, on each target file system in turn:
#   - full install of the latest release into an empty working path, beside
#     curl | zstd -d | tar -x of a tar.zst of the same tree;
#   - incremental update from the release before, beside rsync -a --delete -c
#     from an rsync daemon on loopback;
#   - repair of the intact working path, beside hashing the same tree with the
#     store's content hash alone (bench/sync_hash_tree.cpp);
#   - a version switch down five versions and back up (time, bytes);
#   - the controller's share of a task: its time beyond the worker's own;
#   - record Range reads on and off: a full install, updates over 1, 3 and 10
#     versions and a repair of an intact working path, each with bytes and
#     requests from nginx's log against the records the task needs, and time,
#     beside rsync -a --delete -c -z of the same trees.
# Every orvelsync run goes through the launcher's controller (--yes). After
# every task, and after the first run of each baseline, the tree written must
# hold exactly its release (bench/sync_same_tree.py), or the script fails.
# The releases keep their archives' file times (one date for every file), so
# rsync compares contents (-c): its size-and-time check would keep changed
# files of the same size.
#
#   bench/sync.sh                                       # 16 releases, tmpfs and disk
#   CORVANE_SYNC_RUNS=1 CORVANE_SYNC_TARGETS=/dev/shm bench/sync.sh   # quick run
#
# Environment:
#   CORVANE_SYNC_CORPUS    tarballs and unpacked release trees, kept between runs
#                          (default ~/.cache/corvane-sync-corpus; needs about 4 GiB)
#   CORVANE_SYNC_RELEASES  consecutive releases packed as store versions 1..N (default 16)
#   CORVANE_SYNC_SPANS     versions behind the latest that the Range table updates from
#                          (default "1 3 10"; spans not below N are left out)
#   CORVANE_SYNC_LEVEL     store level (default 5; the tar.zst uses the matching zstd level)
#   CORVANE_SYNC_RUNS      timed runs of each figure, the median is printed (default 3)
#   CORVANE_SYNC_TARGETS   directories on the file systems to measure, space-separated
#                          (default: /dev/shm and the corpus directory)
#   CORVANE_SYNC_HASH_THREADS  threads of the hash-only baseline (default 2)
#   CORVANE_BUILD_DIR      a build directory whose bin/ has corvane, orvelsync and the
#                          library, used as it is (default: build/, configured and
#                          brought up to date with CMake first)
#   CORVANE_BENCH_DIR      work directory for the store, nginx and rsyncd (default: a
#                          new one under /tmp, removed at the end)
# The corpus is built by bench/sync_corpus.py from the npm registry (see there
# which packages and versions); a second run downloads nothing.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
bench_name=sync.sh
runs=${CORVANE_SYNC_RUNS:-3}
spans_wanted=${CORVANE_SYNC_SPANS:-1 3 10}
# shellcheck source=bench/sync_common.sh
. "$here/bench/sync_common.sh"
targets=${CORVANE_SYNC_TARGETS:-/dev/shm $corpus}

# A full install of the latest, an update from each span's version, and a
# repair of the intact full install, with Range reads on and off; beside
# rsync -z of the same trees. Appends "label row column value" to $work/ranges.
measure_ranges() { # work_dir label
    local tdir=$1 label=$2 i k mode app wp cfg out t b n d
    local -A times=() bytes=() reqs=() dreqs=()
    mkdir -p "$work/cfg"
    for mode in on off; do
        write_config "$work/cfg/$mode-store.cfg" "$base/store" "$([ $mode = on ] && echo 1 || echo 0)"
        for k in "${spans[@]}"; do
            write_config "$work/cfg/$mode-$((latest - k)).cfg" "$base/at/$((latest - k))" \
                "$([ $mode = on ] && echo 1 || echo 0)"
        done
    done
    for ((i = 1; i <= runs; ++i)); do
        for mode in on off; do
            cfg=$work/cfg/$mode-store.cfg
            app=$tdir/app-$mode-full wp=$tdir/wp-$mode-full
            rm -rf "$app" "$wp"
            mkdir -p "$wp"
            out=$(fetched_run "$mode-full" get-latest --app-dir "$app" --work-path "$wp" --config "$cfg")
            read -r t b n d <<<"$out"
            times[$mode.full]+=" $t" bytes[$mode.full]=$b reqs[$mode.full]=$n dreqs[$mode.full]=$d
            same_tree "$wp" "$tree_new" "the full install (Range $mode)"

            out=$(fetched_run "$mode-repair" repair --app-dir "$app" --config "$cfg")
            read -r t b n d <<<"$out"
            times[$mode.repair]+=" $t" bytes[$mode.repair]=$b reqs[$mode.repair]=$n dreqs[$mode.repair]=$d
            same_tree "$wp" "$tree_new" "the repaired full install (Range $mode)"
            rm -rf "$app" "$wp"

            for k in "${spans[@]}"; do
                local from=$((latest - k))
                app=$tdir/app-$mode-$k wp=$tdir/wp-$mode-$k
                rm -rf "$app" "$wp"
                mkdir -p "$wp"
                timed_orvelsync "$mode-at-$from" get-latest --app-dir "$app" --work-path "$wp" \
                    --config "$work/cfg/$mode-$from.cfg" >/dev/null
                same_tree "$wp" "${trees[$((from - 1))]}" "the install at $from (Range $mode)"
                out=$(fetched_run "$mode-span-$k" get-latest --app-dir "$app" --config "$cfg")
                read -r t b n d <<<"$out"
                times[$mode.$k]+=" $t" bytes[$mode.$k]=$b reqs[$mode.$k]=$n dreqs[$mode.$k]=$d
                same_tree "$wp" "$tree_new" "the update $from -> $latest (Range $mode)"
                rm -rf "$app" "$wp"
            done
        done

        rm -rf "$tdir/rsync-z"
        mkdir -p "$tdir/rsync-z"
        out=$(rsync_z "$tdir/rsync-z")
        read -r t b <<<"$out"
        times[rsync.full]+=" $t" bytes[rsync.full]=$b
        out=$(rsync_z "$tdir/rsync-z")
        read -r t b <<<"$out"
        times[rsync.repair]+=" $t" bytes[rsync.repair]=$b
        if [ "$i" = 1 ]; then same_tree "$tdir/rsync-z" "$tree_new" "the tree rsync -z wrote"; fi
        for k in "${spans[@]}"; do
            rm -rf "$tdir/rsync-z"
            cp -a "${trees[$((latest - k - 1))]}" "$tdir/rsync-z"
            out=$(rsync_z "$tdir/rsync-z")
            read -r t b <<<"$out"
            times[rsync.$k]+=" $t" bytes[rsync.$k]=$b
            if [ "$i" = 1 ]; then
                same_tree "$tdir/rsync-z" "$tree_new" "the tree rsync -z updated from $((latest - k))"
            fi
        done
        rm -rf "$tdir/rsync-z"
    done
    local row name what
    for mode in on off rsync; do
        for row in full "${spans[@]}" repair; do
            case $row in
            full) what="full install of $latest" ;;
            repair) what="repair of an intact tree" ;;
            *) what="update $((latest - row)) -> $latest" ;;
            esac
            case $mode in
            rsync) name="rsync -a --delete -c -z, $what" ;;
            *) name="Range $mode, $what" ;;
            esac
            out=${times[$mode.$row]}
            # shellcheck disable=SC2086 # the runs, one word each
            t=$(median $out)
            out="$out; fetched ${bytes[$mode.$row]} bytes"
            if [ "$mode" != rsync ]; then
                out="$out in ${reqs[$mode.$row]} requests, ${dreqs[$mode.$row]} of them to packages"
            fi
            echo "[$label] $name: $t s (runs:$out)"
            echo "$label $mode $row $t ${bytes[$mode.$row]} ${reqs[$mode.$row]:-0} ${dreqs[$mode.$row]:-0}" \
                >>"$work/ranges"
        done
    done
}

measure_target() { # target_dir
    local tdir fs label i m1 m2 t0 t1 out t u s k
    tdir=$(mktemp -d "$1/corvane-sync-XXXXXX")
    target_dirs+=("$tdir")
    fs=$(stat -f -c %T "$tdir")
    case "$fs" in tmpfs) label=tmpfs ;; *) label="disk ($fs)" ;; esac
    echo
    echo "[$label] working paths in $tdir"
    local -a full=() pipe=() inc=() rs=() rep=() hash=() down=() up=()
    local -a full_task=() full_worker=() inc_task=() inc_worker=()
    local down_bytes down_reqs up_bytes up_reqs
    local full_cpu full_rss inc_cpu inc_rss rep_cpu rep_rss full_bytes full_reqs inc_bytes inc_reqs
    local rep_bytes rep_reqs pipe_bytes rsync_bytes
    local -a pipe_synced=()
    for ((i = 1; i <= runs; ++i)); do
        # Full install: fresh installation, empty working path.
        rm -rf "$tdir/app-full" "$tdir/wp-full" "$tdir/tar"
        mkdir -p "$tdir/wp-full" "$tdir/tar"
        sync
        m1=$(mark)
        out=$(timed_orvelsync full get-latest --app-dir "$tdir/app-full" --work-path "$tdir/wp-full" \
            --server "$base/store")
        m2=$(mark)
        read -r t u s k <<<"$out"
        full+=("$t")
        full_cpu=$(calc "$u + $s") full_rss=$k
        read -r full_bytes full_reqs _ <<<"$(bytes_between "$m1" "$m2")"
        read -r t u <<<"$(task_times "$tdir/app-full")"
        full_task+=("$t") full_worker+=("$u")
        same_tree "$tdir/wp-full" "$tree_new" "the fully installed working path"

        sync
        m1=$(mark)
        t0=$(now)
        curl -sf "$base/release.tar.zst" | zstd -q -d | tar -C "$tdir/tar" -xf -
        t1=$(now)
        sync -f "$tdir/tar"
        pipe_synced+=("$(secs "$t0" "$(now)")")
        m2=$(mark)
        pipe+=("$(secs "$t0" "$t1")")
        read -r pipe_bytes _ <<<"$(bytes_between "$m1" "$m2")"
        if [ "$i" = 1 ]; then same_tree "$tdir/tar" "$tree_new" "the tree unpacked by tar"; fi
        rm -rf "$tdir/app-full" "$tdir/wp-full" "$tdir/tar"

        # Incremental: an installation at the release before, then the update.
        rm -rf "$tdir/app-inc" "$tdir/wp-inc" "$tdir/rsync"
        mkdir -p "$tdir/wp-inc"
        timed_orvelsync prev get-latest --app-dir "$tdir/app-inc" --work-path "$tdir/wp-inc" \
            --server "$base/prev" >/dev/null
        same_tree "$tdir/wp-inc" "$tree_old" "the working path at the release before"
        cp -a "$tree_old" "$tdir/rsync"
        sync
        m1=$(mark)
        out=$(timed_orvelsync inc get-latest --app-dir "$tdir/app-inc" --work-path "$tdir/wp-inc" \
            --server "$base/store")
        m2=$(mark)
        read -r t u s k <<<"$out"
        inc+=("$t")
        inc_cpu=$(calc "$u + $s") inc_rss=$k
        read -r inc_bytes inc_reqs _ <<<"$(bytes_between "$m1" "$m2")"
        read -r t u <<<"$(task_times "$tdir/app-inc")"
        inc_task+=("$t") inc_worker+=("$u")
        same_tree "$tdir/wp-inc" "$tree_new" "the working path updated from $previous"

        sync
        t0=$(now)
        rsync -a --delete -c --stats "rsync://127.0.0.1:$rport/release/" "$tdir/rsync/" >"$work/rsync.out"
        t1=$(now)
        rs+=("$(secs "$t0" "$t1")")
        rsync_bytes=$(sed -n 's/^Total bytes received: \([0-9,.]*\).*/\1/p' "$work/rsync.out" | tr -d ',.')
        if [ "$i" = 1 ]; then same_tree "$tdir/rsync" "$tree_new" "the tree updated by rsync"; fi

        # Repair of the intact working path the update left, then the hash alone.
        sync
        m1=$(mark)
        out=$(timed_orvelsync repair repair --app-dir "$tdir/app-inc" --work-path "$tdir/wp-inc" \
            --server "$base/store")
        m2=$(mark)
        read -r t u s k <<<"$out"
        rep+=("$t")
        rep_cpu=$(calc "$u + $s") rep_rss=$k
        read -r rep_bytes rep_reqs _ <<<"$(bytes_between "$m1" "$m2")"
        same_tree "$tdir/wp-inc" "$tree_new" "the repaired working path"

        t0=$(now)
        (cd "$work/cwd" && "$work/sync_hash_tree" "$library" "$work/store" "$tdir/wp-inc" "$hash_threads" \
            >"$work/hash.out")
        t1=$(now)
        hash+=("$(secs "$t0" "$t1")")

        # A switch down across $switch_span versions and back up to the latest.
        m1=$(mark)
        out=$(timed_orvelsync down switch "$switch_to" --app-dir "$tdir/app-inc")
        m2=$(mark)
        read -r t u s k <<<"$out"
        down+=("$t")
        read -r down_bytes down_reqs _ <<<"$(bytes_between "$m1" "$m2")"
        same_tree "$tdir/wp-inc" "${trees[$((switch_to - 1))]}" "the working path switched to $switch_to"
        m1=$(mark)
        out=$(timed_orvelsync up switch "$latest" --app-dir "$tdir/app-inc")
        m2=$(mark)
        read -r t u s k <<<"$out"
        up+=("$t")
        read -r up_bytes up_reqs _ <<<"$(bytes_between "$m1" "$m2")"
        same_tree "$tdir/wp-inc" "$tree_new" "the working path switched back to $latest"
        rm -rf "$tdir/app-inc" "$tdir/wp-inc" "$tdir/rsync"
    done

    local full_s pipe_s pipe_sync_s inc_s rs_s rep_s hash_s
    full_s=$(median "${full[@]}") pipe_s=$(median "${pipe[@]}") pipe_sync_s=$(median "${pipe_synced[@]}")
    inc_s=$(median "${inc[@]}") rs_s=$(median "${rs[@]}")
    rep_s=$(median "${rep[@]}") hash_s=$(median "${hash[@]}")
    echo "[$label] full install, orvelsync get-latest:  $full_s s (runs: ${full[*]})"
    echo "[$label] full install, curl | zstd -d | tar:  $pipe_s s (runs: ${pipe[*]}; $pipe_sync_s s with a syncfs after)"
    echo "[$label] full install fetched:                $full_bytes bytes in $full_reqs requests (tar.zst: $pipe_bytes bytes)"
    echo "[$label] incremental, orvelsync get-latest:   $inc_s s (runs: ${inc[*]})"
    echo "[$label] incremental, rsync -a --delete -c:   $rs_s s (runs: ${rs[*]})"
    echo "[$label] incremental fetched:                 $inc_bytes bytes in $inc_reqs requests (rsync received $rsync_bytes bytes)"
    echo "[$label] repair, orvelsync repair:            $rep_s s (runs: ${rep[*]}; fetched $rep_bytes bytes in $rep_reqs requests)"
    echo "[$label] content hash alone ($hash_threads threads):     $hash_s s (runs: ${hash[*]})"
    echo "[$label] switch $latest -> $switch_to:                     $(median "${down[@]}") s (runs: ${down[*]}; fetched $down_bytes bytes in $down_reqs requests)"
    echo "[$label] switch $switch_to -> $latest:                     $(median "${up[@]}") s (runs: ${up[*]}; fetched $up_bytes bytes in $up_reqs requests)"
    echo "[$label] controller: full task ${full_task[*]} ms, worker ${full_worker[*]} ms; incremental task ${inc_task[*]} ms, worker ${inc_worker[*]} ms"

    local key=${label%% *}
    result "$key.full" "$full_s"
    result "$key.pipe" "$pipe_s"
    result "$key.pipe_sync" "$pipe_sync_s"
    result "$key.full_bytes" "$full_bytes"
    result "$key.pipe_bytes" "$pipe_bytes"
    result "$key.inc" "$inc_s"
    result "$key.rsync" "$rs_s"
    result "$key.inc_bytes" "$inc_bytes"
    result "$key.rsync_bytes" "$rsync_bytes"
    result "$key.repair" "$rep_s"
    result "$key.repair_bytes" "$rep_bytes"
    result "$key.hash" "$hash_s"
    result "$key.full_cpu" "$full_cpu"
    result "$key.full_rss" "$full_rss"
    result "$key.inc_cpu" "$inc_cpu"
    result "$key.inc_rss" "$inc_rss"
    result "$key.repair_cpu" "$rep_cpu"
    result "$key.repair_rss" "$rep_rss"
    result "$key.switch_down" "$(median "${down[@]}")"
    result "$key.switch_down_bytes" "$down_bytes"
    result "$key.switch_up" "$(median "${up[@]}")"
    result "$key.switch_up_bytes" "$up_bytes"
    result "$key.full_task_ms" "$(median "${full_task[@]}")"
    result "$key.full_worker_ms" "$(median "${full_worker[@]}")"
    result "$key.inc_task_ms" "$(median "${inc_task[@]}")"
    result "$key.inc_worker_ms" "$(median "${inc_worker[@]}")"

    echo "[$label] record Range reads on and off, beside rsync -a --delete -c -z ..."
    measure_ranges "$tdir" "$key"
    rm -rf "$tdir"
}

load_start=$(cut -d' ' -f1-3 /proc/loadavg)
for target in $targets; do
    mkdir -p "$target"
    measure_target "$target"
done

# --- the table -------------------------------------------------------------

echo
echo "release $latest of $releases: $files_new files, $(bytes_of "$tree_new") bytes;" \
    "$changed_files new or changed since release $previous; store level $level, tar.zst zstd -$zlevel;" \
    "median of $runs"
echo "load average (1, 5, 15 min) at the start: $load_start; at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "compressed content of release $latest: $own_records bytes of records ($own_contents bytes compressed," \
    "plus 225 header bytes a file); of its new and changed files: $ideal_records bytes"
python3 - "$work/results" "$own_records" "$ideal_records" "$switch_span" <<'PY'
import sys
values = {}
for line in open(sys.argv[1]):
    key, value = line.split()
    values[key] = float(value)
own, ideal = float(sys.argv[2]), float(sys.argv[3])
labels = []
for key in values:
    label = key.split('.')[0]
    if label not in labels:
        labels.append(label)


def v(label, name):
    return values['%s.%s' % (label, name)]


def goal(ratio, limit):
    return '%.2f %s' % (ratio, 'met' if ratio <= limit else 'MISSED')


rows = [
    ('full install: orvelsync s', lambda l: '%.2f' % v(l, 'full')),
    ('  curl | zstd -d | tar -x s', lambda l: '%.2f' % v(l, 'pipe')),
    ('  same, then syncfs s', lambda l: '%.2f' % v(l, 'pipe_sync')),
    ('  time ratio (goal <= 1.5)', lambda l: goal(v(l, 'full') / v(l, 'pipe'), 1.5)),
    ('  ratio to the synced pipeline', lambda l: '%.2f' % (v(l, 'full') / v(l, 'pipe_sync'))),
    ('  fetched MB', lambda l: '%.1f' % (v(l, 'full_bytes') / 1e6)),
    ('  fetched / own compressed', lambda l: '%.3f' % (v(l, 'full_bytes') / own)),
    ('  tar.zst MB', lambda l: '%.1f' % (v(l, 'pipe_bytes') / 1e6)),
    ('  CPU s / peak RSS MiB', lambda l: '%.2f / %.0f' % (v(l, 'full_cpu'), v(l, 'full_rss') / 1024)),
    ('incremental: orvelsync s', lambda l: '%.2f' % v(l, 'inc')),
    ('  rsync -a --delete -c s', lambda l: '%.2f' % v(l, 'rsync')),
    ('  time ratio (goal <= 1)', lambda l: goal(v(l, 'inc') / v(l, 'rsync'), 1.0)),
    ('  fetched MB', lambda l: '%.1f' % (v(l, 'inc_bytes') / 1e6)),
    ('  fetched / ideal (goal <= 1.05)', lambda l: goal(v(l, 'inc_bytes') / ideal, 1.05)),
    ('  rsync received MB', lambda l: '%.1f' % (v(l, 'rsync_bytes') / 1e6)),
    ('  CPU s / peak RSS MiB', lambda l: '%.2f / %.0f' % (v(l, 'inc_cpu'), v(l, 'inc_rss') / 1024)),
    ('repair (intact): orvelsync s', lambda l: '%.2f' % v(l, 'repair')),
    ('  content hash alone s', lambda l: '%.2f' % v(l, 'hash')),
    ('  time ratio (goal <= 2)', lambda l: goal(v(l, 'repair') / v(l, 'hash'), 2.0)),
    ('  fetched MB', lambda l: '%.3f' % (v(l, 'repair_bytes') / 1e6)),
    ('  CPU s / peak RSS MiB', lambda l: '%.2f / %.0f' % (v(l, 'repair_cpu'), v(l, 'repair_rss') / 1024)),
    ('switch down %s versions s' % sys.argv[4], lambda l: '%.2f' % v(l, 'switch_down')),
    ('  fetched MB', lambda l: '%.1f' % (v(l, 'switch_down_bytes') / 1e6)),
    ('switch back up s', lambda l: '%.2f' % v(l, 'switch_up')),
    ('  fetched MB', lambda l: '%.1f' % (v(l, 'switch_up_bytes') / 1e6)),
    ('controller share, full (goal < 5%)',
     lambda l: goal(100 * (v(l, 'full_task_ms') / max(v(l, 'full_worker_ms'), 1) - 1), 5.0) + '%'),
    ('controller share, incremental (< 5%)',
     lambda l: goal(100 * (v(l, 'inc_task_ms') / max(v(l, 'inc_worker_ms'), 1) - 1), 5.0) + '%'),
]
width = max(len(r[0]) for r in rows) + 2
print()
print(''.ljust(width) + ''.join(l.rjust(14) for l in labels))
for name, cell in rows:
    print(name.ljust(width) + ''.join(cell(l).rjust(14) for l in labels))
PY

# Record Range reads: bytes against the records each task needs (the sum of
# the record lengths of the files it writes), time against whole packages.
python3 - "$work/ranges" "$work/sizes" "$latest" "$releases" "$runs" "${spans[@]}" <<'PY'
import sys
ranges, sizes_file, latest, releases, runs = sys.argv[1:6]
spans = [int(k) for k in sys.argv[6:]]
latest = int(latest)
sizes = dict(line.split() for line in open(sizes_file))
rows = [('full', 'full install of %d' % latest, float(sizes['records']), sizes['packages'], None)]
for k in spans:
    old = latest - k
    rows.append((str(k), 'update %d -> %d' % (old, latest), float(sizes['written_records@%d' % old]),
                 sizes['written_packages@%d' % old], float(sizes['changed_records@%d' % old])))
rows.append(('repair', 'repair, intact', 0.0, '-', None))
data = {}
for line in open(ranges):
    label, mode, row, secs, nbytes, nreqs, npackage_reqs = line.split()
    data[label, mode, row] = (float(secs), float(nbytes), '%s/%s' % (nreqs, npackage_reqs))
labels = []
for label, _, _ in data:
    if label not in labels:
        labels.append(label)


def ratio(nbytes, needed):
    return '%.3f' % (nbytes / needed) if needed else ('0 B' if nbytes == 0 else '%d B' % nbytes)


for label in labels:
    print()
    print('[%s] record Range reads on and off, release %d of %s, median of %s runs; MB = 10^6 bytes'
          % (label, latest, releases, runs))
    head = ('%-20s %9s %4s | %7s %7s %7s %5s | %7s %7s %7s %5s | %6s | %8s %5s'
            % ('', 'needed MB', 'pkgs', 'on MB', 'reqs', '/needed', 's', 'off MB', 'reqs', '/needed', 's',
               'on/off', 'rsync MB', 's'))
    print(head)
    print('-' * len(head))
    worst_bytes, worst_time, repair_bytes = 0.0, 0.0, None
    for row, name, needed, packages, changed in rows:
        on, off, rs = (data[label, m, row] for m in ('on', 'off', 'rsync'))
        print('%-20s %9.1f %4s | %7.1f %7s %7s %5.2f | %7.1f %7s %7s %5.2f | %6.2f | %8.1f %5.2f'
              % (name, needed / 1e6, packages, on[1] / 1e6, on[2], ratio(on[1], needed), on[0], off[1] / 1e6,
                 off[2], ratio(off[1], needed), off[0], on[0] / max(off[0], 1e-3), rs[1] / 1e6, rs[0]))
        if row == 'repair':
            repair_bytes, repair_time = on[1], on[0] / max(off[0], 1e-3)
        else:
            worst_bytes = max(worst_bytes, on[1] / needed)
            worst_time = max(worst_time, on[0] / max(off[0], 1e-3))
    notes = ['%s: %.1f MB' % (name.split(' ')[1], changed / 1e6) for _, name, _, _, changed in rows if changed]
    print('needed: the records of the files each task writes (an update writes the union of the changed-file'
          ' lists of its span), in pkgs data packages; reqs: all requests / those to packages;')
    print('  the records of the files whose content differs from the start: ' + ', '.join(notes))
    print('goal: Range bytes <= 1.05 x needed for every span: %s (worst %.3f)'
          % ('met' if worst_bytes <= 1.05 else 'MISSED', worst_bytes))
    # An intact repair fetches nothing either way: both only compare, so its
    # on/off is the noise of two equal runs and is left out of the goal.
    print('goal: time with Range reads no worse than whole packages: %s (worst on/off %.2f of the fetching'
          ' tasks; the intact repair, the same compare either way: %.2f)'
          % ('met' if worst_time <= 1.0 else 'MISSED', worst_time, repair_time))
    print('goal: a repair of an intact tree fetches 0 bytes: %s (%d bytes)'
          % ('met' if repair_bytes == 0 else 'MISSED', repair_bytes))
PY
