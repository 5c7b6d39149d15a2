#include "workers/OrvelVersionChanges.h"

#include "OrvelFileService.h"
#include "workers/OrvelRunOnThreads.h"
#include "workers/OrvelWorkerPaths.h"

#include <QSet>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace
{

// Enough for the spans updates usually cover to cost one wave of round trips;
// a longer span opens this many connections at a time, not one per version.
constexpr quint32 kMaxOpenAtOnce = 16;

struct VersionList
{
    bool bRead = false;
    bool bOpenFailed = false;
    QStringList vecChanged;
    QString strError;
};

void ReadOne(OrvelFileService* pSource, quint32 uVersion, VersionList* pOut)
{
    QString strError;
    std::unique_ptr<OrvelFileService> pVersion = pSource->CreateVersionListService(uVersion, &strError);
    if (!pVersion)
    {
        pOut->bOpenFailed = true;
        pOut->strError = strError;
        return;
    }
    pOut->bRead = pVersion->ListPatchFilesFiltered(&pOut->vecChanged, &pOut->strError);
}

} // namespace

bool CollectVersionChanges(OrvelFileService* pSource, quint32 uLow, quint32 uHigh,
                           const std::function<bool()>& fnStopped, const std::function<void(quint32)>& fnDone,
                           QStringList* pList, VersionChangesFailure* pFailure)
{
    *pFailure = VersionChangesFailure();
    if (uHigh <= uLow)
        return true;
    const quint32 uSpan = uHigh - uLow;
    std::vector<VersionList> vecLists(uSpan);
    std::atomic<quint32> uNext{0};
    std::atomic<quint32> uDone{0};
    std::atomic_bool bStopped{false};
    auto fnRun = [&]
    {
        for (;;)
        {
            const quint32 uIndex = uNext.fetch_add(1);
            if (uIndex >= uSpan)
                return;
            if (bStopped.load() || fnStopped())
            {
                bStopped.store(true);
                return;
            }
            ReadOne(pSource, uLow + 1 + uIndex, &vecLists[uIndex]);
            fnDone(uDone.fetch_add(1) + 1);
        }
    };
    RunOnThreads(static_cast<int>(std::min(uSpan, kMaxOpenAtOnce)), fnRun);

    if (bStopped.load())
        return false;
    QSet<QString> setSeen;
    for (quint32 i = 0; i < uSpan; ++i)
    {
        const VersionList& list = vecLists[i];
        if (!list.bRead)
        {
            pFailure->uVersion = uLow + 1 + i;
            pFailure->bOpenFailed = list.bOpenFailed;
            pFailure->strError = list.strError;
            return false;
        }
        AppendUnseen(list.vecChanged, pList, &setSeen);
    }
    return true;
}
