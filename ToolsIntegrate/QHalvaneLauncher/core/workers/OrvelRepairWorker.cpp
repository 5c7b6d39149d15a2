#include "workers/OrvelRepairWorker.h"

#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "OrvelStorePath.h"
#include "OrvelWriteBatch.h"
#include "workers/OrvelTaskResultSnapshot.h"

#include <QThread>

OrvelRepairWorker::OrvelRepairWorker(OrvelFileService* pFileService, LauncherSettings* pSettings,
                                     TaskResultSnapshot* pSnapshot, const QString& strWorkPath,
                                     QObject* pParent)
    : OrvelOperationWorkerBase(pSettings, pParent), m_pFileService(pFileService), m_strWorkPath(strWorkPath),
      m_pSnapshot(pSnapshot)
{
    if (m_strWorkPath.isEmpty() && pSettings != nullptr)
        m_strWorkPath = pSettings->workPath();
}

OrvelRepairWorker::~OrvelRepairWorker() = default;

QStringList OrvelRepairWorker::GetChangedFiles() const
{
    return m_changed.Changed();
}

void OrvelRepairWorker::FinishEmpty(bool bSuccess)
{
    PublishResult(m_pSnapshot, nullptr, 0, 0, nullptr);
    emit Finished(bSuccess, 0, 0);
}

void OrvelRepairWorker::DoWork()
{
    ResetControlState();
    m_linkedPaths.Clear();
    m_changed.Clear();
    m_collector.Clear();
    m_pWorkerThread = QThread::currentThread();

    if (m_pFileService == nullptr || !m_pFileService->IsReady())
    {
        SetStatusMessage(m_pFileService != nullptr ? m_pFileService->LastError()
                                                   : tr("File service unavailable"));
        FinishEmpty(false);
        return;
    }
    ApplyDownloadLimit(m_pFileService);

    // No whole-package cache sync first: every file is compared, and only the
    // records of files that differ are fetched, so an intact tree costs no transfer.
    QStringList vecFiles;
    QString strListError;
    if (!m_pFileService->ListAllFilesFiltered(&vecFiles, &strListError))
    {
        SetStatusMessage(strListError);
        FinishEmpty(false);
        return;
    }
    if (vecFiles.isEmpty())
    {
        FinishEmpty(true);
        return;
    }
    // Largest first, so no large file is left to hash alone at the end.
    OrderForFetch(&vecFiles, m_pFileService);
    if (m_strWorkPath.isEmpty())
    {
        SetStatusMessage(tr("Working path is empty"));
        FinishEmpty(false);
        return;
    }
    if (IsCancelRequested(m_pWorkerThread))
    {
        FinishEmpty(false);
        return;
    }

    // Every file is compared first: the plan holds only those that differ.
    const std::vector<LocalCheck> vecChecks =
        CompareBeforeFetch(m_pFileService, vecFiles, m_strWorkPath, &m_linkedPaths, m_pWorkerThread);
    if (vecChecks.empty())
    {
        FinishEmpty(false);
        return;
    }
    QStringList vecFetch;
    std::vector<int> vecItems;
    for (int i = 0; i < vecFiles.size(); ++i)
    {
        if (vecChecks[size_t(i)] == LocalCheck::Same || m_linkedPaths.IsLinked(m_strWorkPath, vecFiles.at(i)))
            continue;
        vecFetch.push_back(vecFiles.at(i));
        vecItems.push_back(i);
    }
    BeginFetch(m_pFileService, vecFetch, false, vecItems);

    OrvelWriteBatch batch(m_strWorkPath);
    const CountedRunResult run = RunParallelCounted(
        vecFiles.size(), m_pWorkerThread,
        [&](int nIndex, quint32 uOrdinal, quint32 uTotal, bool& bAbortAll, QString& strError)
        {
            if (!RepairOneFile(vecFiles.at(nIndex), vecChecks[size_t(nIndex)], uOrdinal, uTotal, &batch,
                               bAbortAll, strError))
                return false;
            FetchItemDone(nIndex);
            return true;
        });
    EndFetch();
    const bool bFlushed = FlushWrittenFiles(batch);

    const QStringList vecChanged = GetChangedFiles();
    const std::vector<WeakReplacementFailure> vecWeak = m_collector.Snapshot();
    PublishResult(m_pSnapshot, &vecChanged, static_cast<qint32>(run.uSucceeded),
                  static_cast<qint32>(run.uFailed), &vecWeak);
    emit Finished(run.Succeeded() && bFlushed, static_cast<int>(run.uSucceeded),
                  static_cast<int>(run.uFailed));
}

bool OrvelRepairWorker::RepairOneFile(const QString& strRelative, LocalCheck eCheck, quint32 uOrdinal,
                                      quint32 uTotal, OrvelWriteBatch* pBatch, bool& bAbortAll,
                                      QString& strError)
{
    if (m_linkedPaths.IsLinked(m_strWorkPath, strRelative))
    {
        SetProgress(uOrdinal, uTotal,
                    tr("(%2/%3) Skipping linked file %1").arg(strRelative).arg(uOrdinal).arg(uTotal));
        return true;
    }
    SetProgress(uOrdinal, uTotal, tr("(%2/%3) Repairing file %1").arg(strRelative).arg(uOrdinal).arg(uTotal));

    QString strLocal;
    if (!OrvelStorePath::JoinUnder(m_strWorkPath, strRelative, &strLocal, &strError))
    {
        SetStatusMessage(strError);
        emit FileFailed(strRelative, strError);
        bAbortAll = true;
        return false;
    }
    if (!WaitWhilePaused(m_pWorkerThread) || IsCancelRequested(m_pWorkerThread))
    {
        bAbortAll = true;
        return false;
    }

    FileSyncContext context;
    context.pFileService = m_pFileService;
    context.pCollector = &m_collector;
    context.pbCancel = CancelFlag();
    context.pWorkerThread = m_pWorkerThread;
    context.strContainRoot = m_strWorkPath;
    context.pBatch = pBatch;
    const FileSyncResult result = SyncAfterCheck(context, strRelative, strLocal, eCheck);
    if (result.ok)
    {
        // A repair writes only files of its own version: none counts as new to a rollback.
        if (result.transferred)
            m_changed.Add(strRelative, false);
        return true;
    }
    // A stop is no error of the file's: the run's end says it was stopped.
    if (!result.stopped)
        strError = result.error;
    ReportFileFailure(strRelative, result);
    bAbortAll = true;
    return false;
}
