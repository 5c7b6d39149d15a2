#!/usr/bin/env bash
# Builds the demo tool suite of three versions and packs it into a store:
#   scripts/demo-store.sh BUILD_DIR DEMO_DIR
# DEMO_DIR/store is the published store; DEMO_DIR/trees/vN the trees packed.
# Each version holds the demo editor at the editor's path, its version.txt and
# changelog.txt, and a few hundred generated files in nested folders. Version 3
# also publishes the launcher under editortool/qhalvanelauncher: the launcher,
# library and updater of BUILD_DIR/bin as they are, plus release notes a
# launcher deployed from that build lacks, so that it is offered its self-update.
set -euo pipefail
build=$1
demo=$2
rm -rf "$demo/trees" "$demo/store"
mkdir -p "$demo/trees"
python3 - "$demo/trees" <<'PY'
import os, random, sys
root = sys.argv[1]
areas = ["assets/textures", "assets/meshes/props", "assets/meshes/chars", "shaders/common",
         "shaders/post", "config/editor", "plugins/terrain", "plugins/physics/solvers", "docs/manual"]
notes = {
    1: ["First demo release of the tool suite."],
    2: ["Shaders: faster post effects.", "Props: 12 meshes updated.", "New physics solver settings."],
    3: ["Editor config: new default layout.", "Textures: 20 refreshed.", "Removed old manual pages."],
}
rng = random.Random(20261207)
files = {}
for i in range(320):
    area = areas[i % len(areas)]
    files[f"{area}/item_{i:03d}.dat"] = rng.randbytes(200 + (i * 37) % 3000)
for version in (1, 2, 3):
    if version == 2:
        for i in range(0, 320, 9):
            files[f"{areas[i % len(areas)]}/item_{i:03d}.dat"] = rng.randbytes(400 + i)
        for i in range(12):
            files[f"plugins/physics/solvers/new_{i:02d}.cfg"] = f"solver {i} v2\n".encode()
    if version == 3:
        for i in range(1, 320, 16):
            files[f"{areas[i % len(areas)]}/item_{i:03d}.dat"] = rng.randbytes(500 + i)
        for name in [n for n in files if n.startswith("docs/manual/")][:10]:
            del files[name]
    tree = os.path.join(root, f"v{version}")
    for name, data in files.items():
        path = os.path.join(tree, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    editor = os.path.join(tree, "editortool/qhalvaneeditor")
    os.makedirs(editor, exist_ok=True)
    with open(os.path.join(editor, "version.txt"), "w") as f:
        f.write(f"{version}\n")
    with open(os.path.join(tree, "changelog.txt"), "w") as f:
        f.write(f"Demo tool suite {version}\n\n" + "".join(f"- {n}\n" for n in notes[version]))
PY
launcher=$demo/trees/v3/editortool/qhalvanelauncher
mkdir -p "$launcher"
cp "$build/bin/QHalvaneLauncher" "$launcher/qhalvanelauncher"
cp "$build/bin/libPemCorvaneX64.so" "$launcher/libpemcorvanex64.so"
cp "$build/bin/orvelupdater" "$launcher/orvelupdater"
cat >"$launcher/launcher_release_notes.txt" <<'NOTES'
QHalvaneLauncher release notes (demo, tool suite version 3)

- The launcher now keeps these release notes beside itself.
- The launcher is published with the tool suite and updates itself when its
  own files differ from the published ones.
NOTES
# The demo store is signed, as a studio's would be; the demo launcher trusts
# DEMO_DIR/signing.key.pub. The key is kept across runs.
key=$demo/signing.key
[ -f "$key" ] || "$build/bin/corvane" keygen "$key" >/dev/null
for v in 1 2 3; do
    cp "$build/bin/orvel_demo_editor" "$demo/trees/v$v/editortool/qhalvaneeditor/qhalvaneeditorx64"
    "$build/bin/corvane" pack --root "$demo/trees/v$v" --store "$demo/store" --version "$v" \
        --release-text "Demo release $v" --sign "$key" >/dev/null
done
echo "demo store: $demo/store (versions 1-3, signed with $key)"
