#!/usr/bin/env python3
# The release corpus of bench/sync.sh: consecutive published releases of a few
# npm packages (native compilers among them), one tree per release index.
#
#   sync_corpus.py CORPUS_DIR RELEASES
#
# Release i is the i-th version of every package in PACKAGES below, each
# unpacked into its own directory of CORPUS_DIR/trees/rNN. Tarballs are kept in
# CORPUS_DIR/tgz and the trees stay until the package table or LAYOUT changes,
# so a second run downloads and unpacks nothing. Prints the tree directories,
# one a line, oldest first.
#
# Paths are laid out in lower case, as the store keeps them, so every side of
# the benchmark writes the same names. Every file keeps the time its archive
# gives it, as tar -x does: npm archives fix every file's time to one date, so
# a changed file of the same size looks unchanged by size and time. Whatever
# packs, copies or updates these trees must look at content, as it must for
# any release unpacked from such archives.
import io
import json
import os
import shutil
import subprocess
import sys
import tarfile

# (package, consecutive published versions): at least as many as the most
# releases asked for. Chosen from `npm view PKG versions`, stable releases only.
PACKAGES = [
    ('@next/swc-linux-x64-gnu',
     ['16.2.0', '16.2.1', '16.2.2', '16.2.3', '16.2.4', '16.2.5', '16.2.6', '16.2.7', '16.2.8', '16.2.9',
      '16.2.10', '16.2.11', '16.2.12', '16.3.0', '16.3.1', '16.3.2']),
    ('@swc/core-linux-x64-gnu',
     ['1.15.0', '1.15.1', '1.15.2', '1.15.3', '1.15.4', '1.15.5', '1.15.6', '1.15.7', '1.15.8', '1.15.10',
      '1.15.11', '1.15.13', '1.15.17', '1.15.18', '1.15.21', '1.15.24']),
    ('@esbuild/linux-x64',
     ['0.25.0', '0.25.1', '0.25.2', '0.25.3', '0.25.4', '0.25.5', '0.25.6', '0.25.7', '0.25.8', '0.25.9',
      '0.25.10', '0.25.11', '0.25.12', '0.26.0', '0.27.0', '0.27.1']),
    ('typescript',
     ['5.4.2', '5.4.3', '5.4.4', '5.4.5', '5.5.2', '5.5.3', '5.5.4', '5.6.2', '5.6.3', '5.7.2', '5.7.3',
      '5.8.2', '5.8.3', '5.9.2', '5.9.3', '6.0.2']),
    ('caniuse-lite',
     ['1.0.30001700', '1.0.30001701', '1.0.30001702', '1.0.30001703', '1.0.30001704', '1.0.30001705',
      '1.0.30001706', '1.0.30001707', '1.0.30001709', '1.0.30001710', '1.0.30001711', '1.0.30001712',
      '1.0.30001713', '1.0.30001714', '1.0.30001715', '1.0.30001716']),
]

# Bumped when the way a tree is laid out changes, so that older trees are
# unpacked anew.
LAYOUT = 2


def tarball_name(package, version):
    # What `npm pack` names it: scope without '@', '/' as '-'.
    return '%s-%s.tgz' % (package.lstrip('@').replace('/', '-'), version)


def fetch_tarballs(tgz_dir, specs):
    missing = [(p, v) for p, v in specs if not os.path.exists(os.path.join(tgz_dir, tarball_name(p, v)))]
    if not missing:
        return
    os.makedirs(tgz_dir, exist_ok=True)
    print('sync_corpus: fetching %d tarballs with npm pack ...' % len(missing), file=sys.stderr)
    part = tgz_dir + '.part'
    shutil.rmtree(part, ignore_errors=True)
    os.makedirs(part)
    # A few at a time: one npm start-up per group, not per tarball.
    for i in range(0, len(missing), 8):
        group = ['%s@%s' % pv for pv in missing[i:i + 8]]
        subprocess.run(['npm', 'pack', '--silent', '--pack-destination', part] + group, check=True,
                       stdout=subprocess.DEVNULL)
    for p, v in missing:
        os.replace(os.path.join(part, tarball_name(p, v)), os.path.join(tgz_dir, tarball_name(p, v)))
    shutil.rmtree(part)


def unpack(tgz, dest):
    # Every regular file, without the tarball's top directory, in lower case,
    # extracted by tarfile itself so that it keeps the archive's time.
    seen = set()
    with tarfile.open(tgz, 'r:gz') as tar:
        for member in tar:
            if not member.isfile():
                continue
            parts = member.name.split('/')[1:]
            if not parts or any(p in ('', '.', '..') for p in parts):
                continue
            rel = '/'.join(parts).lower()
            if rel in seen:
                sys.exit('sync_corpus: %s has two files named %s in lower case' % (tgz, rel))
            seen.add(rel)
            member.name = rel
            member.mode = 0o755 if member.mode & 0o111 else 0o644
            # 'data': no owner taken from the archive, nothing outside dest.
            tar.extract(member, dest, filter='data')


def build_tree(tgz_dir, index, dest):
    part = dest + '.part'
    shutil.rmtree(part, ignore_errors=True)
    for package, versions in PACKAGES:
        sub = package.lstrip('@').replace('/', '-')
        unpack(os.path.join(tgz_dir, tarball_name(package, versions[index])), os.path.join(part, sub))
    os.replace(part, dest)


def main():
    if len(sys.argv) != 3:
        sys.exit('usage: sync_corpus.py CORPUS_DIR RELEASES')
    corpus, releases = sys.argv[1], int(sys.argv[2])
    if releases < 2 or any(len(v) < releases for _, v in PACKAGES):
        sys.exit('sync_corpus: between 2 and %d releases' % min(len(v) for _, v in PACKAGES))
    tgz_dir, trees = os.path.join(corpus, 'tgz'), os.path.join(corpus, 'trees')
    manifest = json.dumps({'layout': LAYOUT, 'packages': PACKAGES}, indent=1)
    manifest_file = os.path.join(trees, 'packages.json')
    if os.path.exists(manifest_file) and open(manifest_file).read() != manifest:
        print('sync_corpus: the package table or the layout changed, rebuilding the trees', file=sys.stderr)
        shutil.rmtree(trees)
    os.makedirs(trees, exist_ok=True)
    with open(manifest_file, 'w') as f:
        f.write(manifest)

    fetch_tarballs(tgz_dir, [(p, v[i]) for p, v in PACKAGES for i in range(releases)])
    for i in range(releases):
        dest = os.path.join(trees, 'r%02d' % (i + 1))
        if not os.path.isdir(dest):
            print('sync_corpus: unpacking release %d ...' % (i + 1), file=sys.stderr)
            build_tree(tgz_dir, i, dest)
        print(dest)


if __name__ == '__main__':
    main()
