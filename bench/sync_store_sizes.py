#!/usr/bin/env python3
# Compressed sizes of a store version, read from its indexes (dat/vV/_index):
#
#   sync_store_sizes.py STORE V [OLD_V ...]
#
# Prints "files N", "records BYTES" (the sum of the version's file records,
# each 225 header bytes plus its compressed content, wherever it is stored)
# and "contents BYTES" (the compressed contents alone), "packages N" (the
# data packages that hold them). With the first OLD_V,
# the same sums over the files of V that are new or whose content differs from
# OLD_V: "changed N", "changed_records BYTES", "changed_contents BYTES".
#
# For every OLD_V, with "@OLD_V" after each key:
#   changed@O N, changed_records@O BYTES   files of V whose content differs
#                                          from O (what a compare would fetch)
#   written@O N, written_records@O BYTES   files of V that some version after O
#                                          stored anew: what an update from O
#                                          writes (the union of the changed-file
#                                          lists of O+1 .. V), at V's records
#   written_packages@O N                   the data packages holding those
#
# The index is a hashed envelope (16-byte header), then the decoded size (4
# bytes) and one zstd frame holding a 32-bit element count and that many
# 32-byte elements: name hash, content hash, version, package, offset, record
# length (see CORVANE_IDX_ELEMENT in Common/Corvane/lib/include/Corvane).
import os
import struct
import subprocess
import sys

RECORD_HEADER = 225


def read_index(store, version):
    """name hash -> (content hash, version holding the record, record length, package)"""
    with open(os.path.join(store, 'dat', 'v%d' % version, '_index'), 'rb') as f:
        raw = f.read()
    magic, _, length = struct.unpack_from('<IQI', raw, 0)
    if magic != 27805 or length != len(raw) - 16:
        sys.exit('sync_store_sizes: %s v%d: not an index' % (store, version))
    data = subprocess.run(['zstd', '-q', '-dc'], input=raw[20:], stdout=subprocess.PIPE, check=True).stdout
    (count,) = struct.unpack_from('<I', data, 0)
    if len(data) != 4 + 32 * count:
        sys.exit('sync_store_sizes: %s v%d: index size does not match its count' % (store, version))
    elements = {}
    for name_hash, content_hash, ver, pkg, _ofs, length in struct.iter_unpack('<QQIIII', data[4:]):
        elements[name_hash] = (content_hash, ver, length, (ver, pkg))
    return elements


def main():
    if len(sys.argv) < 3:
        sys.exit('usage: sync_store_sizes.py STORE V [OLD_V ...]')
    store, version = sys.argv[1], int(sys.argv[2])
    olds = [int(v) for v in sys.argv[3:]]
    new = read_index(store, version)
    print('files', len(new))
    print('records', sum(length for _, _, length, _ in new.values()))
    print('contents', sum(length - RECORD_HEADER for _, _, length, _ in new.values()))
    print('packages', len({package for _, _, _, package in new.values()}))
    # Names each version stored anew, for the spans' changed-file lists.
    stored_by = {}
    for v in range(min(olds, default=version) + 1, version + 1):
        index = new if v == version else read_index(store, v)
        stored_by[v] = {name for name, (_, ver, _, _) in index.items() if ver == v}
    for i, old_version in enumerate(olds):
        old = read_index(store, old_version)
        changed = [length for name, (content, _, length, _) in new.items()
                   if old.get(name, (None,))[0] != content]
        written_names = set().union(*(stored_by[v] for v in range(old_version + 1, version + 1)))
        written = [length for name, (_, _, length, _) in new.items() if name in written_names]
        packages = {package for name, (_, _, _, package) in new.items() if name in written_names}
        if i == 0:
            print('changed', len(changed))
            print('changed_records', sum(changed))
            print('changed_contents', sum(length - RECORD_HEADER for length in changed))
        print('changed@%d' % old_version, len(changed))
        print('changed_records@%d' % old_version, sum(changed))
        print('written@%d' % old_version, len(written))
        print('written_records@%d' % old_version, sum(written))
        print('written_packages@%d' % old_version, len(packages))


if __name__ == '__main__':
    main()
