#!/usr/bin/env python3
# Compressed sizes of a store version, read from its index (dat/vV/_index):
#
#   sync_store_sizes.py STORE V [OLD_V]
#
# Prints "files N", "records BYTES" (the sum of the version's file records,
# each 225 header bytes plus its compressed content, wherever it is stored)
# and "contents BYTES" (the compressed contents alone). With OLD_V, the same
# sums over the files of V that are new or whose content differs from OLD_V:
# "changed N", "changed_records BYTES", "changed_contents BYTES".
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
    for name_hash, content_hash, _ver, _pkg, _ofs, length in struct.iter_unpack('<QQIIII', data[4:]):
        elements[name_hash] = (content_hash, length)
    return elements


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit('usage: sync_store_sizes.py STORE V [OLD_V]')
    store, version = sys.argv[1], int(sys.argv[2])
    new = read_index(store, version)
    print('files', len(new))
    print('records', sum(length for _, length in new.values()))
    print('contents', sum(length - RECORD_HEADER for _, length in new.values()))
    if len(sys.argv) == 4:
        old = read_index(store, int(sys.argv[3]))
        changed = [length for name, (content, length) in new.items() if old.get(name, (None,))[0] != content]
        print('changed', len(changed))
        print('changed_records', sum(changed))
        print('changed_contents', sum(length - RECORD_HEADER for length in changed))


if __name__ == '__main__':
    main()
