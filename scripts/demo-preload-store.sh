#!/usr/bin/env bash
# Builds the demo's preload stores into OUT_DIR, for run-demo.sh:
#   OUT_DIR/general_store  the client-products store the preloaded packs come
#                          from (serve it over HTTP; the launcher's
#                          client-products configuration points at it)
#   OUT_DIR/preloadMap     the local preload store: "_preloadtable.json" and one
#                          "<name>.list" per item (the launcher reads it from
#                          "./preloadMap" beside itself)
#   scripts/demo-preload-store.sh OUT_DIR [CORVANE]
# CORVANE is the store tool (default build/bin/corvane). Re-running rebuilds both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: demo-preload-store.sh OUT_DIR [CORVANE]}
corvane=${2:-$root/build/bin/corvane}
[ -x "$corvane" ] || { echo "demo-preload-store: no store tool at $corvane" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Content packs: a few files each, of sizes that make the download visible.
content=$work/content
blob() { # blob FILE KIB SEED
    mkdir -p "$(dirname "$1")"
    head -c "$(( $2 * 1024 ))" /dev/zero | openssl enc -aes-128-ctr -nosalt -pass "pass:$3" 2>/dev/null >"$1" ||
        head -c "$(( $2 * 1024 ))" /dev/urandom >"$1"
}
for i in 1 2 3; do blob "$content/packs/core/core_$i.bin" 512 "core$i"; done
for i in 1 2 3 4; do blob "$content/packs/textures_hd/tex_$i.dds" 768 "hd$i"; done
for i in 1 2; do blob "$content/packs/textures_ld/tex_$i.dds" 256 "ld$i"; done
for i in 1 2 3; do blob "$content/packs/sounds/amb_$i.ogg" 384 "snd$i"; done
blob "$content/packs/maps/harbor.map" 1024 maps
rm -rf "$out/general_store"
"$corvane" pack --root "$content" --store "$out/general_store" --version 1 --level 3 \
    --package-size 1048576 --release-text "Demo content packs" >/dev/null

# The table and its lists; sizes are what the packs weigh.
table=$work/table
mkdir -p "$table"
list() { # list NAME DIR: every file of content/DIR, one store path a line (CRLF, as edited on Windows)
    (cd "$content" && find "packs/$2" -type f | sort | sed 's/$/\r/') >"$table/$1.list"
}
size() { find "$content/packs/$1" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }'; }
list "核心必备" core
list "Textures_HD" textures_hd
list "Textures_LD" textures_ld
list "Sounds" sounds
list "Maps" maps
cat >"$table/_preloadtable.json" <<JSON
[
  {"Name": "核心必备", "PakSize": $(size core)},
  {"Name": "Textures_HD", "PakSize": "$(size textures_hd)"},
  {"Name": "Textures_LD", "PakSize": $(size textures_ld)},
  {"Name": "Sounds", "PakSize": $(size sounds)},
  {"Name": "Maps", "PakSize": $(size maps)}
]
JSON
rm -rf "$out/preloadMap"
"$corvane" pack --root "$table" --store "$out/preloadMap" --version 1 --level 3 \
    --release-text "Demo preload table" >/dev/null
echo "$out/general_store"
echo "$out/preloadMap"
