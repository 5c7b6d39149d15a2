// SPDX-License-Identifier: MIT
// The exported entry points of PemCorvaneX64. Callers that load the library at
// run time look them up by these names; the typedefs give their signatures.
// No exception ever leaves an exported function.
#pragma once

#include <Corvane/CorvaneExport.h>
#include <Corvane/CorvaneRecords.h>
#include <Corvane/CorvaneStream.h>
#include <Corvane/IPemCorvanePacker.h>
#include <Corvane/IPemCorvaneReader.h>

extern "C"
{
    // Once per process before anything else (g_SetCorvaneLogPath may come
    // first). Removes an earlier run's log at the log's path and installs the
    // error log; the log file is created by this run's first line, so a run
    // that logs nothing leaves none. Null arguments select the library's own
    // file system and allocator. Always true.
    CORVANE_API bool g_InitCorvaneManager(NSCorvane::IStreamFileSys* piFileSys,
                                          NSCorvane::IStreamMemory* piMemory);

    // Once at the end; no reader may be used afterwards. Always true.
    CORVANE_API bool g_UnInitCorvaneManager();

    // A reader of a local store directory. uVersion _INVALID_VER means the latest.
    // On success *ppReader receives a reader the caller releases; on failure
    // *ppReader is unchanged and the reason is in the log.
    CORVANE_API bool g_NewCorvaneReader(NSCorvane::IPemCorvaneReader** ppReader, const char* pcszDataDir,
                                        uint32_t uVersion);

    // A reader of a store reached through the JSON configuration file
    // pcszConfigFile (UTF-8 path): a local cache directory backed by HTTP(S)
    // sources. Same contract as g_NewCorvaneReader; opens without an explicit
    // option look in the cache first, then ask the remote sources.
    CORVANE_API bool g_NewCorvaneReaderByConfig(NSCorvane::IPemCorvaneReader** ppReader,
                                                const char* pcszConfigFile, uint32_t uVersion);

    // A packer with the default options, for building stores. *ppPacker receives
    // an object the caller releases. False only when ppPacker is null or memory runs out.
    CORVANE_API bool g_NewCorvanePacker(NSCorvane::IPemCorvanePacker** ppPacker);

    // Where the log goes: a UTF-8 file path, its missing directories made
    // with the first line. Null or empty: "PemCorvane.log" in the current
    // directory, as looked up at each write (the default). Call it before
    // g_InitCorvaneManager so that init clears the right file; thread-safe.
    // False only when memory runs out.
    CORVANE_API bool g_SetCorvaneLogPath(const char* pcszPath);

    // Why a call failed when the system refused it, for a person: one UTF-8
    // line such as "cannot create /srv/store/dat/v3: Permission denied"
    // (operation, path, the system's reason). The library keeps one such
    // record for the whole process, not per thread, since its workers fail
    // on their own threads: the first failure since the last read (or since
    // g_InitCorvaneManager) wins, as later ones are mostly its consequences.
    // Reading clears it. On true the line is in pszOut, cut to uSize - 1
    // bytes; false, with pszOut empty, when nothing is recorded. pszOut null
    // or uSize 0 only clears. Failures without a system reason (a refused
    // path, a damaged store) leave no record: they are in the log only.
    // Thread-safe.
    CORVANE_API bool g_GetCorvaneLastFailure(char* pszOut, uint32_t uSize);
}

using PFN_g_InitCorvaneManager = bool (*)(NSCorvane::IStreamFileSys*, NSCorvane::IStreamMemory*);
using PFN_g_UnInitCorvaneManager = bool (*)();
using PFN_g_NewCorvaneReader = bool (*)(NSCorvane::IPemCorvaneReader**, const char*, uint32_t);
using PFN_g_NewCorvaneReaderByConfig = bool (*)(NSCorvane::IPemCorvaneReader**, const char*, uint32_t);
using PFN_g_NewCorvanePacker = bool (*)(NSCorvane::IPemCorvanePacker**);
using PFN_g_SetCorvaneLogPath = bool (*)(const char*);
using PFN_g_GetCorvaneLastFailure = bool (*)(char*, uint32_t);
