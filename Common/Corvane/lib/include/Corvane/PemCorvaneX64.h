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
    // Once per process before anything else. Truncates "PemCorvane.log" in the
    // current directory and installs the error log. Null arguments select the
    // library's own file system and allocator. Always true.
    CORVANE_API bool g_InitCorvaneManager(NSCorvane::IStreamFileSys* piFileSys, NSCorvane::IStreamMemory* piMemory);

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
}

using PFN_g_InitCorvaneManager = bool (*)(NSCorvane::IStreamFileSys*, NSCorvane::IStreamMemory*);
using PFN_g_UnInitCorvaneManager = bool (*)();
using PFN_g_NewCorvaneReader = bool (*)(NSCorvane::IPemCorvaneReader**, const char*, uint32_t);
using PFN_g_NewCorvaneReaderByConfig = bool (*)(NSCorvane::IPemCorvaneReader**, const char*, uint32_t);
using PFN_g_NewCorvanePacker = bool (*)(NSCorvane::IPemCorvanePacker**);
