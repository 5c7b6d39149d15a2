// SPDX-License-Identifier: MIT
// The fetch plan's exported entry points.
#include <Corvane/PemCorvaneX64.h>

#include "reader/PemCorvaneReader.h"

using namespace NSCorvane;

extern "C"
{
    CORVANE_API bool g_PlanCorvaneFetch(IPemCorvaneReader* piReader, const char* const* ppszPaths,
                                        uint32_t uCount, uint32_t uFlags)
    {
        try
        {
            auto* pReader = dynamic_cast<PemCorvaneReader*>(piReader);
            return pReader && pReader->PlanFetch(ppszPaths, uCount, uFlags);
        }
        catch (...)
        {
            return false;
        }
    }

    CORVANE_API bool g_GetCorvaneFetchProgress(IPemCorvaneReader* piReader, CORVANE_FETCH_PROGRESS* pProgress)
    {
        try
        {
            auto* pReader = dynamic_cast<PemCorvaneReader*>(piReader);
            if (!pReader || !pProgress || pProgress->uStructSize != sizeof(CORVANE_FETCH_PROGRESS))
            {
                return false;
            }
            *pProgress = CORVANE_FETCH_PROGRESS();
            pReader->Fetch().Progress(*pProgress);
            if (pProgress->uFilesPlanned != 0)
            {
                pProgress->uBytesPerSecond = pReader->GetDownloadSpeed();
            }
            return true;
        }
        catch (...)
        {
            return false;
        }
    }

    CORVANE_API int g_NextCorvaneFetchArrival(IPemCorvaneReader* piReader, uint32_t* puIndex,
                                              uint32_t uWaitMs)
    {
        try
        {
            auto* pReader = dynamic_cast<PemCorvaneReader*>(piReader);
            if (!pReader || !puIndex)
            {
                return -1;
            }
            return pReader->Fetch().NextArrival(puIndex, uWaitMs);
        }
        catch (...)
        {
            return -1;
        }
    }

    CORVANE_API bool g_EndCorvaneFetch(IPemCorvaneReader* piReader)
    {
        try
        {
            auto* pReader = dynamic_cast<PemCorvaneReader*>(piReader);
            if (!pReader)
            {
                return false;
            }
            pReader->Fetch().End();
            return true;
        }
        catch (...)
        {
            return false;
        }
    }

} // extern "C"
