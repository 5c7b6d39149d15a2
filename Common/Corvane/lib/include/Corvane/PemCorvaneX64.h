// SPDX-License-Identifier: MIT
// The exported entry points of PemCorvaneX64. Callers that load the library at
// run time look them up by these names; the typedefs give their signatures.
// No exception ever leaves an exported function.
#pragma once

#include <Corvane/CorvaneExport.h>
#include <Corvane/CorvaneRecords.h>
#include <Corvane/CorvaneStream.h>
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
}

using PFN_g_InitCorvaneManager = bool (*)(NSCorvane::IStreamFileSys*, NSCorvane::IStreamMemory*);
using PFN_g_UnInitCorvaneManager = bool (*)();
using PFN_g_NewCorvaneReader = bool (*)(NSCorvane::IPemCorvaneReader**, const char*, uint32_t);
