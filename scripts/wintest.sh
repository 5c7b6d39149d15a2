#!/usr/bin/env bash
# Builds the library, the corvane tool and the library's tests for 64-bit
# Windows with mingw-w64 and runs the tests under wine64 through CTest:
#   scripts/wintest.sh
# 1. installs the cross compiler, Wine and nginx (Debian packages, idempotent);
# 2. adds a deb-src entry of its own and fetches the Debian source packages of
#    zstd, curl, xxhash, rapidjson and googletest (apt-get source, nothing else);
# 3. cross-builds them into build-win/deps, once: a stamp per dependency
#    skips it on later runs (rm -rf build-win/deps builds them again);
# 4. configures this project with cmake/mingw-w64.cmake into build-win and
#    builds PemCorvaneX64.dll, corvane.exe and the tests into build-win/bin;
# 5. runs the tests under Wine (CMAKE_CROSSCOMPILING_EMULATOR); nginx, a Linux
#    program, is started by the tests through Wine's support for Unix programs.
# WINTEST_CTEST_ARGS adds arguments to ctest (for example "-R corvane_net_").
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
OUT=$ROOT/build-win
DEPS=$OUT/deps
SRC=$DEPS/src
HOST=x86_64-w64-mingw32
JOBS=${JOBS:-$(nproc)}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

say() { echo "wintest: $*"; }

# --- 1. packages -----------------------------------------------------------
PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine64 dpkg-dev cmake ninja-build pkg-config make nginx-light openssl)
missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
apt_updated=0
if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    apt_updated=1
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# --- 2. source packages ----------------------------------------------------
# A deb-src entry for each deb entry of this machine, so apt-get source takes
# the same archive and release the binaries come from.
SOURCES_FILE=/etc/apt/sources.list.d/corvane-wintest-src.sources
write_deb_src() {
    local tmp f
    tmp=$(mktemp)
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -e "$f" ] && [ "$f" != "$SOURCES_FILE" ] || continue
        # deb822 stanzas: keep those of type deb, as deb-src.
        awk 'BEGIN { RS=""; ORS="\n\n" } /(^|\n)Types:[ \t]*([^\n]*[ \t])?deb([ \t]|\n|$)/ && !/deb-src/ {
                 sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >>"$tmp"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -e "$f" ] || continue
        # one-line entries: "deb [opts] uri suite comp..." becomes a stanza.
        grep -E '^[[:space:]]*deb[[:space:]]' "$f" | while read -r _ rest; do
            local opts="" uri suite comps
            if [[ $rest == \[* ]]; then opts=${rest%%]*}; opts=${opts#[}; rest=${rest#*] }; fi
            read -r uri suite comps <<<"$rest"
            printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n' "$uri" "$suite" "$comps"
            if [[ $opts == *signed-by=* ]]; then
                local key=${opts#*signed-by=}; printf 'Signed-By: %s\n' "${key%% *}"
            fi
            printf '\n'
        done >>"$tmp"
    done
    if [ ! -s "$tmp" ]; then
        say "no Debian deb entry found in /etc/apt to derive a deb-src entry from" >&2
        rm -f "$tmp"
        exit 1
    fi
    if ! cmp -s "$tmp" "$SOURCES_FILE" 2>/dev/null; then
        say "writing $SOURCES_FILE"
        $SUDO install -m 644 "$tmp" "$SOURCES_FILE"
        $SUDO apt-get update -qq
        apt_updated=1
    fi
    rm -f "$tmp"
}

# Source package -> the directory name apt-get source unpacks it into.
SOURCE_PACKAGES=(libzstd curl xxhash rapidjson googletest)
fetch_sources() {
    mkdir -p "$SRC"
    local need=0 p
    for p in "${SOURCE_PACKAGES[@]}"; do
        [ -f "$SRC/$p.dir" ] && [ -d "$SRC/$(cat "$SRC/$p.dir")" ] || need=1
    done
    [ $need -eq 1 ] || return 0
    write_deb_src
    for p in "${SOURCE_PACKAGES[@]}"; do
        [ -f "$SRC/$p.dir" ] && [ -d "$SRC/$(cat "$SRC/$p.dir")" ] && continue
        say "apt-get source $p"
        local before after
        before=$(ls "$SRC")
        # The newest version first; when a mirror lacks its sources (a
        # security update's, say), the version of each suite in turn.
        local ok=0 suite
        for suite in "" $(awk '/^Suites:/ { for (i = 2; i <= NF; i++) print $i }' "$SOURCES_FILE"); do
            if (cd "$SRC" && apt-get source -qq "$p${suite:+/$suite}" >"$SRC/apt-source.log" 2>&1); then
                ok=1
                break
            fi
        done
        if [ $ok -eq 0 ]; then
            cat "$SRC/apt-source.log" >&2
            say "apt-get source $p failed" >&2
            exit 1
        fi
        after=$(ls "$SRC")
        comm -13 <(echo "$before") <(echo "$after") | while read -r d; do
            if [ -d "$SRC/$d" ]; then echo "$d" >"$SRC/$p.dir"; fi
        done
        [ -f "$SRC/$p.dir" ] || { say "apt-get source $p unpacked nothing" >&2; exit 1; }
    done
}

# --- 3. cross-built dependencies ------------------------------------------
TOOLCHAIN=$ROOT/cmake/mingw-w64.cmake
dep_cmake() { # name, source dir, cmake args...
    local name=$1 dir=$2; shift 2
    local bdir=$DEPS/build/$name
    cmake -S "$dir" -B "$bdir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCORVANE_WIN_DEPS="$DEPS" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$DEPS" -DCMAKE_CROSSCOMPILING_EMULATOR= "$@" >/dev/null
    nice -n 10 cmake --build "$bdir" -j "$JOBS" >/dev/null
    cmake --install "$bdir" >/dev/null
}

build_dep() { # name, function: skipped when its stamp is there
    local name=$1 fn=$2 start=$SECONDS
    if [ -f "$DEPS/stamp/$name" ]; then return 0; fi
    say "cross-building $name"
    "$fn" "$SRC/$(cat "$SRC/$name.dir")"
    mkdir -p "$DEPS/stamp"
    echo "built $(date -u +%FT%TZ) in $((SECONDS - start)) s" >"$DEPS/stamp/$name"
}

build_zstd() {
    # Static, linked into the library as on Linux; no programs, no threads
    # library beyond the compiler's own.
    dep_cmake zstd "$1/build/cmake" -DZSTD_BUILD_PROGRAMS=OFF -DZSTD_BUILD_SHARED=OFF \
        -DZSTD_BUILD_STATIC=ON -DZSTD_BUILD_TESTS=OFF -DZSTD_LEGACY_SUPPORT=OFF
    write_pc libzstd "-lzstd"
}

build_xxhash() {
    # One C file; its Makefile knows no cross compiler names.
    local bdir=$DEPS/build/xxhash
    mkdir -p "$bdir" "$DEPS/include" "$DEPS/lib"
    $HOST-gcc-posix -O2 -c "$1/xxhash.c" -o "$bdir/xxhash.o"
    rm -f "$DEPS/lib/libxxhash.a"
    $HOST-ar rcs "$DEPS/lib/libxxhash.a" "$bdir/xxhash.o"
    cp "$1/xxhash.h" "$DEPS/include/"
    write_pc libxxhash "-lxxhash"
}

build_rapidjson() {
    dep_cmake rapidjson "$1" -DRAPIDJSON_BUILD_DOC=OFF -DRAPIDJSON_BUILD_EXAMPLES=OFF \
        -DRAPIDJSON_BUILD_TESTS=OFF -DRAPIDJSON_BUILD_THIRDPARTY_GTEST=OFF
}

build_googletest() {
    dep_cmake googletest "$1" -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF -DBUILD_SHARED_LIBS=OFF
}

build_curl() {
    # A DLL beside the programs, loaded at run time as on Windows. Schannel for
    # TLS (the system's certificate store), HTTP and HTTPS only. curl's own
    # makefile for mingw takes the prepared Windows configuration; its CMake
    # build spends minutes probing the compiler first.
    local dir=$1
    rm -rf "${dir:?}/lib/$HOST" # objects of an earlier, other configuration
    CPPFLAGS="-DHTTP_ONLY -DCURL_DISABLE_NTLM -DCURL_DISABLE_COOKIES -DCURL_DISABLE_ALTSVC -DCURL_DISABLE_HSTS \
-DCURL_DISABLE_DOH -DCURL_DISABLE_MIME -DCURL_DISABLE_NETRC -DCURL_DISABLE_PROGRESS_METER -DCURL_DISABLE_SOCKETPAIR -DCURL_DISABLE_KERBEROS_AUTH -DCURL_DISABLE_NEGOTIATE_AUTH" \
    LDFLAGS="-static-libgcc" \
        nice -n 10 make -s -C "$dir/lib" -f Makefile.mk -j "$JOBS" CROSSPREFIX="$HOST-" CC="$HOST-gcc-posix" TRIPLET=$HOST \
        CFG=-schannel-sspi-ipv6 all >/dev/null
    mkdir -p "$DEPS/bin" "$DEPS/lib" "$DEPS/include"
    cp "$dir/lib/libcurl.dll" "$DEPS/bin/"
    cp "$dir/lib/libcurl.dll.a" "$DEPS/lib/"
    # What find_package(CURL) reads: the headers are all the library uses,
    # taken from the source package where they are.
    mkdir -p "$DEPS/lib/cmake/CURL"
    cat >"$DEPS/lib/cmake/CURL/CURLConfig.cmake" <<CURLCFG
if(NOT TARGET CURL::libcurl)
    add_library(CURL::libcurl SHARED IMPORTED)
    set_target_properties(CURL::libcurl PROPERTIES
        IMPORTED_LOCATION "$DEPS/bin/libcurl.dll" IMPORTED_IMPLIB "$DEPS/lib/libcurl.dll.a"
        INTERFACE_INCLUDE_DIRECTORIES "$dir/include")
endif()
set(CURL_FOUND TRUE)
set(CURL_INCLUDE_DIRS "$dir/include")
CURLCFG
}

write_pc() { # name, libs
    mkdir -p "$DEPS/lib/pkgconfig"
    printf 'prefix=%s\nincludedir=${prefix}/include\nlibdir=${prefix}/lib\n\nName: %s\nDescription: %s cross-built for Windows\nVersion: 0\nLibs: -L${libdir} %s\nCflags: -I${includedir}\n' \
        "$DEPS" "$1" "$1" "$2" >"$DEPS/lib/pkgconfig/$1.pc"
}

dep_start=$SECONDS
fetch_sources
build_dep libzstd build_zstd
build_dep xxhash build_xxhash
build_dep rapidjson build_rapidjson
build_dep googletest build_googletest
build_dep curl build_curl
say "dependencies ready in $((SECONDS - dep_start)) s ($DEPS)"

# --- 4. this project -------------------------------------------------------
export WINEPREFIX=$OUT/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINESERVER=/usr/lib/wine/wineserver64
# The tests live in build-win/tests; libcurl.dll beside the library in build-win/bin.
WINEPATH="Z:$(echo "$OUT/bin" | tr / '\\')"
export WINEPATH
WINE=/usr/lib/wine/wine64
CCACHE_ARGS=()
if command -v ccache >/dev/null; then
    CCACHE_ARGS=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
say "configuring build-win"
cmake -S "$ROOT" -B "$OUT" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCORVANE_WIN_DEPS="$DEPS" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_TEST_BUILD=ON -DCORVANE_BUILD_LAUNCHER=OFF \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$ROOT/scripts/wine-run.sh" -DRapidJSON_DIR="$DEPS/cmake" -DCURL_DIR="$DEPS/lib/cmake/CURL" "${CCACHE_ARGS[@]}" >/dev/null
build_start=$SECONDS
nice -n 10 cmake --build "$OUT" -j "$JOBS"
# libcurl is loaded at run time from beside the library, as it is deployed.
cp -u "$DEPS"/bin/*.dll "$OUT/bin/"
say "built in $((SECONDS - build_start)) s: $(cd "$OUT/bin" && ls ./*.dll ./*.exe | tr '\n' ' ')"

# --- 5. under Wine -----------------------------------------------------------
# One Wine server for the whole run; the prefix is made on first use.
# Also starts Wine's services with their output on /dev/null: started by the
# first test instead, they would hold CTest's output pipe open.
"$WINESERVER" -p 60 2>/dev/null || true # already running: fine
boot=()
if [ ! -f "$WINEPREFIX/system.reg" ]; then say "creating the Wine prefix"; boot=(-i); fi
"$WINE" wineboot "${boot[@]}" >/dev/null 2>&1 </dev/null || true

bash "$ROOT/scripts/winsmoke.sh" "$OUT"

say "library tests under Wine"
cd "$OUT"
# shellcheck disable=SC2086
ctest --output-on-failure -j "$JOBS" --timeout 600 ${WINTEST_CTEST_ARGS:-}
