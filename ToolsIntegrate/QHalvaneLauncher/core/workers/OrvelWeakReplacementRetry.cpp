#include "workers/OrvelWeakReplacementRetry.h"

#include "OrvelFileService.h"
#include "OrvelStorePath.h"
#include "OrvelWriteBatch.h"
#include "workers/LinkedPathCache.h"
#include "workers/OrvelOperationWorkerBase.h"

#include <QCoreApplication>
#include <QSet>
#include <QThread>

namespace
{

// The texts of this file, in the OrvelWeakReplacementRetry translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelWeakReplacementRetry)
};

// The worker base's per-file retry and flush, run on the calling thread
// without a task of its own.
class WeakRetryRunner : public OrvelOperationWorkerBase
{
public:
    WeakRetryRunner() : OrvelOperationWorkerBase(nullptr) {}
    void DoWork() override {}

    FileSyncResult Sync(const FileSyncContext& context, const QString& strRelative, const QString& strLocal)
    {
        return SyncFileWithRetry(context, strRelative, strLocal, false);
    }
    bool Flush(OrvelWriteBatch& batch, QString* pstrError)
    {
        if (FlushWrittenFiles(batch))
            return true;
        GetStatusMessage(pstrError);
        return false;
    }
    const std::atomic_bool* OwnCancelFlag() const { return CancelFlag(); }
    void Plan(OrvelFileService* pService, const QStringList& vecFiles)
    {
        BeginFetch(pService, vecFiles, false);
    }
    void EndPlan() { EndFetch(); }
};

} // namespace

WeakRetryResult RetryWeakReplacements(OrvelFileService* pService,
                                      const std::vector<WeakReplacementFailure>& vecFailures,
                                      const QString& strWorkPath,
                                      const std::function<void(int, int)>& fnBeforeFile,
                                      const std::atomic_bool* pbCancel)
{
    WeakRetryResult result;
    const auto fail = [&result](const WeakReplacementFailure& failure, const QString& strError)
    {
        WeakReplacementFailure still = failure;
        still.strError = strError;
        still.bRetried = true;
        result.vecStillFailed.push_back(still);
    };
    if (pService == nullptr || !pService->IsReady())
    {
        for (const WeakReplacementFailure& failure : vecFailures)
            fail(failure, Text::tr("Weak replacement retry skipped: target file service unavailable"));
        return result;
    }

    WeakRetryRunner runner;
    LinkedPathCache linkedPaths;
    OrvelWriteBatch batch(strWorkPath);
    FileSyncContext context;
    context.pFileService = pService;
    context.pbCancel = pbCancel != nullptr ? pbCancel : runner.OwnCancelFlag();
    context.pWorkerThread = QThread::currentThread();
    context.strContainRoot = strWorkPath;
    context.pBatch = &batch;

    // The local path is formed again from the working path: a recorded one is
    // only a hint and must not carry the write anywhere else.
    const int nTotal = static_cast<int>(vecFailures.size());
    std::vector<QString> vecLocal(vecFailures.size());
    std::vector<QString> vecRefusal(vecFailures.size());
    QStringList vecFetch;
    for (size_t i = 0; i < vecFailures.size(); ++i)
    {
        const QString& strRelative = vecFailures[i].strRelativePath;
        QString& strRefusal = vecRefusal[i];
        if (strWorkPath.isEmpty())
            strRefusal = Text::tr("Working path is empty");
        else if (OrvelStorePath::JoinUnder(strWorkPath, strRelative, &vecLocal[i], &strRefusal) &&
                 linkedPaths.IsLinked(strWorkPath, OrvelStorePath::Normalise(strRelative)))
            strRefusal = Text::tr("Refused to replace a file reached through a link: %1").arg(strRelative);
        if (strRefusal.isEmpty())
            vecFetch.push_back(strRelative);
    }
    // The files are fetched in the order they are retried; the plan ends with the run.
    runner.Plan(pService, vecFetch);

    std::vector<const WeakReplacementFailure*> vecWritten;
    for (int i = 0; i < nTotal; ++i)
    {
        const WeakReplacementFailure& failure = vecFailures[static_cast<size_t>(i)];
        if (fnBeforeFile)
            fnBeforeFile(i + 1, nTotal);
        const QString& strLocal = vecLocal[static_cast<size_t>(i)];
        const QString& strRefusal = vecRefusal[static_cast<size_t>(i)];
        if (!strRefusal.isEmpty() || strLocal.isEmpty())
        {
            fail(failure, strRefusal);
            continue;
        }
        const FileSyncResult sync = runner.Sync(context, failure.strRelativePath, strLocal);
        if (!sync.ok)
        {
            fail(failure, sync.error);
            continue;
        }
        vecWritten.push_back(&failure);
    }

    runner.EndPlan();
    QString strFlushError;
    if (!runner.Flush(batch, &strFlushError))
    {
        // Not durable yet: the files stay offered for another attempt.
        for (const WeakReplacementFailure* pFailure : vecWritten)
            fail(*pFailure, strFlushError);
        vecWritten.clear();
    }
    result.nSucceeded = static_cast<int>(vecWritten.size());
    return result;
}

std::vector<WeakReplacementFailure>
WeakFailuresNotSelected(const std::vector<WeakReplacementFailure>& vecAll,
                        const std::vector<WeakReplacementFailure>& vecSelected)
{
    QSet<QString> setSelected;
    for (const WeakReplacementFailure& failure : vecSelected)
        setSelected.insert(OrvelStorePath::Normalise(failure.strRelativePath));
    std::vector<WeakReplacementFailure> vecOut;
    for (const WeakReplacementFailure& failure : vecAll)
    {
        if (!setSelected.contains(OrvelStorePath::Normalise(failure.strRelativePath)))
            vecOut.push_back(failure);
    }
    return vecOut;
}
