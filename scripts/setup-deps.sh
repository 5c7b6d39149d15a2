#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the demo
# need. Idempotent and non-interactive: runs apt-get update only when something
# is missing.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config python3
    clang libclang-rt-14-dev
    libzstd-dev zstd libxxhash-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libcurl4-openssl-dev rapidjson-dev nginx-light curl openssl rsync time
    qtbase5-dev qttools5-dev-tools qttools5-dev
    fonts-wqy-microhei xvfb
)

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
    echo "setup-deps: all ${#PACKAGES[@]} packages present"
    exit 0
fi

echo "setup-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
