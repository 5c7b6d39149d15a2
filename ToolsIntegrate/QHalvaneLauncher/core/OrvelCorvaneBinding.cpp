#include "OrvelCorvaneBinding.h"

#include "platform/OrvelLibrary.h"
#include "platform/OrvelPlatformNames.h"

#include <QCoreApplication>

#include <mutex>

namespace OrvelCorvaneBinding
{

namespace
{

struct BindingState
{
    std::mutex mutex;
    QString strLibraryDir;
    void* pLibrary = nullptr;
    EntryPoints entryPoints;
    bool bResolved = false;
    bool bManagerInitialised = false;
};

BindingState& State()
{
    static BindingState s_state;
    return s_state;
}

// The texts of this file, in the OrvelFileService translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelFileService)
};

QString LibraryPathLocked(const BindingState& state)
{
    const QString strDir =
        state.strLibraryDir.isEmpty() ? QCoreApplication::applicationDirPath() : state.strLibraryDir;
    return strDir + QLatin1Char('/') + QLatin1String(OrvelPlatform::kLibraryFileName);
}

} // namespace

void SetLibraryDirectory(const QString& strDir)
{
    BindingState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.pLibrary == nullptr)
        state.strLibraryDir = strDir;
}

QString LibraryPath()
{
    BindingState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return LibraryPathLocked(state);
}

bool Bind(EntryPoints* pEntryPoints, QString* pstrError)
{
    BindingState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    auto fail = [&](const QString& strError)
    {
        if (pstrError != nullptr)
            *pstrError = strError;
        return false;
    };
    if (state.pLibrary == nullptr)
    {
        const QString strPath = LibraryPathLocked(state);
        QString strReason;
        state.pLibrary = OrvelPlatform::OpenLibrary(strPath, &strReason);
        if (state.pLibrary == nullptr)
            return fail(
                Text::tr("Failed to load dynamic library: %1 (error code: %2)").arg(strPath, strReason));
    }
    if (!state.bResolved)
    {
        EntryPoints entry;
        entry.pfnInit = reinterpret_cast<PFN_g_InitCorvaneManager>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_InitCorvaneManager"));
        entry.pfnNewReaderByConfig = reinterpret_cast<PFN_g_NewCorvaneReaderByConfig>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_NewCorvaneReaderByConfig"));
        entry.pfnNewListReaderByConfig = reinterpret_cast<PFN_g_NewCorvaneListReaderByConfig>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_NewCorvaneListReaderByConfig"));
        entry.pfnUnInit = reinterpret_cast<PFN_g_UnInitCorvaneManager>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_UnInitCorvaneManager"));
        entry.pfnTransferCounts = reinterpret_cast<PFN_g_GetCorvaneTransferCounts>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_GetCorvaneTransferCounts"));
        entry.pfnPlanFetch = reinterpret_cast<PFN_g_PlanCorvaneFetch>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_PlanCorvaneFetch"));
        entry.pfnFetchProgress = reinterpret_cast<PFN_g_GetCorvaneFetchProgress>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_GetCorvaneFetchProgress"));
        entry.pfnEndFetch = reinterpret_cast<PFN_g_EndCorvaneFetch>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_EndCorvaneFetch"));
        entry.pfnNextArrival = reinterpret_cast<PFN_g_NextCorvaneFetchArrival>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_NextCorvaneFetchArrival"));
        entry.pfnResetSources = reinterpret_cast<PFN_g_ResetCorvaneSources>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_ResetCorvaneSources"));
        entry.pfnTrustState = reinterpret_cast<PFN_g_GetCorvaneTrustState>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_GetCorvaneTrustState"));
        entry.pfnLastFailure = reinterpret_cast<PFN_g_GetCorvaneLastFailure>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_GetCorvaneLastFailure"));
        entry.pfnFeedContextHash = reinterpret_cast<PFN_g_FeedCorvaneContextHash>(
            OrvelPlatform::LibrarySymbol(state.pLibrary, "g_FeedCorvaneContextHash"));
        if (entry.pfnInit == nullptr || entry.pfnNewReaderByConfig == nullptr)
            return fail(Text::tr("Failed to get export functions"));
        state.entryPoints = entry;
        state.bResolved = true;
    }
    if (!state.bManagerInitialised)
    {
        if (!state.entryPoints.pfnInit(nullptr, nullptr))
            return fail(Text::tr("Failed to initialize Corvane manager"));
        state.bManagerInitialised = true;
    }
    if (pEntryPoints != nullptr)
        *pEntryPoints = state.entryPoints;
    return true;
}

void ResetSources()
{
    // Only a library already in use has sources to forget: never load it for this.
    PFN_g_ResetCorvaneSources pfnReset = nullptr;
    {
        BindingState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.bResolved && state.bManagerInitialised)
            pfnReset = state.entryPoints.pfnResetSources;
    }
    if (pfnReset != nullptr)
        pfnReset();
}

} // namespace OrvelCorvaneBinding
