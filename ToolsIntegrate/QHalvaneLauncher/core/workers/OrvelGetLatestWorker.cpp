#include "workers/OrvelGetLatestWorker.h"

#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "OrvelStorePath.h"
#include "OrvelWriteBatch.h"
#include "workers/OrvelTaskResultSnapshot.h"
#include "workers/OrvelVersionChanges.h"
#include "workers/OrvelWorkerPaths.h"

#include <QRandomGenerator64>
#include <QSet>
#include <QThread>

#include <random>
#include <thread>

OrvelGetLatestWorker::OrvelGetLatestWorker(OrvelFileService* pFileService, LauncherSettings* pSettings,
                                           TaskResultSnapshot* pSnapshot, const QString& strTargetPath,
                                           QObject* pParent)
    : OrvelOperationWorkerBase(pSettings, pParent), m_pFileService(pFileService),
      m_strDownloadTargetPath(strTargetPath), m_pSnapshot(pSnapshot)
{
    if (m_strDownloadTargetPath.isEmpty() && pSettings != nullptr)
        m_strDownloadTargetPath = pSettings->workPath();
}

OrvelGetLatestWorker::~OrvelGetLatestWorker() = default;

void OrvelGetLatestWorker::SetIncrementalRange(quint32 uFrom, quint32 uTo)
{
    m_bIncremental = true;
    m_uFromVersion = uFrom;
    m_uToVersion = uTo;
}

void OrvelGetLatestWorker::SetRemovalBaseline(quint32 uVersion)
{
    m_bHasRemovalBaseline = true;
    m_uRemovalBaseline = uVersion;
}

QStringList OrvelGetLatestWorker::GetChangedFiles() const
{
    return m_changed.Changed();
}

void OrvelGetLatestWorker::FinishEmpty(bool bSuccess)
{
    PublishResult(m_pSnapshot, nullptr, 0, 0, nullptr);
    emit Finished(bSuccess);
}

void OrvelGetLatestWorker::DoWork()
{
    ResetControlState();
    m_linkedPaths.Clear();
    m_changed.Clear();
    m_collector.Clear();
    m_stale.Clear();
    m_pWorkerThread = QThread::currentThread();

    if (m_pFileService == nullptr || !m_pFileService->IsReady())
    {
        SetStatusMessage(m_pFileService != nullptr ? m_pFileService->LastError()
                                                   : tr("File service unavailable"));
        FinishEmpty(false);
        return;
    }
    ApplyDownloadLimit(m_pFileService);

    // The changed packages are not synced whole up front: each changed file is
    // read at the latest version, so only what the latest version holds is fetched.
    bool bIncremental = m_bIncremental;
    QStringList vecFiles;
    QStringList vecLatest; // every file of the latest version, when read below
    bool bLatestRead = false;
    m_bIncrementalRun = false;
    if (bIncremental)
    {
        // An update needs the latest version's file list (and its file info)
        // too: it comes while the versions' changes are read, not a round
        // trip after them.
        QString strLatestError;
        std::thread listing;
        try
        {
            listing = std::thread(
                [&] { bLatestRead = m_pFileService->ListAllFilesFiltered(&vecLatest, &strLatestError); });
        }
        catch (...)
        {
            // Read below when needed, as without this.
        }
        QString strError;
        const bool bCollected = CollectIncrementalFiles(&vecFiles, &strError);
        if (listing.joinable())
            listing.join();
        if (!bCollected)
        {
            // Recording the latest version without a version's changes would
            // claim files that were never fetched; a full run compares everything.
            emit WarningRaised(
                tr("Incremental download not possible (%1); using full download instead").arg(strError));
            bIncremental = false;
        }
    }
    if (!bIncremental)
    {
        QString strError;
        if (bLatestRead)
        {
            vecFiles = vecLatest;
        }
        else if (!CollectFullFiles(&vecFiles, &strError))
        {
            SetStatusMessage(strError);
            FinishEmpty(false);
            return;
        }
    }

    m_bIncrementalRun = bIncremental;
    CollectStaleFiles(bIncremental, vecFiles, bLatestRead ? &vecLatest : nullptr);
    OrderForFetch(&vecFiles, m_pFileService);
    // A stop while the lists were read leaves them short: nothing may be
    // called done, or the run would record a version it never fetched.
    if (IsCancelRequested(m_pWorkerThread))
    {
        FinishEmpty(false);
        return;
    }
    if (vecFiles.isEmpty() && m_stale.Candidates().isEmpty())
    {
        FinishEmpty(true);
        return;
    }
    if (m_strDownloadTargetPath.isEmpty())
    {
        SetStatusMessage(tr("Download target path is empty"));
        FinishEmpty(false);
        return;
    }

    // A full run compares first, so that only the files that differ are
    // fetched; an incremental one fetches every changed file the latest
    // version still holds.
    std::vector<LocalCheck> vecChecks(static_cast<size_t>(vecFiles.size()), LocalCheck::Differs);
    if (!bIncremental)
    {
        vecChecks = CompareBeforeFetch(m_pFileService, vecFiles, m_strDownloadTargetPath, &m_linkedPaths,
                                       m_pWorkerThread);
        if (vecChecks.empty() && !vecFiles.isEmpty())
        {
            FinishEmpty(false);
            return;
        }
    }
    PlanFetch(vecFiles, vecChecks, bIncremental);

    OrvelWriteBatch batch(m_strDownloadTargetPath);
    const ParallelRunResult run =
        RunParallel(vecFiles.size(), m_pWorkerThread,
                    [&](int nIndex, quint32 uOrdinal, quint32 uTotal, bool& bAbortAll)
                    {
                        if (!SyncOneFile(vecFiles.at(nIndex), vecChecks[size_t(nIndex)], uOrdinal, uTotal,
                                         &batch, bAbortAll))
                            return false;
                        FetchItemDone(nIndex);
                        return true;
                    });
    EndFetch();
    // Only once every file of the latest version is in place: a run that
    // stops earlier leaves the old version's files where they were.
    const bool bRemoved = run.Succeeded() && RemoveStaleFiles(&m_stale, m_strDownloadTargetPath, &m_changed,
                                                              &batch, m_pWorkerThread);
    // Also after a failure: a later run that finds these files the same must
    // not record a version whose files could still be lost.
    const bool bFlushed = FlushWrittenFiles(batch);

    const QStringList vecChanged = m_changed.Changed();
    const QStringList vecCreated = m_changed.Created();
    const std::vector<WeakReplacementFailure> vecWeak = m_collector.Snapshot();
    PublishResult(m_pSnapshot, &vecChanged, 0, 0, &vecWeak, &vecCreated, &m_stale);
    emit Finished(run.Succeeded() && bRemoved && bFlushed);
}

bool OrvelGetLatestWorker::CollectIncrementalFiles(QStringList* pList, QString* pstrError)
{
    // The span ends at the version the service reads: a version published
    // since the controller looked is included rather than skipped.
    const quint32 uBound = m_pFileService->CurrentVersion();
    const quint32 uTo = std::max(m_uToVersion, uBound);
    if (uBound != uTo || m_uFromVersion >= uTo)
    {
        *pstrError = tr("the file service reads version %1, not %2").arg(uBound).arg(m_uToVersion);
        return false;
    }
    VersionChangesFailure failure;
    if (CollectVersionChanges(
            m_pFileService, m_uFromVersion, uTo, [this] { return IsCancelRequested(m_pWorkerThread); },
            [](quint32) {}, pList, &failure))
        return true;
    if (failure.uVersion == 0)
        return true; // stopped: the empty-handed run ends as cancelled below
    if (failure.bOpenFailed)
        *pstrError = tr("version %1 cannot be opened: %2")
                         .arg(failure.uVersion)
                         .arg(failure.strError.isEmpty() ? tr("unknown error") : failure.strError);
    else
        *pstrError =
            tr("the changes of version %1 cannot be read: %2").arg(failure.uVersion).arg(failure.strError);
    return false;
}

bool OrvelGetLatestWorker::CollectFullFiles(QStringList* pList, QString* pstrError)
{
    return m_pFileService->ListAllFilesFiltered(pList, pstrError);
}

void OrvelGetLatestWorker::CollectStaleFiles(bool bIncremental, const QStringList& vecFull,
                                             const QStringList* pvecLatest)
{
    if (!m_bHasRemovalBaseline || m_uRemovalBaseline == m_pFileService->CurrentVersion())
        return;
    QString strError;
    QStringList vecTarget = pvecLatest != nullptr ? *pvecLatest : vecFull;
    if (bIncremental && pvecLatest == nullptr && !m_pFileService->ListAllFilesFiltered(&vecTarget, &strError))
    {
        emit WarningRaised(tr("Files the latest version no longer holds are kept: %1").arg(strError));
        return;
    }
    std::unique_ptr<OrvelFileService> pBaseline =
        m_pFileService->CreateVersionBoundService(m_uRemovalBaseline, &strError);
    if (!pBaseline || !m_stale.Collect(std::move(pBaseline), vecTarget, &strError))
        emit WarningRaised(tr("Files the latest version no longer holds are kept: version %1: %2")
                               .arg(m_uRemovalBaseline)
                               .arg(strError.isEmpty() ? tr("unknown error") : strError));
}

void OrvelGetLatestWorker::PlanFetch(const QStringList& vecFiles, const std::vector<LocalCheck>& vecChecks,
                                     bool bIncremental)
{
    // Exactly the files SyncOneFile will open, in the pool's order.
    QStringList vecFetch;
    std::vector<int> vecItems;
    for (int i = 0; i < vecFiles.size(); ++i)
    {
        const QString& strRelative = vecFiles.at(i);
        if (vecChecks[size_t(i)] == LocalCheck::Same ||
            m_linkedPaths.IsLinked(m_strDownloadTargetPath, strRelative) ||
            (bIncremental && !m_pFileService->RemoteFileExists(strRelative)))
            continue;
        vecFetch.push_back(strRelative);
        vecItems.push_back(i);
    }
    BeginFetch(m_pFileService, vecFetch, false, vecItems);
}

bool OrvelGetLatestWorker::SyncOneFile(const QString& strRelative, LocalCheck eCheck, quint32 uOrdinal,
                                       quint32 uTotal, OrvelWriteBatch* pBatch, bool& bAbortAll)
{
    const bool bIncremental = m_bIncrementalRun;
    if (m_linkedPaths.IsLinked(m_strDownloadTargetPath, strRelative))
    {
        SetProgress(uOrdinal, uTotal,
                    tr("(%2/%3) Skipping linked file %1").arg(strRelative).arg(uOrdinal).arg(uTotal));
        return true;
    }
    QString strLocal;
    QString strError;
    if (!OrvelStorePath::JoinUnder(m_strDownloadTargetPath, strRelative, &strLocal, &strError))
    {
        // A store that names a path outside the working path is not to be trusted with the rest.
        SetStatusMessage(strError);
        emit FileFailed(strRelative, strError);
        bAbortAll = true;
        return false;
    }
    if (bIncremental && !m_pFileService->RemoteFileExists(strRelative))
    {
        // Stored anew in one version of the span and removed by a later one.
        SetProgress(uOrdinal, uTotal,
                    tr("(%2/%3) Skipping removed file %1").arg(strRelative).arg(uOrdinal).arg(uTotal));
        return true;
    }
    SetProgress(uOrdinal, uTotal,
                tr("(%2/%3) Downloading file %1").arg(strRelative).arg(uOrdinal).arg(uTotal));

    // Only this thread writes this name during the run.
    const bool bExisted = LocalPathTaken(strLocal);
    FileSyncContext context;
    context.pFileService = m_pFileService;
    context.pCollector = &m_collector;
    context.pbCancel = CancelFlag();
    context.pWorkerThread = m_pWorkerThread;
    context.strContainRoot = m_strDownloadTargetPath;
    context.pBatch = pBatch;
    const FileSyncResult result = SyncAfterCheck(context, strRelative, strLocal, eCheck);
    if (result.ok)
    {
        if (result.transferred)
            m_changed.Add(strRelative, !bExisted);
        return true;
    }
    ReportFileFailure(strRelative, result);
    bAbortAll = result.abortAll;
    return false;
}
