#!/usr/bin/env bash
# Packing benchmark: corvane pack against tar | zstd and against per-file zstd
# on the same tree of real files, plus the builds that follow a first one:
#   - an untouched tree: its time, and how many files below the root the build
#     opened, counted from outside with strace (goal 0: the stat cache answers);
#   - after `touch` of every file (times changed, contents not): its time, and
#     nothing may be stored anew;
#   - a full rehash (`corvane pack --rehash`, the stat cache ignored): its time.
#
#   bench/pack.sh                       # 512 MiB tree, 100 MiB part at the default level
#   CORVANE_BENCH_MIB=64 CORVANE_BENCH_PART_MIB=16 bench/pack.sh   # quick run
#
# Environment:
#   CORVANE_BENCH_MIB       size of the tree (default 512)
#   CORVANE_BENCH_PART_MIB  size of the part packed at the default level (default 100; 0 skips it)
#   CORVANE_BENCH_LEVEL     store level of the main run (default 5)
#   CORVANE_BENCH_THREADS   threads for corvane and zstd (default 2)
#   CORVANE_BENCH_RUNS      timed runs of each figure on the whole tree, the median
#                           is printed (default 3; the part at the top level runs once)
#   CORVANE_BENCH_DIR       work directory (default: a new one under /tmp, removed at the end)
#   CORVANE_BIN             the corvane executable (default build/bin/corvane)
# The tree is copied from /usr/lib and /usr/share into the work directory and
# never lands in the repository.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
size_mib=${CORVANE_BENCH_MIB:-512}
part_mib=${CORVANE_BENCH_PART_MIB:-100}
level=${CORVANE_BENCH_LEVEL:-5}
threads=${CORVANE_BENCH_THREADS:-2}
runs=${CORVANE_BENCH_RUNS:-3}
corvane=${CORVANE_BIN:-$here/build/bin/corvane}
default_level=9

# Store level -> zstd level; keep in step with the table in
# Common/Corvane/lib/src/compress/CorvaneCompress.cpp.
zstd_levels=(1 1 3 3 6 6 12 12 19 19 22)
zlevel=${zstd_levels[$level]}
zdefault=${zstd_levels[$default_level]}

for tool in zstd tar python3 strace; do
    command -v "$tool" >/dev/null || { echo "pack.sh: $tool is needed (scripts/setup-deps.sh)" >&2; exit 1; }
done
[ -x "$corvane" ] || { echo "pack.sh: no corvane at $corvane (build it, or set CORVANE_BIN)" >&2; exit 1; }

if [ -n "${CORVANE_BENCH_DIR:-}" ]; then
    work=$CORVANE_BENCH_DIR
    mkdir -p "$work"
else
    work=$(mktemp -d /tmp/corvane-bench-XXXXXX)
    trap 'rm -rf "$work"' EXIT
fi
rm -rf "$work/tree" "$work/part" "$work/store" "$work/store-part" "$work/perfile"
mkdir -p "$work/cwd"

# Picks a mix of files from both roots in a fixed pseudo-random order until the
# size is reached. Paths that differ only in case are skipped (the store keeps
# paths lower case), and so are names the store refuses (':' and '\\').
# Writes a NUL-separated list for tar.
select_files() { # target_bytes list_file
    python3 - "$1" "$2" <<'PY'
import os, sys, zlib
target, out = int(sys.argv[1]), sys.argv[2]
files = []
for root in (b'/usr/lib', b'/usr/share'):
    for d, _, names in os.walk(root):
        for n in names:
            p = os.path.join(d, n)
            try:
                st = os.lstat(p)
            except OSError:
                continue
            if not (st.st_mode & 0o170000 == 0o100000) or st.st_size == 0 or st.st_size > (1 << 30):
                continue
            # Store paths must be valid on Windows too: no drive colon, no backslash.
            if b':' in p or b'\\' in p or not os.access(p, os.R_OK):
                continue
            files.append((zlib.crc32(p), p, st.st_size))
files.sort()
seen, total, chosen = set(), 0, []
for _, p, size in files:
    low = p.lower()
    if low in seen:
        continue
    seen.add(low)
    chosen.append(p[1:])  # relative to /, as tar wants it
    total += size
    if total >= target:
        break
with open(out, 'wb') as f:
    f.write(b'\0'.join(chosen) + b'\0')
print(total)
PY
}

copy_tree() { # list_file dest
    mkdir -p "$2"
    tar -C / --null -T "$1" -cf - 2>/dev/null | tar -C "$2" -xf -
}

now() { date +%s.%N; }
secs() { python3 -c "import sys; print('%.3f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$2"; }
ratio() { python3 -c "import sys; print('%.3f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }
pct() { python3 -c "import sys; print('%.2f%%' % (100.0 * float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }
median() { python3 -c "import sys, statistics; print('%.3f' % statistics.median(float(v) for v in sys.argv[1:]))" "$@"; }
bytes_of() { find "$1" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}'; }
summary_value() { sed -n "s/^$2: *//p" "$1"; }
goal() { [ "$1" = "$2" ] && echo met || echo MISSED; } # value goal
# The packer's own count of unchanged files, where its summary has one.
unchanged_line() { # label value
    if [ -n "$2" ]; then echo "[$1]   packer's summary: unchanged $2"; fi
}

run_pack() { # tree store version level [option...] -> prints wall seconds; summary in $work/pack.out
    local tree=$1 store=$2 version=$3 lvl=$4 t0 t1
    shift 4
    t0=$(now)
    (cd "$work/cwd" && "$corvane" pack --root "$tree" --store "$store" --version "$version" --level "$lvl" \
        --threads "$threads" "$@" >"$work/pack.out") || {
        echo "pack.sh: corvane pack${*:+ $*} of version $version failed (its message above says why and where its log is)" >&2
        exit 1
    }
    t1=$(now)
    secs "$t0" "$t1"
}

# Files below the root that a build opened, other than directories, counted
# from outside the program: strace follows every thread and the packer's
# restart of itself, and -y names the file behind each descriptor returned.
count_opens() { # tree store version level -> prints the count
    local root
    root=$(realpath "$1")
    (cd "$work/cwd" && strace -f -qq -y -e trace=open,openat,openat2,creat -e signal=none \
        -o "$work/strace.out" "$corvane" pack --root "$1" --store "$2" --version "$3" --level "$4" \
        --threads "$threads" >"$work/pack.out") || {
        echo "pack.sh: corvane pack of version $3 under strace failed (see $work/cwd/PemCorvane.log)" >&2
        exit 1
    }
    python3 - "$work/strace.out" "$root" <<'PY'
import re, sys
trace, root = sys.argv[1], sys.argv[2].rstrip('/') + '/'
# A call another thread interrupted comes in two lines: "<unfinished ...>",
# then "<... openat resumed>" from the same thread.
pending, calls = {}, []
for line in open(trace, errors='replace'):
    pid, _, rest = line.rstrip('\n').partition(' ')
    rest = rest.lstrip()
    if rest.endswith('<unfinished ...>'):
        pending[pid] = rest[:-len('<unfinished ...>')]
    elif rest.startswith('<...'):
        calls.append(pending.pop(pid, '') + rest.split('resumed>', 1)[-1])
    else:
        calls.append(rest)
opened = 0
for call in calls:
    done = re.search(r'\) += (\d+)<(.*)>$', call)
    if not done or 'O_DIRECTORY' in call or 'O_PATH' in call:
        continue
    if (done.group(2) + '/').startswith(root) and done.group(2) != root.rstrip('/'):
        opened += 1
print(opened)
PY
}

# Every file's times changed, no content: what a checkout or a copy without
# times does to a tree.
touch_all() { # tree
    find "$1" -type f -exec touch -- {} +
}

run_tar_zstd() { # tree zstd_level -> "seconds bytes"
    local t0 t1 out=$work/tree.tar.zst
    t0=$(now)
    tar -C "$1" -cf - . | zstd -q -T"$threads" -"$2" $([ "$2" -gt 19 ] && echo --ultra) -o "$out" -f
    t1=$(now)
    echo "$(secs "$t0" "$t1") $(stat -c %s "$out")"
    rm -f "$out"
}

per_file_bytes() { # tree zstd_level -> bytes of every file compressed alone
    rm -rf "$work/perfile"
    (cd "$1" && zstd -q -r -T"$threads" -"$2" $([ "$2" -gt 19 ] && echo --ultra) . --output-dir-mirror "$work/perfile")
    bytes_of "$work/perfile"
    rm -rf "$work/perfile"
}

measure() { # label tree store level zlevel second_build(0/1) runs
    local label=$1 tree=$2 store=$3 lvl=$4 zl=$5 second=$6 n=$7
    local files in_bytes pack_s store_bytes="" cache_bytes data_out stored_anew tz tz_s tz_bytes pf_bytes i v
    local opens touched_anew rehash_anew second_unchanged touched_unchanged rehash_unchanged
    local -a pack_runs=() tz_runs=() second_runs=() touched_runs=() rehash_runs=()
    files=$(find "$tree" -type f | wc -l)
    in_bytes=$(bytes_of "$tree")
    echo "[$label] tree: $files files, $in_bytes bytes; store level $lvl = zstd $zl, $threads threads, median of $n"

    sync
    # Runs alternate between the two, so a slower stretch of a shared machine
    # does not fall on one side only. Each first build is followed at once by
    # two unchanged builds over it, so that the first and the second builds
    # of a pair, too, come from the same stretch.
    for ((i = 0; i < n; ++i)); do
        rm -rf "$store"
        pack_runs+=("$(run_pack "$tree" "$store" 1 "$lvl")")
        if [ -z "$store_bytes" ]; then
            # What a store serves: dat/ and idx/. The packer's own cache
            # under _tmp/ is never published, and is shown on its own line.
            store_bytes=$(( $(bytes_of "$store/dat") + $(bytes_of "$store/idx") ))
            cache_bytes=$(bytes_of "$store/_tmp")
            data_out=$(summary_value "$work/pack.out" 'bytes out')
        fi
        if [ "$second" = 1 ]; then
            # The first build's packages are written back first: every timed
            # build starts after a sync.
            sync
            for v in 2 3; do
                second_runs+=("$(run_pack "$tree" "$store" "$v" "$lvl")")
            done
            stored_anew=$(summary_value "$work/pack.out" 'stored anew')
            second_unchanged=$(summary_value "$work/pack.out" 'unchanged')
            # The same once more under strace, untimed: strace slows every call.
            opens=$(count_opens "$tree" "$store" 4 "$lvl")

            touch_all "$tree"
            sync
            touched_runs+=("$(run_pack "$tree" "$store" 5 "$lvl")")
            touched_anew=$(summary_value "$work/pack.out" 'stored anew')
            touched_unchanged=$(summary_value "$work/pack.out" 'unchanged')

            if [ -z "$no_rehash" ]; then
                sync
                rehash_runs+=("$(run_pack "$tree" "$store" 6 "$lvl" --rehash)")
                rehash_anew=$(summary_value "$work/pack.out" 'stored anew')
                rehash_unchanged=$(summary_value "$work/pack.out" 'unchanged')
            fi
        fi
        sync
        tz=$(run_tar_zstd "$tree" "$zl")
        tz_runs+=("${tz% *}")
        tz_bytes=${tz#* }
    done
    pack_s=$(median "${pack_runs[@]}")
    tz_s=$(median "${tz_runs[@]}")
    echo "[$label] corvane pack time:        $pack_s s (runs: ${pack_runs[*]})"
    echo "[$label] corvane store size:       $store_bytes bytes (data $data_out)"
    echo "[$label] corvane packer cache:     $cache_bytes bytes (_tmp/, not published)"
    echo "[$label] tar | zstd -T$threads -$zl time:  $tz_s s (runs: ${tz_runs[*]})"
    echo "[$label] tar | zstd -T$threads -$zl size:  $tz_bytes bytes"

    pf_bytes=$(per_file_bytes "$tree" "$zl")
    echo "[$label] per-file zstd -$zl sum:     $pf_bytes bytes"

    # Where the store's bytes beyond the per-file sum go. Every record carries
    # a 225-byte header, and a non-empty one a 4-byte size before its zstd
    # frame; both are fixed by the record format, whatever the packer does.
    local nonempty record_heads contents lists
    nonempty=$(find "$tree" -type f -size +0 | wc -l)
    record_heads=$((files * 225 + nonempty * 4))
    contents=$((data_out - record_heads))
    lists=$((store_bytes - data_out))
    echo "[$label] compressed contents:      $contents bytes (data less record headers; $(ratio "$contents" "$pf_bytes") of the per-file sum)"
    echo "[$label] record headers:           $record_heads bytes (225 per file + 4 per non-empty file; $(pct "$record_heads" "$pf_bytes") of the per-file sum)"
    echo "[$label] lists and package heads:  $lists bytes ($(pct "$lists" "$pf_bytes") of the per-file sum)"

    echo "[$label] ratio pack time / tar-zstd time:    $(ratio "$pack_s" "$tz_s")"
    echo "[$label] ratio store size / per-file sum:    $(ratio "$store_bytes" "$pf_bytes")"
    echo "[$label] ratio store size / tar-zstd size:   $(ratio "$store_bytes" "$tz_bytes")"

    if [ "$second" = 1 ]; then
        local second_s touched_s rehash_s
        second_s=$(median "${second_runs[@]}")
        touched_s=$(median "${touched_runs[@]}")
        echo "[$label] second unchanged pack time: $second_s s (runs: ${second_runs[*]}; stored anew: $stored_anew)"
        echo "[$label]   files opened below the root: $opens (goal 0: $(goal "$opens" 0); by strace, last run)"
        unchanged_line "$label" "$second_unchanged"
        echo "[$label] ratio second build / first build: $(ratio "$second_s" "$pack_s")"
        echo "[$label] pack after touch of every file: $touched_s s (runs: ${touched_runs[*]}; stored anew:" \
            "$touched_anew, goal 0: $(goal "$touched_anew" 0))"
        unchanged_line "$label" "$touched_unchanged"
        echo "[$label] ratio touched build / first build: $(ratio "$touched_s" "$pack_s")"
        if [ -n "$no_rehash" ]; then
            echo "[$label] full rehash (pack --rehash): not measured: $no_rehash"
        else
            rehash_s=$(median "${rehash_runs[@]}")
            echo "[$label] full rehash (pack --rehash): $rehash_s s (runs: ${rehash_runs[*]}; stored anew: $rehash_anew)"
            unchanged_line "$label" "$rehash_unchanged"
            echo "[$label] ratio full rehash / first build: $(ratio "$rehash_s" "$pack_s")"
        fi
    fi
}

# Whether this corvane takes --rehash, asked of it on a one-file tree: a build
# that predates the option refuses it, and the figure is then left out.
no_rehash=
rm -rf "$work/probe"
mkdir -p "$work/probe/tree"
echo probe >"$work/probe/tree/probe.txt"
if ! (cd "$work/cwd" && "$corvane" pack --root "$work/probe/tree" --store "$work/probe/store" --version 1 \
    --rehash >/dev/null 2>"$work/probe.err"); then
    no_rehash="corvane pack --rehash failed: $(head -n 1 "$work/probe.err")"
    echo "pack.sh: $no_rehash; the full rehash is left out" >&2
fi
rm -rf "$work/probe" "$work/probe.err"

echo "building the tree in $work ..."
total=$(select_files $((size_mib * 1024 * 1024)) "$work/tree.list")
copy_tree "$work/tree.list" "$work/tree"
echo "tree: $total bytes selected"

measure "level $level" "$work/tree" "$work/store" "$level" "$zlevel" 1 "$runs"

if [ "$part_mib" -gt 0 ]; then
    # The part: the first files of the same selection order, so it is a part
    # of the tree above.
    python3 - "$work/tree.list" "$work/part.list" $((part_mib * 1024 * 1024)) <<'PY'
import os, sys
src, out, target = sys.argv[1], sys.argv[2], int(sys.argv[3])
chosen, total = [], 0
for p in open(src, 'rb').read().split(b'\0'):
    if not p:
        continue
    chosen.append(p)
    total += os.lstat(b'/' + p).st_size
    if total >= target:
        break
open(out, 'wb').write(b'\0'.join(chosen) + b'\0')
PY
    copy_tree "$work/part.list" "$work/part"
    measure "default level $default_level" "$work/part" "$work/store-part" "$default_level" "$zdefault" 0 1
fi
