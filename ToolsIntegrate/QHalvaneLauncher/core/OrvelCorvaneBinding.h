// The process-wide binding of the store library: loaded by file name from one
// directory (the program's own unless set before first use), its entry points
// resolved once and its manager initialised once per process. Never unloaded.
// Every member is thread-safe (one process-wide mutex).
#pragma once

#include <Corvane/PemCorvaneX64.h>

#include <QString>

namespace OrvelCorvaneBinding
{

struct EntryPoints
{
    PFN_g_InitCorvaneManager pfnInit = nullptr;
    PFN_g_NewCorvaneReaderByConfig pfnNewReaderByConfig = nullptr;
    // Null with a library that predates it: a full reader serves instead.
    PFN_g_NewCorvaneListReaderByConfig pfnNewListReaderByConfig = nullptr;
    PFN_g_UnInitCorvaneManager pfnUnInit = nullptr;             // may be missing
    PFN_g_GetCorvaneTransferCounts pfnTransferCounts = nullptr; // may be missing (older library)
    // The fetch plan; each may be missing (older library): opens then fetch one by one.
    PFN_g_PlanCorvaneFetch pfnPlanFetch = nullptr;
    PFN_g_GetCorvaneFetchProgress pfnFetchProgress = nullptr;
    PFN_g_EndCorvaneFetch pfnEndFetch = nullptr;
    PFN_g_NextCorvaneFetchArrival pfnNextArrival = nullptr;
    PFN_g_ResetCorvaneSources pfnResetSources = nullptr;       // may be missing (older library)
    PFN_g_GetCorvaneTrustState pfnTrustState = nullptr;        // may be missing (older library)
    PFN_g_GetCorvaneLastFailure pfnLastFailure = nullptr;      // may be missing (older library)
    PFN_g_FeedCorvaneContextHash pfnFeedContextHash = nullptr; // may be missing (older library)

    // The reader maker: of the version's lists only where the library has one.
    PFN_g_NewCorvaneReaderByConfig NewReader(bool bListsOnly) const
    {
        return bListsOnly && pfnNewListReaderByConfig != nullptr ? pfnNewListReaderByConfig
                                                                 : pfnNewReaderByConfig;
    }
};

// Where the library is looked for; effective only before the first load.
void SetLibraryDirectory(const QString& strDir);
QString LibraryPath();

// Loads the library, resolves the entry points and initialises the manager
// (each at most once per process). False with the error text of the step
// that failed; a failed load is tried again by the next call.
bool Bind(EntryPoints* pEntryPoints, QString* pstrError);

// A new task begins: sources that failed in the last one are asked again.
// Nothing when the library is not bound yet or predates the call.
void ResetSources();

} // namespace OrvelCorvaneBinding
