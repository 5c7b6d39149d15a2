// SPDX-License-Identifier: MIT
// The exported entry points. No exception may cross the library boundary.
#include <Corvane/PemCorvaneX64.h>

#include "common/CorvaneFailure.h"
#include "common/CorvaneLog.h"
#include "common/CorvaneMemory.h"
#include "format/CorvaneHash.h"
#include "fs/PemStreamFileSysImpl.h"
#include "net/PemSourceHealth.h"
#include "reader/PemCorvaneReader.h"

#include <cstdio>
#include <exception>
#include <new>

using namespace NSCorvane;

namespace
{

// The file system created by init, with an empty root.
IStreamFileSys* g_pDefaultFileSys = nullptr;

void ReportEscapedException(const char* pcszWhere, const char* pcszWhat)
{
    char szLine[512];
    std::snprintf(szLine, sizeof(szLine), "%s: unexpected exception: %s", pcszWhere, pcszWhat);
    CorvaneUtil::WriteLogLine(szLine);
}

template <typename Fn> bool Guarded(const char* pcszWhere, Fn&& fn)
{
    try
    {
        return fn();
    }
    catch (const std::exception& e)
    {
        ReportEscapedException(pcszWhere, e.what());
    }
    catch (...)
    {
        ReportEscapedException(pcszWhere, "unknown");
    }
    return false;
}

// A reader of the store in a configuration file; bListsOnly leaves the
// version's index unread (a reader of its lists only).
bool NewReaderByConfig(IPemCorvaneReader** ppReader, const char* pcszConfigFile, uint32_t uVersion,
                       bool bListsOnly)
{
    if (!ppReader)
    {
        return false;
    }
    auto* pReader = new (std::nothrow) PemCorvaneReader(0);
    if (!pReader)
    {
        return false;
    }
    if (bListsOnly)
    {
        pReader->SetListsOnly();
    }
    if (!pReader->SetupByConfig(pcszConfigFile, uVersion))
    {
        pReader->Release();
        return false;
    }
    *ppReader = pReader;
    return true;
}

} // namespace

extern "C"
{

    CORVANE_API bool g_InitCorvaneManager(IStreamFileSys* piFileSys, IStreamMemory* piMemory)
    {
        return Guarded("g_InitCorvaneManager",
                       [&]
                       {
                           // An earlier run's log goes; this run's starts with its first line.
                           CorvaneUtil::ResetLogFile();
                           CorvaneUtil::TakeLastFailure(nullptr, 0);
                           CorvaneUtil::SetErrorLogHook(&CorvaneUtil::DefaultErrorLogHook);
                           if (!g_pDefaultFileSys)
                           {
                               g_pDefaultFileSys = PemStreamFileSysImpl::Create("");
                           }
                           CorvaneUtil::CorvaneOption& option = CorvaneUtil::gOption();
                           option.piMemory = piMemory ? piMemory : &CorvaneUtil::BuiltinMemory();
                           option.piFileSys = piFileSys ? piFileSys : g_pDefaultFileSys;
                           return true;
                       });
    }

    CORVANE_API bool g_UnInitCorvaneManager()
    {
        return Guarded("g_UnInitCorvaneManager",
                       [&]
                       {
                           CorvaneUtil::SetErrorLogHook(nullptr);
                           CorvaneUtil::CorvaneOption& option = CorvaneUtil::gOption();
                           if (option.piFileSys == g_pDefaultFileSys)
                           {
                               option.piFileSys = nullptr;
                           }
                           if (g_pDefaultFileSys)
                           {
                               g_pDefaultFileSys->Release();
                               g_pDefaultFileSys = nullptr;
                           }
                           return true;
                       });
    }

    CORVANE_API bool g_NewCorvaneReader(IPemCorvaneReader** ppReader, const char* pcszDataDir,
                                        uint32_t uVersion)
    {
        return Guarded("g_NewCorvaneReader",
                       [&]
                       {
                           if (!ppReader)
                           {
                               return false;
                           }
                           auto* pReader = new (std::nothrow) PemCorvaneReader(SHO_LocalOnly);
                           if (!pReader)
                           {
                               return false;
                           }
                           if (!pReader->SetupByDir(pcszDataDir, uVersion))
                           {
                               pReader->Release();
                               return false;
                           }
                           *ppReader = pReader;
                           return true;
                       });
    }

    CORVANE_API bool g_NewCorvaneReaderByConfig(IPemCorvaneReader** ppReader, const char* pcszConfigFile,
                                                uint32_t uVersion)
    {
        return Guarded("g_NewCorvaneReaderByConfig",
                       [&] { return NewReaderByConfig(ppReader, pcszConfigFile, uVersion, false); });
    }

    CORVANE_API bool g_NewCorvaneListReaderByConfig(IPemCorvaneReader** ppReader, const char* pcszConfigFile,
                                                    uint32_t uVersion)
    {
        return Guarded("g_NewCorvaneListReaderByConfig",
                       [&] { return NewReaderByConfig(ppReader, pcszConfigFile, uVersion, true); });
    }

    CORVANE_API bool g_SetCorvaneLogPath(const char* pcszPath)
    {
        return Guarded("g_SetCorvaneLogPath",
                       [&]
                       {
                           CorvaneUtil::SetLogPath(pcszPath);
                           return true;
                       });
    }

    CORVANE_API bool g_GetCorvaneLastFailure(char* pszOut, uint32_t uSize)
    {
        return Guarded("g_GetCorvaneLastFailure",
                       [&] { return CorvaneUtil::TakeLastFailure(pszOut, uSize); });
    }

    CORVANE_API bool g_GetCorvaneTransferCounts(IPemCorvaneReader* piReader, CORVANE_TRANSFER_COUNTS* pCounts)
    {
        return Guarded("g_GetCorvaneTransferCounts",
                       [&]
                       {
                           auto* pReader = dynamic_cast<PemCorvaneReader*>(piReader);
                           if (!pReader || !pCounts ||
                               pCounts->uStructSize != sizeof(CORVANE_TRANSFER_COUNTS))
                           {
                               return false;
                           }
                           CORVANE_TRANSFER_COUNTS counts;
                           pReader->AddTransferCounts(counts);
                           *pCounts = counts;
                           return true;
                       });
    }

    CORVANE_API bool g_ResetCorvaneSources()
    {
        return Guarded("g_ResetCorvaneSources",
                       []
                       {
                           PemSourceHealth::ResetAll();
                           return true;
                       });
    }

    CORVANE_API bool g_FeedCorvaneContextHash(uint64_t* puState, const void* pData, uint32_t uSize,
                                              uint64_t* puValue)
    {
        if (!puState || (!pData && uSize))
        {
            return false;
        }
        NSCorvaneReader::ContextHashStream hash(*puState);
        hash.Feed(pData, uSize);
        *puState = hash.State();
        if (puValue)
        {
            *puValue = hash.Value();
        }
        return true;
    }

} // extern "C"
