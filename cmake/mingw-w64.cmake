# Cross-build for 64-bit Windows with mingw-w64 (posix threads), run under wine64.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCORVANE_WIN_DEPS=<prefix> ...
# CORVANE_WIN_DEPS is the prefix the cross-built dependencies are installed in
# (scripts/wintest.sh: build-win/deps).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)

# try_compile projects read this file again; hand the prefix on to them.
if(NOT CORVANE_WIN_DEPS AND DEFINED ENV{CORVANE_WIN_DEPS})
    set(CORVANE_WIN_DEPS $ENV{CORVANE_WIN_DEPS})
endif()
set(ENV{CORVANE_WIN_DEPS} "${CORVANE_WIN_DEPS}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVANE_WIN_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw} ${CORVANE_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(CORVANE_WIN_DEPS)
    # pkg-config must see the Windows .pc files only, never the host's.
    set(ENV{PKG_CONFIG_LIBDIR} "${CORVANE_WIN_DEPS}/lib/pkgconfig")
    set(ENV{PKG_CONFIG_PATH} "")
    set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()

# The compiler's own runtime (libstdc++, libgcc, winpthread) goes into each
# program and DLL, so the build folder runs as it stands.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Programs built here run under Wine: tests, and CTest's test discovery,
# through a wrapper that repeats a start Wine itself broke.
find_program(CORVANE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(CORVANE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
endif()
