#!/usr/bin/env python3
# Whether a working path holds exactly its release, from the listings
# `sync_hash_tree --list` made of both: the same names, letter case aside (store
# paths are lower case, a disk may spell them otherwise), each of the same kind
# and, for a file, the same size and content hash; nothing missing and nothing
# extra. Exits 1 naming the first differences.
#
#   sync_same_tree.py WORK_LIST RELEASE_LIST WHAT
#
# WHAT names the working path in the message.
import sys

SHOWN = 10


def read_list(path):
    # lower-case path -> [(kind, hash, size, path as listed)]
    entries = {}
    with open(path, encoding='utf-8', errors='surrogateescape') as f:
        for line in f:
            kind, digest, size, name = line.rstrip('\n').split(' ', 3)
            entries.setdefault(name.lower(), []).append((kind, digest, size, name))
    return entries


def main():
    if len(sys.argv) != 4:
        sys.exit('usage: sync_same_tree.py WORK_LIST RELEASE_LIST WHAT')
    work, release, what = read_list(sys.argv[1]), read_list(sys.argv[2]), sys.argv[3]
    counts = {'missing': 0, 'extra': 0, 'differs': 0, 'two names': 0}
    first = []
    for name in sorted(set(work) | set(release)):
        have, want = work.get(name), release.get(name)
        if not have:
            kind, shown = 'missing', want[0][3]
        elif not want:
            kind, shown = 'extra', have[0][3]
        elif len(have) > 1:
            kind, shown = 'two names', ' and '.join(entry[3] for entry in have)
        elif have[0][:3] != want[0][:3]:
            kind, shown = 'differs', have[0][3]
        else:
            continue
        counts[kind] += 1
        if len(first) < SHOWN:
            first.append('  %-9s %s' % (kind, shown))
    total = sum(counts.values())
    if total == 0:
        return
    print('sync.sh: %s differs from its release tree: %s' %
          (what, ', '.join('%d %s' % (n, k) for k, n in counts.items() if n)), file=sys.stderr)
    print('\n'.join(first), file=sys.stderr)
    if total > len(first):
        print('  ... and %d more' % (total - len(first)), file=sys.stderr)
    sys.exit(1)


if __name__ == '__main__':
    main()
