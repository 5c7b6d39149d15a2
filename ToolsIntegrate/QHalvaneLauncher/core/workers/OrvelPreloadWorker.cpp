#include "workers/OrvelPreloadWorker.h"

#include "OrvelFileService.h"
#include "workers/OrvelTaskResultSnapshot.h"

#include <Corvane/CorvaneStream.h>

#include <QThread>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

OrvelPreloadWorker::OrvelPreloadWorker(const OrvelPreloadItemList& vecTasks,
                                       const QString& strPreloadConfigPath, OrvelFileService* pProductService,
                                       LauncherSettings* pSettings, TaskResultSnapshot* pSnapshot,
                                       QObject* pParent)
    : OrvelOperationWorkerBase(pSettings, pParent), m_vecTasks(vecTasks),
      m_strPreloadConfigPath(strPreloadConfigPath), m_pProductService(pProductService), m_pSnapshot(pSnapshot)
{
}

OrvelPreloadWorker::~OrvelPreloadWorker() = default;

void OrvelPreloadWorker::Fail(const QString& strError, qint32 nSucceeded, qint32 nSkipped)
{
    SetStatusMessage(strError);
    PublishResult(m_pSnapshot, nullptr, nSucceeded, nSkipped, nullptr);
    emit Finished(false);
}

void OrvelPreloadWorker::Pause()
{
    OrvelOperationWorkerBase::Pause();
    if (m_pProductService != nullptr)
        m_pProductService->EndFetch();
}

void OrvelPreloadWorker::DoWork()
{
    ResetControlState();
    QThread* pThread = QThread::currentThread();
    const quint32 uTaskTotal = static_cast<quint32>(std::max(m_vecTasks.size(), 1));
    SetProgress(0, uTaskTotal, tr("Preparing preload task..."));

    OrvelFileService preloadService;
    if (m_strPreloadConfigPath.trimmed().isEmpty())
        return Fail(tr("Preload config path is empty"), 0, 0);
    if (m_pProductService == nullptr)
        return Fail(tr("Product file service is unavailable"), 0, 0);
    if (!preloadService.Initialize(m_strPreloadConfigPath.trimmed(), OrvelFileService::kLatestVersion))
        return Fail(tr("Failed to initialize preload file service: %1").arg(preloadService.LastError()), 0,
                    0);
    if (!m_pProductService->IsReady())
        return Fail(tr("Failed to initialize product file service: %1").arg(m_pProductService->LastError()),
                    0, 0);

    std::vector<std::pair<OrvelPreloadItem, QStringList>> vecPlan;
    quint32 uTotal = 0;
    for (const OrvelPreloadItem& item : qAsConst(m_vecTasks))
    {
        if (IsCancelRequested(pThread))
            return Fail(tr("Preload worker interrupted"), 0, 0);
        SetProgress(static_cast<quint32>(vecPlan.size()), uTaskTotal,
                    tr("Reading preload list: %1").arg(item.name));
        const QString strList = OrvelPreload::ListFileName(item.name);
        QString strText;
        QString strError;
        if (strList.isEmpty())
            return Fail(tr("Preload list has no valid resource path: %1").arg(item.name), 0, 0);
        if (!OrvelPreload::ReadRemoteText(&preloadService, strList, &strText, &strError))
            return Fail(tr("Failed to read %1: %2").arg(strList, strError), 0, 0);
        const OrvelPreload::ListParse list = OrvelPreload::ParseList(strText);
        if (list.nRefused > 0)
            emit WarningRaised(
                tr("Preload list %1: %2 unsafe resource path(s) refused").arg(strList).arg(list.nRefused));
        if (list.vecPaths.isEmpty())
            return Fail(tr("Preload list has no valid resource path: %1").arg(strList), 0, 0);
        uTotal += static_cast<quint32>(list.vecPaths.size());
        vecPlan.emplace_back(item, list.vecPaths);
    }
    if (uTotal == 0)
        return Fail(tr("Preload plan has no valid resource path"), 0, 0);

    ApplyDownloadLimit(m_pProductService);
    // The packages of every listed file are fetched at once, many requests in
    // flight; each open below waits for its own. Ended with the run.
    QStringList vecAllPaths;
    for (const auto& entry : vecPlan)
        vecAllPaths += entry.second;
    BeginFetch(m_pProductService, vecAllPaths, true);
    SetProgress(0, uTotal, tr("Preload plan ready: %1 file(s)").arg(uTotal));

    quint32 uDone = 0;
    qint32 nSucceeded = 0;
    qint32 nSkipped = 0;
    for (const auto& entry : vecPlan)
    {
        for (const QString& strPath : entry.second)
        {
            if (IsPauseRequested())
            {
                // Pause ended the plan; the plan of what is left starts
                // again on resume.
                EndFetch();
                if (!WaitWhilePaused(pThread))
                    return Fail(tr("Preload worker interrupted"), nSucceeded, nSkipped);
                BeginFetch(m_pProductService, vecAllPaths.mid(static_cast<int>(uDone)), true);
            }
            if (IsCancelRequested(pThread))
                return Fail(tr("Preload worker interrupted"), nSucceeded, nSkipped);
            SetProgress(
                uDone, uTotal,
                tr("(%1/%2) Preloading %3 (%4)").arg(uDone + 1).arg(uTotal).arg(entry.first.name, strPath));
            // Opening waits for the file's package in the cache (or fetches
            // and keeps it); the content itself is not needed here.
            if (m_pProductService->OpenRemoteFile(strPath))
                ++nSucceeded;
            else
                ++nSkipped;
            ++uDone;
        }
        SetProgress(uDone, uTotal,
                    tr("Preloaded: %1 (%2 file(s))").arg(entry.first.name).arg(entry.second.size()));
    }
    SetProgress(uTotal, uTotal, tr("Preload worker finished"));
    PublishResult(m_pSnapshot, nullptr, nSucceeded, nSkipped, nullptr);
    emit Finished(true);
}
