#!/usr/bin/env bash
# Copies a store to a static host in the order that keeps every client
# consistent: data packages first, then each version's index and lists, and
# the version marker idx/_lastver last. Until the marker changes no client asks
# for the new version; once it changes, every file of that version is there.
# rsync writes each file under a temporary name and renames it, so no client
# ever reads half a file. Nothing is deleted: clients in the middle of an
# update still read older versions.
#
#   scripts/publish-store.sh STORE DEST      # DEST: a directory or host:/path
#
# The store's own scratch directory (_tmp) is not published.
set -euo pipefail

[ $# -eq 2 ] || { sed -n '9p' "$0" | sed 's/^#  *//' >&2; exit 2; }
store=${1%/}
dest=${2%/}
[ -f "$store/idx/_lastver" ] || { echo "publish-store.sh: $store holds no store (no idx/_lastver)" >&2; exit 1; }
command -v rsync >/dev/null || { echo "publish-store.sh: rsync is needed" >&2; exit 1; }

# 1. Data packages: dat/v<N>/<n>/<m>.dat.
rsync -a --exclude '/_tmp/' --exclude '/idx/' --exclude '/dat/v*/_*' "$store/" "$dest/"
# 2. Each version's index and lists: dat/v<N>/_index, _dirtree, _fileinf, ...
rsync -a --exclude '/_tmp/' --exclude '/idx/' "$store/" "$dest/"
# 3. The version marker, last. Always copied (-I): every marker has the same
# size, and one written in the same second as the last would look unchanged.
rsync -a -I "$store/idx/" "$dest/idx/"
