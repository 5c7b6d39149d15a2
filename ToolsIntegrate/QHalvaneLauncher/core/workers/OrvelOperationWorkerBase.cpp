#include "workers/OrvelOperationWorkerBase.h"

#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "OrvelStorePath.h"
#include "OrvelWriteBatch.h"
#include "workers/LinkedPathCache.h"
#include "workers/OrvelStaleFiles.h"
#include "workers/OrvelTaskResultSnapshot.h"
#include "workers/OrvelWorkerPaths.h"

#include <QThread>

#include <algorithm>
#include <chrono>

namespace
{

constexpr int kSliceMs = 50;

// Whether a failed download or comparison failed on the local side (the
// working path's file could not be read or replaced). Only such a failure may
// be deferred as a weak replacement: a file the store could not deliver was
// never fetched, and deferring it would let the run record a version it does
// not hold.
// TODO(workers): use the file service's failure kind once it reports one.
bool ThreadInterrupted(QThread* pThread)
{
    return pThread != nullptr && pThread->isInterruptionRequested();
}

} // namespace

OrvelOperationWorkerBase::OrvelOperationWorkerBase(LauncherSettings* pSettings, QObject* pParent)
    : QObject(pParent), m_pSettings(pSettings)
{
}

OrvelOperationWorkerBase::~OrvelOperationWorkerBase() = default;

bool OrvelOperationWorkerBase::TryTakeProgress(quint32* puCurrent, quint32* puTotal, QString* pstrDetail)
{
    std::unique_lock<std::mutex> lock(m_progressMutex, std::try_to_lock);
    if (!lock.owns_lock() || !m_bProgressPending)
        return false;
    *puCurrent = m_uProgressCurrent;
    *puTotal = m_uProgressTotal;
    *pstrDetail = m_strProgressDetail;
    m_bProgressPending = false;
    return true;
}

bool OrvelOperationWorkerBase::GetStatusMessage(QString* pstrMessage) const
{
    std::lock_guard<std::mutex> lock(m_statusMutex);
    if (!m_bStatusSet)
        return false;
    *pstrMessage = m_strStatusMessage;
    return true;
}

QStringList OrvelOperationWorkerBase::GetChangedFiles() const
{
    return QStringList();
}

bool OrvelOperationWorkerBase::TransferProgress(OrvelTransferProgress* pProgress) const
{
    return m_fetch.Read(pProgress);
}

bool OrvelOperationWorkerBase::BeginFetch(OrvelFileService* pService, const QStringList& vecFiles,
                                          bool bWholePackages, const std::vector<int>& vecItemOfFile)
{
    const bool bPlanned = m_fetch.Begin(pService, vecFiles, bWholePackages, vecItemOfFile);
    // A stop that came before the plan cancelled the transfers of none: cut
    // this one's now (the controller sets the flag before it cancels).
    if (bPlanned && m_bCancelRequested.load())
        pService->AbortDownloads();
    return bPlanned;
}

int OrvelOperationWorkerBase::PoolThreadCount(int nCount)
{
    if (nCount <= 1)
        return 1;
    // Two threads even on one core: one item may wait on the network while
    // the other hashes.
    const int nIdeal = std::max(2, QThread::idealThreadCount());
    return std::max(2, std::min(nCount, std::min(16, nIdeal)));
}

void OrvelOperationWorkerBase::Cancel()
{
    m_bCancelRequested.store(true);
    Resume();
}

void OrvelOperationWorkerBase::Pause()
{
    m_bPauseRequested.store(true);
}

void OrvelOperationWorkerBase::Resume()
{
    {
        std::lock_guard<std::mutex> lock(m_pauseMutex);
        m_bPauseRequested.store(false);
    }
    m_pauseCondition.notify_all();
}

void OrvelOperationWorkerBase::ResetControlState()
{
    m_bCancelRequested.store(false);
    m_bPauseRequested.store(false);
    ClearStatusMessage();
    m_workTimer.start();
}

bool OrvelOperationWorkerBase::IsCancelRequested(QThread* pThread) const
{
    return m_bCancelRequested.load() ||
           ThreadInterrupted(pThread != nullptr ? pThread : QThread::currentThread());
}

bool OrvelOperationWorkerBase::WaitWhilePaused(QThread* pThread)
{
    QThread* pCheck = pThread != nullptr ? pThread : QThread::currentThread();
    if (m_bPauseRequested.load())
    {
        std::unique_lock<std::mutex> lock(m_pauseMutex);
        // A thread interruption does not signal the condition, so the wait
        // wakes now and then to look at it.
        while (m_bPauseRequested.load() && !m_bCancelRequested.load() && !ThreadInterrupted(pCheck))
            m_pauseCondition.wait_for(lock, std::chrono::milliseconds(kSliceMs));
    }
    return !m_bCancelRequested.load() && !ThreadInterrupted(pCheck);
}

bool OrvelOperationWorkerBase::SleepUnlessStopped(int nMs, QThread* pThread)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    for (;;)
    {
        if (!WaitWhilePaused(pThread) || IsCancelRequested(pThread))
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return true;
        const auto slice = std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                                         std::chrono::milliseconds(kSliceMs));
        std::unique_lock<std::mutex> lock(m_pauseMutex);
        // Cancel notifies the condition, so a cancelled sleep ends at once.
        m_pauseCondition.wait_for(lock, slice, [this] { return m_bCancelRequested.load(); });
    }
}

void OrvelOperationWorkerBase::SetProgress(quint32 uCurrent, quint32 uTotal, const QString& strDetail)
{
    std::lock_guard<std::mutex> lock(m_progressMutex);
    m_uProgressCurrent = uCurrent;
    m_uProgressTotal = uTotal;
    m_strProgressDetail = strDetail;
    m_bProgressPending = true;
}

void OrvelOperationWorkerBase::SetStatusMessage(const QString& strMessage)
{
    if (strMessage.isEmpty())
        return;
    std::lock_guard<std::mutex> lock(m_statusMutex);
    m_strStatusMessage = strMessage;
    m_bStatusSet = true;
}

void OrvelOperationWorkerBase::ClearStatusMessage()
{
    std::lock_guard<std::mutex> lock(m_statusMutex);
    m_strStatusMessage.clear();
    m_bStatusSet = false;
}

void OrvelOperationWorkerBase::SetDownloadLimitOverride(quint64 uBytesPerSec)
{
    m_uLimitOverride = uBytesPerSec;
    m_bHasLimitOverride = true;
}

void OrvelOperationWorkerBase::OrderForFetch(QStringList* pList, OrvelFileService* pFileService)
{
    ::OrderForFetch(pList,
                    [pFileService](const QString& strPath)
                    {
                        const FileServiceValue size = pFileService->RemoteFileSize(strPath);
                        return size.ok ? qint64(size.value) : qint64(-1);
                    });
}

void OrvelOperationWorkerBase::ApplyDownloadLimit(OrvelFileService* pFileService)
{
    if (pFileService == nullptr)
    {
        emit WarningRaised(tr("Download limit was not applied; continuing task: file service unavailable"));
        return;
    }
    const quint64 uLimit =
        m_bHasLimitOverride ? m_uLimitOverride : (m_pSettings != nullptr ? m_pSettings->downloadLimit() : 0);
    if (pFileService->SetDownloadLimit(uLimit))
        return;
    QString strError = pFileService->LastError();
    if (strError.isEmpty())
        strError = tr("Failed to set download limit speed: %1 B/s").arg(uLimit);
    emit WarningRaised(tr("Download limit was not applied; continuing task: %1").arg(strError));
}

void OrvelOperationWorkerBase::PublishResult(TaskResultSnapshot* pSnapshot, const QStringList* pChangedFiles,
                                             qint32 nFirstCount, qint32 nSecondCount,
                                             const std::vector<WeakReplacementFailure>* pWeakFailures,
                                             const QStringList* pCreatedFiles,
                                             const OrvelStaleFiles* pStaleFiles)
{
    // Every end of a task ends its plan: its transfers stop with it.
    EndFetch();
    if (pSnapshot == nullptr)
        return;
    TaskResultData data;
    GetStatusMessage(&data.strStatusMessage);
    data.nWorkMs = m_workTimer.isValid() ? m_workTimer.elapsed() : 0;
    {
        std::lock_guard<std::mutex> lock(m_progressMutex);
        if (m_bProgressPending)
        {
            data.uProgressCurrent = m_uProgressCurrent;
            data.uProgressTotal = m_uProgressTotal;
            data.strProgressDetail = m_strProgressDetail;
            data.bProgressValid = true;
        }
    }
    if (pChangedFiles != nullptr)
        data.vecChangedFiles = *pChangedFiles;
    if (pWeakFailures != nullptr)
        data.vecWeakFailures = *pWeakFailures;
    if (pCreatedFiles != nullptr)
        data.vecCreatedFiles = *pCreatedFiles;
    if (pStaleFiles != nullptr)
    {
        data.vecRemovedFiles = pStaleFiles->RemovedFiles();
        data.vecKeptFiles = pStaleFiles->KeptFiles();
        data.vecKeptReasons = pStaleFiles->KeptReasons();
    }
    data.nFirstCount = nFirstCount;
    data.nSecondCount = nSecondCount;
    pSnapshot->Store(std::move(data));
}

FileSyncResult OrvelOperationWorkerBase::SyncFileWithRetry(const FileSyncContext& context,
                                                           const QString& strRelativePath,
                                                           const QString& strLocalPath, bool bCheckFirst,
                                                           int nAttempts, int nBaseDelayMs)
{
    OrvelFileService* pService = context.pFileService;
    if (pService == nullptr)
        return HandleFileSyncFailure(context, strRelativePath, strLocalPath, tr("File service unavailable"),
                                     false);

    const auto cancelled = [&context]
    {
        // Pool threads are plain threads: the worker's QThread is the one a stop interrupts.
        return (context.pbCancel != nullptr && context.pbCancel->load()) ||
               ThreadInterrupted(context.pWorkerThread != nullptr ? context.pWorkerThread
                                                                  : QThread::currentThread());
    };
    // What failed once the stop came is the stop's doing, not the server's.
    const auto cancelledResult = [](bool bCutShort)
    {
        FileSyncResult result;
        result.abortAll = true;
        result.stopped = true;
        result.cutShort = bCutShort;
        result.error = tr("Stopped");
        return result;
    };
    if (cancelled())
        return cancelledResult(false);

    if (bCheckFirst)
    {
        const FileCompareResult compare = pService->CompareLocalFile(strRelativePath, strLocalPath);
        if (!compare.ok)
            return HandleFileSyncFailure(context, strRelativePath, strLocalPath, compare.error,
                                         compare.localFailure);
        if (compare.same)
        {
            FileSyncResult result;
            result.ok = true;
            result.skipped = true;
            return result;
        }
    }

    QString strLastError;
    bool bLastLocal = false;
    for (int nAttempt = 1; nAttempt <= nAttempts; ++nAttempt)
    {
        if (cancelled())
            return cancelledResult(nAttempt > 1);
        const FileServiceStatus status =
            pService->DownloadToLocalFile(strRelativePath, strLocalPath, context.pbCancel,
                                          context.pWorkerThread, context.strContainRoot, context.pBatch);
        if (status.ok)
        {
            FileSyncResult result;
            result.ok = true;
            result.transferred = true;
            return result;
        }
        strLastError = status.error;
        bLastLocal = status.localFailure;
        if (cancelled())
            return cancelledResult(true);
        if (nAttempt == nAttempts)
            break;
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(nBaseDelayMs * (1 << (nAttempt - 1)));
        while (!cancelled())
        {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                break;
            std::unique_lock<std::mutex> lock(m_pauseMutex);
            const auto slice = std::min<std::chrono::steady_clock::duration>(
                deadline - now, std::chrono::milliseconds(kSliceMs));
            m_pauseCondition.wait_for(lock, slice, [&cancelled] { return cancelled(); });
        }
    }
    return HandleFileSyncFailure(context, strRelativePath, strLocalPath, strLastError, bLastLocal);
}

FileSyncResult OrvelOperationWorkerBase::SyncAfterCheck(const FileSyncContext& context,
                                                        const QString& strRelativePath,
                                                        const QString& strLocalPath, LocalCheck eCheck)
{
    if (eCheck == LocalCheck::Same)
    {
        FileSyncResult result;
        result.ok = true;
        result.skipped = true;
        return result;
    }
    return SyncFileWithRetry(context, strRelativePath, strLocalPath, eCheck != LocalCheck::Differs);
}

std::vector<LocalCheck> OrvelOperationWorkerBase::CompareBeforeFetch(OrvelFileService* pService,
                                                                     const QStringList& vecFiles,
                                                                     const QString& strRoot,
                                                                     LinkedPathCache* pLinked,
                                                                     QThread* pWorkerThread)
{
    std::vector<LocalCheck> vecChecks(static_cast<size_t>(vecFiles.size()), LocalCheck::Unknown);
    const ParallelRunResult run = RunParallel(
        vecFiles.size(), pWorkerThread,
        [&](int nIndex, quint32 uOrdinal, quint32 uTotal, bool&)
        {
            const QString& strRelative = vecFiles.at(nIndex);
            SetProgress(uOrdinal, uTotal,
                        tr("(%2/%3) Comparing file %1").arg(strRelative).arg(uOrdinal).arg(uTotal));
            QString strLocal;
            QString strError;
            if ((pLinked != nullptr && pLinked->IsLinked(strRoot, strRelative)) ||
                !OrvelStorePath::JoinUnder(strRoot, strRelative, &strLocal, &strError))
                return true;
            const FileCompareResult compare = pService->CompareLocalFile(strRelative, strLocal);
            if (compare.ok)
                vecChecks[static_cast<size_t>(nIndex)] =
                    compare.same ? LocalCheck::Same : LocalCheck::Differs;
            return true;
        });
    if (run.bAborted)
        return {};
    return vecChecks;
}

void OrvelOperationWorkerBase::ReportFileFailure(const QString& strRelativePath, const FileSyncResult& result)
{
    if (result.stopped)
    {
        if (result.cutShort)
            emit FileStopped(strRelativePath);
        return;
    }
    SetStatusMessage(result.error);
    emit FileFailed(strRelativePath, result.error);
}

FileSyncResult OrvelOperationWorkerBase::HandleFileSyncFailure(const FileSyncContext& context,
                                                               const QString& strRelativePath,
                                                               const QString& strLocalPath,
                                                               const QString& strError, bool bLocalFailure)
{
    FileSyncResult result;
    result.error = strError.isEmpty() ? tr("unknown error") : strError;
    // Only the working path's own failures may be put off: a file the store
    // never delivered would otherwise let the run pass as complete.
    result.abortAll = IsCriticalReplacementPath(strRelativePath) || !bLocalFailure;
    if (!result.abortAll && context.pCollector != nullptr)
    {
        context.pCollector->Record({strRelativePath, strLocalPath, result.error, false});
        result.ok = true;
        result.deferred = true;
        result.skipped = true;
    }
    return result;
}

bool OrvelOperationWorkerBase::FlushWrittenFiles(OrvelWriteBatch& batch)
{
    if (batch.PendingFiles() == 0)
        return true;
    QString strError;
    if (batch.Flush(&strError))
        return true;
    SetStatusMessage(tr("Failed to flush written files to disk: %1").arg(strError));
    return false;
}
