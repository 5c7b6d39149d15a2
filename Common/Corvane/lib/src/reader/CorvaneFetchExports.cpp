// SPDX-License-Identifier: MIT
// The fetch plan's exported entry points. Until the scheduler lands, no
// reader takes a plan, and opens fetch as they always have.
#include <Corvane/PemCorvaneX64.h>

#include "reader/PemCorvaneReader.h"

using namespace NSCorvane;

extern "C"
{
    CORVANE_API bool g_PlanCorvaneFetch(IPemCorvaneReader*, const char* const*, uint32_t, uint32_t)
    {
        return false;
    }

    CORVANE_API bool g_GetCorvaneFetchProgress(IPemCorvaneReader* piReader, CORVANE_FETCH_PROGRESS* pProgress)
    {
        if (!dynamic_cast<PemCorvaneReader*>(piReader) || !pProgress ||
            pProgress->uStructSize != sizeof(CORVANE_FETCH_PROGRESS))
        {
            return false;
        }
        *pProgress = CORVANE_FETCH_PROGRESS();
        return true;
    }

    CORVANE_API bool g_EndCorvaneFetch(IPemCorvaneReader* piReader)
    {
        return dynamic_cast<PemCorvaneReader*>(piReader) != nullptr;
    }

} // extern "C"
