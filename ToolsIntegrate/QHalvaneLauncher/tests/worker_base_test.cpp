// The worker base: the pool, the pause/cancel checkpoint, retries with
// back-off, progress polling, result publication and the path rules that
// decide whether a failure ends a run.
#include "OrvelFileService.h"
#include "OrvelTestSupport.h"
#include "workers/OrvelDownloadMode.h"
#include "workers/OrvelOperationWorkerBase.h"
#include "workers/OrvelTaskResultSnapshot.h"
#include "workers/OrvelWorkerPaths.h"

#include <QSet>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

namespace
{

class TestWorker : public OrvelOperationWorkerBase
{
public:
    TestWorker() : OrvelOperationWorkerBase(nullptr) {}
    void DoWork() override {}

    using OrvelOperationWorkerBase::CancelFlag;
    using OrvelOperationWorkerBase::PublishResult;
    using OrvelOperationWorkerBase::ResetControlState;
    using OrvelOperationWorkerBase::RunParallel;
    using OrvelOperationWorkerBase::RunParallelCounted;
    using OrvelOperationWorkerBase::SetProgress;
    using OrvelOperationWorkerBase::SetStatusMessage;
    using OrvelOperationWorkerBase::SyncFileWithRetry;
};

using OrvelTest::WaitUntil;

// Runs RunParallel over nCount items on its own thread; each item records its
// thread and waits until the gate opens.
struct GatedRun
{
    GatedRun(TestWorker& worker, int nCount)
    {
        thread = std::thread(
            [&worker, this, nCount]
            {
                result = worker.RunParallel(nCount, nullptr,
                                            [&](int, quint32, quint32, bool&)
                                            {
                                                {
                                                    std::lock_guard<std::mutex> lock(mutex);
                                                    setThreads.insert(std::this_thread::get_id());
                                                }
                                                started.fetch_add(1);
                                                while (!gate.load())
                                                    std::this_thread::yield();
                                                return true;
                                            });
                done.store(true);
            });
    }
    ~GatedRun()
    {
        gate.store(true);
        thread.join();
    }

    std::thread thread;
    std::atomic<int> started{0};
    std::atomic_bool gate{false};
    std::atomic_bool done{false};
    std::mutex mutex;
    std::set<std::thread::id> setThreads;
    ParallelRunResult result;
};

TEST(WorkerPool, ThreadCountFollowsTheItemCount)
{
    EXPECT_EQ(OrvelOperationWorkerBase::PoolThreadCount(0), 1);
    EXPECT_EQ(OrvelOperationWorkerBase::PoolThreadCount(1), 1);
    EXPECT_EQ(OrvelOperationWorkerBase::PoolThreadCount(2), 2);
    EXPECT_LE(OrvelOperationWorkerBase::PoolThreadCount(100), 16);
    EXPECT_GE(OrvelOperationWorkerBase::PoolThreadCount(100), 2);

    // Two items held at the gate at once prove two threads, even on one core.
    TestWorker worker;
    {
        GatedRun run(worker, 2);
        ASSERT_TRUE(WaitUntil([&] { return run.started.load() == 2; }));
        run.gate.store(true);
        ASSERT_TRUE(WaitUntil([&] { return run.done.load(); }));
        EXPECT_EQ(run.setThreads.size(), 2u);
        EXPECT_TRUE(run.result.Succeeded());
    }
}

TEST(WorkerPool, OrdinalsCountStartsAndFailuresDecideTheResult)
{
    TestWorker worker;
    std::mutex mutex;
    QSet<quint32> setOrdinals;
    const CountedRunResult counted =
        worker.RunParallelCounted(50, nullptr,
                                  [&](int nIndex, quint32 uOrdinal, quint32 uTotal, bool&, QString& strError)
                                  {
                                      EXPECT_EQ(uTotal, 50u);
                                      std::lock_guard<std::mutex> lock(mutex);
                                      setOrdinals.insert(uOrdinal);
                                      if (nIndex % 10 == 3)
                                      {
                                          strError = QStringLiteral("bad %1").arg(nIndex);
                                          return false;
                                      }
                                      return true;
                                  });
    EXPECT_EQ(setOrdinals.size(), 50);
    EXPECT_TRUE(setOrdinals.contains(1) && setOrdinals.contains(50));
    EXPECT_FALSE(counted.bAborted);
    EXPECT_EQ(counted.uSucceeded, 45u);
    EXPECT_EQ(counted.uFailed, 5u);
    EXPECT_TRUE(counted.strFirstError.startsWith(QLatin1String("bad ")));
    EXPECT_FALSE(counted.Succeeded());

    // A failure that asks to abort stops items that have not started.
    std::atomic<int> nRan{0};
    const ParallelRunResult aborted = worker.RunParallel(1000, nullptr,
                                                         [&](int nIndex, quint32, quint32, bool& bAbort)
                                                         {
                                                             nRan.fetch_add(1);
                                                             bAbort = nIndex == 0;
                                                             return nIndex != 0;
                                                         });
    EXPECT_TRUE(aborted.bAborted);
    EXPECT_LT(nRan.load(), 1000);

    const ParallelRunResult empty =
        worker.RunParallel(0, nullptr, [](int, quint32, quint32, bool&) { return false; });
    EXPECT_TRUE(empty.Succeeded());
}

TEST(WorkerPool, PauseHoldsEveryStartUntilResumeOrCancel)
{
    TestWorker worker;
    {
        // Paused before the run: no item may start until Resume.
        worker.Pause();
        GatedRun run(worker, 20);
        run.gate.store(true);
        worker.Resume();
        ASSERT_TRUE(WaitUntil([&] { return run.done.load(); }));
        EXPECT_EQ(run.started.load(), 20);
        EXPECT_TRUE(run.result.Succeeded());
    }
    {
        // Paused, then cancelled from this thread: every waiting pool thread wakes and stops.
        worker.ResetControlState();
        worker.Pause();
        GatedRun run(worker, 20);
        run.gate.store(true);
        worker.Cancel();
        ASSERT_TRUE(WaitUntil([&] { return run.done.load(); }));
        EXPECT_EQ(run.started.load(), 0);
        EXPECT_TRUE(run.result.bAborted);
    }
}

TEST(WorkerPool, ProgressIsPolledWithoutWaitingAndPublishedOnce)
{
    TestWorker worker;
    quint32 uCurrent = 0;
    quint32 uTotal = 0;
    QString strDetail;
    EXPECT_FALSE(worker.TryTakeProgress(&uCurrent, &uTotal, &strDetail));
    worker.SetProgress(3, 9, QStringLiteral("(3/9) Downloading file a"));
    EXPECT_TRUE(worker.TryTakeProgress(&uCurrent, &uTotal, &strDetail));
    EXPECT_EQ(uCurrent, 3u);
    EXPECT_EQ(strDetail, QStringLiteral("(3/9) Downloading file a"));
    EXPECT_FALSE(worker.TryTakeProgress(&uCurrent, &uTotal, &strDetail));

    // Many writers, one poller: every take is whole (detail matches numbers).
    std::atomic_bool bStop{false};
    std::thread poller(
        [&]
        {
            quint32 c = 0, t = 0;
            QString d;
            while (!bStop.load())
            {
                if (worker.TryTakeProgress(&c, &t, &d))
                {
                    EXPECT_EQ(d, QStringLiteral("%1/%2").arg(c).arg(t));
                }
            }
        });
    worker.RunParallel(2000, nullptr,
                       [&](int, quint32 uOrdinal, quint32 uAll, bool&)
                       {
                           worker.SetProgress(uOrdinal, uAll,
                                              QStringLiteral("%1/%2").arg(uOrdinal).arg(uAll));
                           return true;
                       });
    bStop.store(true);
    poller.join();

    TaskResultSnapshot snapshot;
    worker.SetStatusMessage(QStringLiteral("last error"));
    worker.SetProgress(7, 8, QStringLiteral("seven"));
    const QStringList vecChanged{QStringLiteral("a"), QStringLiteral("b")};
    const std::vector<WeakReplacementFailure> vecWeak{
        {QStringLiteral("x"), QStringLiteral("/w/x"), QStringLiteral("e")}};
    worker.PublishResult(&snapshot, &vecChanged, 5, 1, &vecWeak);
    const TaskResultData data = snapshot.Read();
    EXPECT_EQ(data.strStatusMessage, QStringLiteral("last error"));
    EXPECT_EQ(data.vecChangedFiles, vecChanged);
    ASSERT_EQ(data.vecWeakFailures.size(), 1u);
    EXPECT_EQ(data.nFirstCount, 5);
    EXPECT_TRUE(data.bProgressValid);
    EXPECT_EQ(data.strProgressDetail, QStringLiteral("seven"));
}

TEST(WorkerRetry, CancelDuringBackOffEndsAtOnce)
{
    // A service without a reader fails every download at once, so the run
    // spends its time in the back-off between attempts.
    OrvelFileService service;
    WeakReplacementCollector collector;
    TestWorker worker;
    FileSyncContext context;
    context.pFileService = &service;
    context.pCollector = &collector;
    context.pbCancel = worker.CancelFlag();

    FileSyncResult result;
    std::atomic_bool bDone{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread run(
        [&]
        {
            result = worker.SyncFileWithRetry(context, QStringLiteral("data/x.bin"),
                                              QStringLiteral("/nonexistent/x"), false, 3, 2000);
            bDone.store(true);
        });
    // The first attempt fails at once (its error is kept); then the 2 s back-off begins.
    ASSERT_TRUE(WaitUntil([&] { return !service.LastError().isEmpty(); }));
    worker.Cancel();
    ASSERT_TRUE(WaitUntil([&] { return bDone.load(); }, 10000));
    run.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.abortAll);
    EXPECT_EQ(collector.Count(), 0u);
}

TEST(WorkerPaths, NormalisationCriticalPrefixesAndLauncherFiles)
{
    EXPECT_EQ(NormalizeRelativePath(QStringLiteral("./client//bin64/a")), QStringLiteral("client/bin64/a"));
    EXPECT_EQ(NormalizeRelativePath(QStringLiteral("\\\\data\\x.bin")), QStringLiteral("data/x.bin"));
    EXPECT_EQ(NormalizeRelativePath(QStringLiteral(".")), QString());
    EXPECT_EQ(NormalizeRelativePath(QStringLiteral("/")), QString());

    EXPECT_TRUE(IsCriticalReplacementPath(QStringLiteral("EDITORTOOL/a.exe")));
    EXPECT_TRUE(IsCriticalReplacementPath(QStringLiteral("./client//bin64/a")));
    EXPECT_TRUE(IsCriticalReplacementPath(QStringLiteral("client/CachedShaders_mb/s")));
    EXPECT_FALSE(IsCriticalReplacementPath(QStringLiteral("client/bin64")));
    EXPECT_FALSE(IsCriticalReplacementPath(QStringLiteral("data/x.bin")));
    EXPECT_FALSE(IsCriticalReplacementPath(QString()));
    // Only ASCII letters fold: a dotted capital I is not an "i".
    EXPECT_FALSE(IsCriticalReplacementPath(QString::fromUtf8("EDİTORTOOL/a.exe")));

    EXPECT_EQ(
        FilterLauncherSelfPaths({QStringLiteral("editortool/qhalvanelauncher"),
                                 QStringLiteral("editortool/qhalvanelauncher/x.dll"), QString(),
                                 QStringLiteral("editortool/qhalvanelauncherx/y"), QStringLiteral("data/a")}),
        QStringList({QStringLiteral("editortool/qhalvanelauncherx/y"), QStringLiteral("data/a")}));

    WeakReplacementCollector collector;
    collector.Record({QStringLiteral("Data/X.bin"), QStringLiteral("/w/1"), QStringLiteral("first")});
    collector.Record({QStringLiteral("./data/x.bin"), QStringLiteral("/w/2"), QStringLiteral("second")});
    collector.Record({QStringLiteral("a/b"), QStringLiteral("/w/3"), QStringLiteral("third")});
    collector.Record({QStringLiteral("."), QStringLiteral("/w/4"), QStringLiteral("dropped")});
    const std::vector<WeakReplacementFailure> vecWeak = collector.Snapshot();
    ASSERT_EQ(vecWeak.size(), 2u);
    EXPECT_EQ(vecWeak[0].strError, QStringLiteral("third"));
    EXPECT_EQ(vecWeak[1].strError, QStringLiteral("second"));
}

TEST(DownloadMode, SpanOfTwentyIsIncrementalTwentyOneIsFull)
{
    EXPECT_TRUE(ChooseDownloadMode(true, 100, 120).IsIncremental());
    EXPECT_EQ(ChooseDownloadMode(true, 100, 120).LogText(),
              QStringLiteral("Using incremental download: version 100 -> 120 (20 versions)"));
    EXPECT_EQ(ChooseDownloadMode(true, 100, 121).eReason, DownloadModeDecision::SpanTooLarge);
    EXPECT_EQ(ChooseDownloadMode(true, 100, 121).LogText(),
              QStringLiteral("Using full download (version span too large: 21)"));
    EXPECT_EQ(ChooseDownloadMode(false, 0, 5).LogText(),
              QStringLiteral("Using full download (no valid sync baseline)"));
    EXPECT_EQ(ChooseDownloadMode(true, 7, 7).eReason, DownloadModeDecision::AlreadyAtLatest);
    EXPECT_EQ(ChooseDownloadMode(true, 9, 7).eReason, DownloadModeDecision::AlreadyAtLatest);
}

} // namespace
