#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the demo
# need. Idempotent and non-interactive: runs apt-get update only when something
# is missing.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config python3 locales
    clang libclang-rt-14-dev
    libzstd-dev zstd libxxhash-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libcurl4-openssl-dev libssl-dev rapidjson-dev nginx-light curl openssl rsync time strace
    qtbase5-dev qttools5-dev-tools qttools5-dev
    fonts-wqy-microhei xvfb
    g++-mingw-w64-x86-64-posix
)

# Locales the tests run under: store paths must not change with the locale.
LOCALES=("tr_TR UTF-8 tr_TR.UTF-8 tr_TR.utf8" "de_DE ISO-8859-1 de_DE.ISO-8859-1 de_DE.iso88591")

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

make_locales() {
    local entry input charmap name listed
    for entry in "${LOCALES[@]}"; do
        read -r input charmap name listed <<<"$entry"
        if ! locale -a 2>/dev/null | grep -qx "$listed"; then
            echo "setup-deps: generating locale $name"
            # Exit status 1 means warnings only; whether it worked is what locale -a lists.
            $SUDO localedef -c -i "$input" -f "$charmap" "$name" || true
            locale -a 2>/dev/null | grep -qx "$listed" || {
                echo "setup-deps: localedef $name failed" >&2
                exit 1
            }
        fi
    done
}

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
# bench/sync.sh builds its corpus with npm; a machine may have it from its own
# Node.js package already, which Debian's npm would conflict with.
if ! command -v npm >/dev/null; then
    missing+=(npm)
fi

if [ ${#missing[@]} -eq 0 ]; then
    make_locales
    echo "setup-deps: all ${#PACKAGES[@]} packages and ${#LOCALES[@]} locales present"
    exit 0
fi

echo "setup-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
make_locales
