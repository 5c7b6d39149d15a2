#!/usr/bin/env bash
# Compiles every Windows-only source (each platform/win32 folder) with the
# mingw-w64 cross compiler, syntax only: nothing else builds them on Linux, and
# the third-party Windows libraries are not installed here. Qt's Linux headers
# stand in for its Windows ones; they differ only in what these files do not use.
set -euo pipefail
cd "$(dirname "$0")/.."
CXX=${WIN_CXX:-x86_64-w64-mingw32-g++-posix}
QT_INC=$(pkg-config --variable=includedir Qt5Core 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt5)
FLAGS=(-std=c++17 -fsyntax-only -Wall -Wextra -Werror -Wno-unknown-pragmas -Wno-attributes
       -DUNICODE -D_UNICODE -I Common/Corvane/lib/include -I "$QT_INC" -I "$QT_INC/QtCore")

mapfile -t sources < <(git ls-files '*/platform/win32/*.cpp')
failed=0
for src in "${sources[@]}"; do
    # Sources include their own folder's headers as "platform/...", test
    # support as "support/platform/...".
    root=${src%%/platform/win32/*}
    if ! "$CXX" "${FLAGS[@]}" -I "$root" -I "$(dirname "$root")" "$src"; then
        echo "wincheck: $src does not compile for Windows" >&2
        failed=1
    fi
done
echo "wincheck: ${#sources[@]} Windows sources checked"
exit $failed
