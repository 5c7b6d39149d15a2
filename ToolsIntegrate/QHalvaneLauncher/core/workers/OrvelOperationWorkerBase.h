// Base of every long-running operation on the working path. The controller
// creates one worker per task, moves it to a fresh QThread and invokes DoWork.
// While it runs, Cancel, Pause and Resume are called directly from the
// controller's thread (they touch only atomics, a mutex and a condition),
// progress and status are polled (TryTakeProgress, GetStatusMessage), and the
// worker reports through queued signals. Per-item work runs on a bounded pool
// of standard threads (RunParallel), each item passing one checkpoint
// (WaitWhilePaused, IsCancelRequested) before it starts.
#pragma once

#include "workers/OrvelFetchTally.h"
#include "workers/OrvelWeakReplacement.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

class LauncherSettings;
class LinkedPathCache;
class OrvelChangedFiles;
class OrvelFileService;
class OrvelStaleFiles;
class OrvelWriteBatch;
class QThread;
class TaskResultSnapshot;

// Outcome of one SyncFileWithRetry.
struct FileSyncResult
{
    bool ok = false;          // in its required state, or its failure was deferred
    bool abortAll = false;    // stop the run: cancelled, or a critical path failed
    bool deferred = false;    // recorded as a weak replacement
    bool transferred = false; // written from the server
    bool skipped = false;     // nothing written: already the same, or deferred
    bool stopped = false;     // the task was stopped; error says "Stopped"
    bool cutShort = false;    // stopped while this file was being fetched
    QString error;
};

// What comparing a file of the working path with the store found.
enum class LocalCheck : quint8
{
    Unknown, // not compared (linked, unsafe name) or the comparison failed
    Same,
    Differs,
};

struct FileSyncContext
{
    OrvelFileService* pFileService = nullptr;
    WeakReplacementCollector* pCollector = nullptr; // may be null: no deferral
    const std::atomic_bool* pbCancel = nullptr;
    QThread* pWorkerThread = nullptr;
    // The working path: the target must lie below it, with no linked directory between.
    QString strContainRoot;
    OrvelWriteBatch* pBatch = nullptr; // flushed by the worker in one pass
};

struct ParallelRunResult
{
    bool bAborted = false;
    bool bAllOk = true;
    bool Succeeded() const { return !bAborted && bAllOk; }
};

struct CountedRunResult
{
    bool bAborted = false;
    quint32 uSucceeded = 0;
    quint32 uFailed = 0;
    QString strFirstError;
    bool Succeeded() const { return !bAborted && uFailed == 0; }
};

class OrvelOperationWorkerBase : public QObject
{
    Q_OBJECT

public:
    // One item of a pool run: index into the list, 1-based start ordinal, total.
    // Returns false on failure; sets bAbortAll to stop the whole run.
    using ItemFunction = std::function<bool(int nIndex, quint32 uOrdinal, quint32 uTotal, bool& bAbortAll)>;
    using CountedItemFunction =
        std::function<bool(int nIndex, quint32 uOrdinal, quint32 uTotal, bool& bAbortAll, QString& strError)>;

    static constexpr int kSyncAttempts = 3;
    static constexpr int kSyncBaseDelayMs = 200;

    explicit OrvelOperationWorkerBase(LauncherSettings* pSettings, QObject* pParent = nullptr);
    ~OrvelOperationWorkerBase() override;

    // Non-blocking: false when a pool thread holds the progress lock or nothing
    // new was set since the last take.
    virtual bool TryTakeProgress(quint32* puCurrent, quint32* puTotal, QString* pstrDetail);
    virtual bool GetStatusMessage(QString* pstrMessage) const;
    virtual QStringList GetChangedFiles() const;
    // The bytes of the task's transfer; false when it counts none. Any thread.
    bool TransferProgress(OrvelTransferProgress* pProgress) const;

    // A download limit for this task alone, instead of the settings' one (a
    // headless run's option). Call before the thread starts.
    void SetDownloadLimitOverride(quint64 uBytesPerSec);

    // Threads used for nCount items: 1 for one item, otherwise 2..16.
    static int PoolThreadCount(int nCount);

signals:
    void FileFailed(QString filePath, QString error);
    // A stop cut this file's transfer short; it was left as it was.
    void FileStopped(QString filePath);
    void WarningRaised(QString message);

public slots:
    virtual void DoWork() = 0;
    // Direct calls from the controller's thread, never queued.
    virtual void Cancel();
    virtual void Pause();
    virtual void Resume();

protected:
    void ResetControlState();
    // pThread null: the current thread.
    bool IsCancelRequested(QThread* pThread = nullptr) const;
    // Blocks while paused; false means stop (cancelled or interrupted).
    bool WaitWhilePaused(QThread* pThread = nullptr);
    bool IsPauseRequested() const { return m_bPauseRequested.load(); }
    // Sleeps nMs in slices of at most 50 ms; false (early) once the checkpoint says stop.
    bool SleepUnlessStopped(int nMs, QThread* pThread);

    void SetProgress(quint32 uCurrent, quint32 uTotal, const QString& strDetail);
    void SetStatusMessage(const QString& strMessage);
    void ClearStatusMessage();

    void ApplyDownloadLimit(OrvelFileService* pFileService);
    // OrderForFetch by the sizes pFileService's store gives.
    static void OrderForFetch(QStringList* pList, OrvelFileService* pFileService);
    // Once, right before Finished, on every path.
    void PublishResult(TaskResultSnapshot* pSnapshot, const QStringList* pChangedFiles, qint32 nFirstCount,
                       qint32 nSecondCount, const std::vector<WeakReplacementFailure>* pWeakFailures,
                       const QStringList* pCreatedFiles = nullptr,
                       const OrvelStaleFiles* pStaleFiles = nullptr);

    FileSyncResult SyncFileWithRetry(const FileSyncContext& context, const QString& strRelativePath,
                                     const QString& strLocalPath, bool bCheckFirst,
                                     int nAttempts = kSyncAttempts, int nBaseDelayMs = kSyncBaseDelayMs);
    // SyncFileWithRetry after CompareBeforeFetch: a file found the same is
    // skipped, one found different is fetched without a second comparison.
    FileSyncResult SyncAfterCheck(const FileSyncContext& context, const QString& strRelativePath,
                                  const QString& strLocalPath, LocalCheck eCheck);
    // Compares every file (a store path below strRoot) with the store on the
    // pool, so that the fetch plan holds only the files that differ. Linked
    // and unsafe names stay Unknown: the task's own step refuses them.
    // Empty when stopped.
    std::vector<LocalCheck> CompareBeforeFetch(OrvelFileService* pService, const QStringList& vecFiles,
                                               const QString& strRoot, LinkedPathCache* pLinked,
                                               QThread* pWorkerThread);
    // A failed file as the log shows it: "Stopped" for one a stop cut short
    // (nothing for one it never reached), else its error, also as the status.
    void ReportFileFailure(const QString& strRelativePath, const FileSyncResult& result);

    // The files the task will fetch, in the order its pool opens them
    // (OrvelFetchTally::Begin). EndFetch ends the plan; PublishResult too.
    bool BeginFetch(OrvelFileService* pService, const QStringList& vecFiles, bool bWholePackages,
                    const std::vector<int>& vecItemOfFile = {});
    void FetchItemDone(int nItem) { m_fetch.ItemDone(nItem); }
    void EndFetch() { m_fetch.End(); }

    // Makes what the run wrote durable in one pass. On failure the status
    // message says why and the run must not count as done.
    bool FlushWrittenFiles(OrvelWriteBatch& batch);

    // Once every file of the target is in place: removes pStale's candidates
    // below strWorkPath on the pool. Each removed file joins *pChanged as
    // changed, not created, so a rollback fetches it back from the baseline.
    // False, with the status message set, when one could not be removed or
    // the run was stopped.
    bool RemoveStaleFiles(OrvelStaleFiles* pStale, const QString& strWorkPath, OrvelChangedFiles* pChanged,
                          OrvelWriteBatch* pBatch, QThread* pWorkerThread);

    ParallelRunResult RunParallel(int nCount, QThread* pWorkerThread, const ItemFunction& fnItem);
    CountedRunResult RunParallelCounted(int nCount, QThread* pWorkerThread,
                                        const CountedItemFunction& fnItem);

    const std::atomic_bool* CancelFlag() const { return &m_bCancelRequested; }
    LauncherSettings* Settings() const { return m_pSettings; }

private:
    FileSyncResult HandleFileSyncFailure(const FileSyncContext& context, const QString& strRelativePath,
                                         const QString& strLocalPath, const QString& strError,
                                         bool bLocalFailure);

    LauncherSettings* m_pSettings;
    OrvelFetchTally m_fetch;
    QElapsedTimer m_workTimer; // DoWork's thread only
    bool m_bHasLimitOverride = false;
    quint64 m_uLimitOverride = 0;

    std::atomic_bool m_bCancelRequested{false};
    std::atomic_bool m_bPauseRequested{false};
    std::mutex m_pauseMutex;
    std::condition_variable m_pauseCondition;

    std::mutex m_progressMutex;
    quint32 m_uProgressCurrent = 0;
    quint32 m_uProgressTotal = 0;
    QString m_strProgressDetail;
    bool m_bProgressPending = false;

    mutable std::mutex m_statusMutex;
    QString m_strStatusMessage;
    bool m_bStatusSet = false;
};
