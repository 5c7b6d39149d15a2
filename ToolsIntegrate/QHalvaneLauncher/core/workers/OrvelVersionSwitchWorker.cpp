#include "workers/OrvelVersionSwitchWorker.h"

#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "OrvelStorePath.h"
#include "OrvelWriteBatch.h"
#include "workers/OrvelTaskResultSnapshot.h"
#include "workers/OrvelVersionChanges.h"
#include "workers/OrvelWorkerPaths.h"

#include <QFileInfo>
#include <QRandomGenerator64>
#include <QThread>

#include <algorithm>
#include <random>

namespace
{

constexpr quint32 kMaxIncrementalSwitchSpan = 20;

} // namespace

OrvelVersionSwitchWorker::OrvelVersionSwitchWorker(OrvelFileService* pSourceService,
                                                   OrvelFileService* pTargetService,
                                                   LauncherSettings* pSettings, TaskResultSnapshot* pSnapshot,
                                                   quint32 uCurrentVersion, quint32 uTargetVersion,
                                                   const QString& strWorkPath, QObject* pParent)
    : OrvelOperationWorkerBase(pSettings, pParent), m_pSourceService(pSourceService),
      m_pTargetService(pTargetService), m_strWorkPath(strWorkPath), m_pSnapshot(pSnapshot),
      m_uCurrentVersion(uCurrentVersion), m_uTargetVersion(uTargetVersion)
{
    if (m_strWorkPath.isEmpty() && pSettings != nullptr)
        m_strWorkPath = pSettings->workPath();
}

OrvelVersionSwitchWorker::~OrvelVersionSwitchWorker() = default;

QStringList OrvelVersionSwitchWorker::GetChangedFiles() const
{
    return m_changed.Changed();
}

QStringList OrvelVersionSwitchWorker::GetCreatedFiles() const
{
    return m_changed.Created();
}

void OrvelVersionSwitchWorker::FinishEmpty(bool bSuccess)
{
    PublishResult(m_pSnapshot, nullptr, 0, 0, nullptr);
    emit Finished(bSuccess, 0, 0);
}

void OrvelVersionSwitchWorker::FinishWithChanges(bool bSuccess)
{
    const QStringList vecChanged = GetChangedFiles();
    const QStringList vecCreated = GetCreatedFiles();
    PublishResult(m_pSnapshot, &vecChanged, 0, 0, nullptr, &vecCreated, &m_stale);
    emit Finished(bSuccess, 0, 0);
}

void OrvelVersionSwitchWorker::DoWork()
{
    ResetControlState();
    m_linkedPaths.Clear();
    m_changed.Clear();
    m_collector.Clear();
    m_stale.Clear();
    m_nReplacedCount.store(0);
    m_nSkippedCount.store(0);
    m_pWorkerThread = QThread::currentThread();

    if (m_pSourceService == nullptr || !m_pSourceService->IsReady())
    {
        SetStatusMessage(m_pSourceService != nullptr ? m_pSourceService->LastError()
                                                     : tr("Version source file service unavailable"));
        FinishEmpty(false);
        return;
    }
    if (m_pTargetService == nullptr || !m_pTargetService->IsReady())
    {
        SetStatusMessage(m_pTargetService != nullptr ? m_pTargetService->LastError()
                                                     : tr("Target file service unavailable"));
        FinishEmpty(false);
        return;
    }
    if (m_strWorkPath.isEmpty())
    {
        SetStatusMessage(tr("Working path is empty"));
        FinishEmpty(false);
        return;
    }
    ApplyDownloadLimit(m_pTargetService);

    const quint32 uLow = std::min(m_uCurrentVersion, m_uTargetVersion);
    const quint32 uHigh = std::max(m_uCurrentVersion, m_uTargetVersion);
    const quint32 uSpan = uHigh - uLow;
    // The changed-file lists only describe the way from the version the
    // working path is really at: a record of another version vouches for nothing.
    quint32 uRecorded = 0;
    const bool bRecorded = Settings() != nullptr && Settings()->readProductRecord(&uRecorded, nullptr) &&
                           uRecorded == m_uCurrentVersion;
    const bool bHasBaseline = !m_bBaselineUntrusted && bRecorded;
    const bool bIncremental = bHasBaseline && uSpan <= kMaxIncrementalSwitchSpan;

    QStringList vecFiles;
    QStringList vecTarget;
    if (bIncremental)
    {
        if (!CollectVersionChanges(uLow, uHigh, &vecFiles) || !ListTargetFiles(&vecTarget))
        {
            FinishWithChanges(false);
            return;
        }
        AddMissingTargetFiles(vecTarget, &vecFiles);
    }
    else
    {
        SetProgress(0, 100,
                    bHasBaseline
                        ? tr("Using full download for version switch: version span too large (%1)").arg(uSpan)
                        : tr("Using full download for version switch: no local sync baseline"));
        QString strError;
        if (!m_pTargetService->ListAllFilesFiltered(&vecFiles, &strError))
        {
            SetStatusMessage(strError);
            FinishEmpty(false);
            return;
        }
        vecTarget = vecFiles;
    }
    // A file is known as the store's by the recorded version's hash of it,
    // also after an interrupted task: what that task wrote is of its target.
    if (bRecorded && m_uCurrentVersion != m_uTargetVersion)
        CollectStaleFiles(vecTarget, &vecFiles);
    OrderForFetch(&vecFiles, m_pTargetService);

    if (vecFiles.isEmpty() && m_stale.Candidates().isEmpty())
    {
        SetProgress(100, 100,
                    vecTarget.isEmpty() ? tr("Version switch complete: no resource files")
                                        : tr("Version switch complete: no changed files"));
        FinishWithChanges(true);
        return;
    }
    if (IsCancelRequested(m_pWorkerThread))
    {
        SetStatusMessage(tr("Version switch cancelled"));
        FinishEmpty(false);
        return;
    }

    // Over a large span every file of the target is a candidate: comparing
    // first writes only what differs, so a stopped switch leaves a short list
    // for its rollback. Listed changes differ by construction.
    std::vector<LocalCheck> vecChecks(static_cast<size_t>(vecFiles.size()), LocalCheck::Differs);
    if (!bIncremental)
    {
        vecChecks =
            CompareBeforeFetch(m_pTargetService, vecFiles, m_strWorkPath, &m_linkedPaths, m_pWorkerThread);
        if (vecChecks.empty() && !vecFiles.isEmpty())
        {
            SetStatusMessage(tr("Version switch cancelled"));
            FinishEmpty(false);
            return;
        }
    }
    PlanFetch(vecFiles, vecChecks);
    OrvelWriteBatch batch(m_strWorkPath);
    const ParallelRunResult run =
        RunParallel(vecFiles.size(), m_pWorkerThread,
                    [&](int nIndex, quint32 uOrdinal, quint32 uTotal, bool& bAbortAll)
                    {
                        if (!SwitchOneFile(vecFiles.at(nIndex), uOrdinal, uTotal, vecChecks[size_t(nIndex)],
                                           &batch, bAbortAll))
                            return false;
                        FetchItemDone(nIndex);
                        return true;
                    });
    EndFetch();
    // Only once every file of the target is in place, so that a switch
    // stopped earlier never leaves a file missing that neither version lacks.
    const bool bRemoved =
        run.Succeeded() && RemoveStaleFiles(&m_stale, m_strWorkPath, &m_changed, &batch, m_pWorkerThread);
    // Also after a failure: the rollback reads these files back as written.
    const bool bFlushed = FlushWrittenFiles(batch);
    if ((run.bAborted || !bRemoved) && IsCancelRequested(m_pWorkerThread))
        SetStatusMessage(tr("Version switch cancelled"));

    const QStringList vecChanged = GetChangedFiles();
    const QStringList vecCreated = GetCreatedFiles();
    const std::vector<WeakReplacementFailure> vecWeak = m_collector.Snapshot();
    const qint32 nReplaced = m_nReplacedCount.load();
    const qint32 nSkipped = m_nSkippedCount.load();
    PublishResult(m_pSnapshot, &vecChanged, nReplaced, nSkipped, &vecWeak, &vecCreated, &m_stale);
    emit Finished(run.Succeeded() && bRemoved && bFlushed, nReplaced, nSkipped);
}

bool OrvelVersionSwitchWorker::CollectVersionChanges(quint32 uLow, quint32 uHigh, QStringList* pList)
{
    // Down or up, the same versions changed the same files.
    const quint32 uSpan = uHigh - uLow;
    VersionChangesFailure failure;
    const bool bRead = ::CollectVersionChanges(
        m_pSourceService, uLow, uHigh,
        [this] { return !WaitWhilePaused(m_pWorkerThread) || IsCancelRequested(m_pWorkerThread); },
        [this, uSpan](quint32 uDone)
        { SetProgress(uDone, uSpan, tr("(%1/%2) Collecting version changes").arg(uDone).arg(uSpan)); },
        pList, &failure);
    if (bRead)
        return true;
    if (failure.uVersion == 0)
        SetStatusMessage(tr("Version switch cancelled"));
    else if (failure.bOpenFailed && failure.strError.isEmpty())
        SetStatusMessage(
            tr("Failed to create version-bound file service for version %1").arg(failure.uVersion));
    else
        // An unread list would leave its files at the old version while the record moves on.
        SetStatusMessage(failure.strError);
    return false;
}

bool OrvelVersionSwitchWorker::ListTargetFiles(QStringList* pList)
{
    QString strError;
    if (m_pTargetService->ListAllFilesFiltered(pList, &strError))
        return true;
    SetStatusMessage(strError);
    return false;
}

void OrvelVersionSwitchWorker::CollectStaleFiles(const QStringList& vecTarget, QStringList* pList)
{
    QString strError;
    std::unique_ptr<OrvelFileService> pBaseline =
        m_pSourceService->CreateVersionBoundService(m_uCurrentVersion, &strError);
    if (!pBaseline || !m_stale.Collect(std::move(pBaseline), vecTarget, &strError))
    {
        emit WarningRaised(tr("Files version %1 does not hold are kept: version %2: %3")
                               .arg(m_uTargetVersion)
                               .arg(m_uCurrentVersion)
                               .arg(strError.isEmpty() ? tr("unknown error") : strError));
        return;
    }
    const QStringList& vecStale = m_stale.Candidates();
    const QSet<QString> setStale(vecStale.begin(), vecStale.end());
    QStringList vecRest;
    vecRest.reserve(pList->size());
    for (const QString& strRelative : qAsConst(*pList))
    {
        if (!setStale.contains(strRelative))
            vecRest.push_back(strRelative);
    }
    *pList = vecRest;
}

void OrvelVersionSwitchWorker::AddMissingTargetFiles(const QStringList& vecTarget, QStringList* pList)
{
    // A file that a version of the span deleted is named by no changed-file
    // list; switching back below that version must still bring it.
    QString strError;
    QSet<QString> setListed(pList->begin(), pList->end());
    for (const QString& strRelative : qAsConst(vecTarget))
    {
        if (strRelative.isEmpty() || setListed.contains(strRelative))
            continue;
        QString strLocal;
        // An unsafe name is refused by the switch step, with its reason.
        if (!OrvelStorePath::JoinUnder(m_strWorkPath, strRelative, &strLocal, &strError) ||
            !LocalPathTaken(strLocal))
        {
            setListed.insert(strRelative);
            pList->push_back(strRelative);
        }
    }
}

void OrvelVersionSwitchWorker::PlanFetch(const QStringList& vecFiles,
                                         const std::vector<LocalCheck>& vecChecks)
{
    // Exactly the files SwitchOneFile will open, in the pool's order.
    QStringList vecFetch;
    std::vector<int> vecItems;
    for (int i = 0; i < vecFiles.size(); ++i)
    {
        const QString& strRelative = vecFiles.at(i);
        if (vecChecks[size_t(i)] == LocalCheck::Same || m_linkedPaths.IsLinked(m_strWorkPath, strRelative) ||
            !m_pTargetService->RemoteFileExists(strRelative))
            continue;
        vecFetch.push_back(strRelative);
        vecItems.push_back(i);
    }
    BeginFetch(m_pTargetService, vecFetch, false, vecItems);
}

bool OrvelVersionSwitchWorker::SwitchOneFile(const QString& strRelative, quint32 uOrdinal, quint32 uTotal,
                                             LocalCheck eCheck, OrvelWriteBatch* pBatch, bool& bAbortAll)
{
    if (IsCancelRequested(m_pWorkerThread))
    {
        bAbortAll = true;
        return false;
    }
    if (m_linkedPaths.IsLinked(m_strWorkPath, strRelative))
    {
        SetProgress(uOrdinal, uTotal,
                    tr("(%2/%3) Skipping linked file %1").arg(strRelative).arg(uOrdinal).arg(uTotal));
        m_nSkippedCount.fetch_add(1);
        return true;
    }
    QString strLocal;
    QString strError;
    if (!OrvelStorePath::JoinUnder(m_strWorkPath, strRelative, &strLocal, &strError))
    {
        // A store that names a path outside the working path is not to be trusted with the rest.
        SetStatusMessage(strError);
        emit FileFailed(strRelative, strError);
        bAbortAll = true;
        return false;
    }
    if (!m_pTargetService->RemoteFileExists(strRelative))
    {
        SetProgress(uOrdinal, uTotal,
                    tr("(%2/%3) Keeping local file %1").arg(strRelative).arg(uOrdinal).arg(uTotal));
        m_nSkippedCount.fetch_add(1);
        return true;
    }
    SetProgress(uOrdinal, uTotal, tr("(%2/%3) Switching file %1").arg(strRelative).arg(uOrdinal).arg(uTotal));

    // Only this thread writes this name during the run, so the answer holds
    // until the download below puts the file in place.
    const bool bExisted = LocalPathTaken(strLocal);
    FileSyncContext context;
    context.pFileService = m_pTargetService;
    context.pCollector = &m_collector;
    context.pbCancel = CancelFlag();
    context.pWorkerThread = m_pWorkerThread;
    context.strContainRoot = m_strWorkPath;
    context.pBatch = pBatch;
    const FileSyncResult result = SyncAfterCheck(context, strRelative, strLocal, eCheck);
    if (result.ok)
    {
        if (result.transferred)
        {
            m_changed.Add(strRelative, !bExisted);
            m_nReplacedCount.fetch_add(1);
        }
        else
        {
            m_nSkippedCount.fetch_add(1);
        }
        return true;
    }
    ReportFileFailure(strRelative, result);
    bAbortAll = result.abortAll;
    return false;
}
