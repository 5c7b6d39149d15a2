// The fetch plan of a service's reader, through the library's optional entry
// points: an older library without them plans nothing, and opens fetch one by
// one as they always did.
#include "OrvelCorvaneBinding.h"
#include "OrvelFileService.h"
#include "OrvelStorePath.h"

#include <Corvane/PemCorvaneX64.h>

#include <vector>

bool OrvelFileService::PlanFetch(const QStringList& vecStorePaths, bool bWholePackages)
{
    OrvelCorvaneBinding::EntryPoints entry;
    if (m_pReader == nullptr || vecStorePaths.isEmpty() || !OrvelCorvaneBinding::Bind(&entry, nullptr) ||
        entry.pfnPlanFetch == nullptr)
        return false;
    std::vector<QByteArray> vecPaths;
    vecPaths.reserve(static_cast<size_t>(vecStorePaths.size()));
    for (const QString& strPath : vecStorePaths)
        vecPaths.push_back(OrvelStorePath::ToLibrary(strPath));
    std::vector<const char*> vecPointers;
    vecPointers.reserve(vecPaths.size());
    for (const QByteArray& path : vecPaths)
        vecPointers.push_back(path.constData());
    std::lock_guard<std::mutex> lock(m_fetchControlMutex);
    return entry.pfnPlanFetch(m_pReader, vecPointers.data(), static_cast<uint32_t>(vecPointers.size()),
                              bWholePackages ? NSCorvane::CORVANE_FETCH_WHOLE_PACKAGES : 0u);
}

bool OrvelFileService::FetchProgress(FetchPlanProgress* pProgress) const
{
    *pProgress = FetchPlanProgress();
    OrvelCorvaneBinding::EntryPoints entry;
    NSCorvane::CORVANE_FETCH_PROGRESS progress;
    if (m_pReader == nullptr || !OrvelCorvaneBinding::Bind(&entry, nullptr) ||
        entry.pfnFetchProgress == nullptr || !entry.pfnFetchProgress(m_pReader, &progress))
        return false;
    pProgress->uBytesPlanned = progress.uBytesPlanned;
    pProgress->uBytesDone = progress.uBytesDone;
    pProgress->uFilesPlanned = progress.uFilesPlanned;
    pProgress->uFilesReady = progress.uFilesReady;
    pProgress->uBytesPerSecond = progress.uBytesPerSecond;
    return progress.uBytesPlanned > 0 || progress.uFilesPlanned > 0;
}

int OrvelFileService::NextFetchArrival(int* pnIndex, int nWaitMs) const
{
    OrvelCorvaneBinding::EntryPoints entry;
    if (m_pReader == nullptr || !OrvelCorvaneBinding::Bind(&entry, nullptr) ||
        entry.pfnNextArrival == nullptr)
        return 2;
    uint32_t uIndex = 0;
    const int nResult = entry.pfnNextArrival(m_pReader, &uIndex, static_cast<uint32_t>(qMax(0, nWaitMs)));
    if (nResult == 1)
        *pnIndex = static_cast<int>(uIndex);
    return nResult == 0 || nResult == 1 ? nResult : 2;
}

void OrvelFileService::EndFetch()
{
    OrvelCorvaneBinding::EntryPoints entry;
    if (m_pReader == nullptr || !OrvelCorvaneBinding::Bind(&entry, nullptr) || entry.pfnEndFetch == nullptr)
        return;
    std::lock_guard<std::mutex> lock(m_fetchControlMutex);
    entry.pfnEndFetch(m_pReader);
}
