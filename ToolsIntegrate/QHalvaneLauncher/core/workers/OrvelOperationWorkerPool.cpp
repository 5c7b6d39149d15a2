// The bounded pool of OrvelOperationWorkerBase: items start in list order on
// up to 16 standard threads, each passing the pause/cancel checkpoint first.
#include "workers/OrvelOperationWorkerBase.h"

#include <QThread>

#include <atomic>
#include <thread>

namespace
{

// Runs fnThread on nThreads threads (the last one on the calling thread) and joins them.
template <typename Fn> void RunOnThreads(int nThreads, Fn fnThread)
{
    std::vector<std::thread> vecThreads;
    vecThreads.reserve(static_cast<size_t>(nThreads - 1));
    for (int i = 1; i < nThreads; ++i)
        vecThreads.emplace_back(fnThread);
    fnThread();
    for (std::thread& thread : vecThreads)
        thread.join();
}

} // namespace

ParallelRunResult OrvelOperationWorkerBase::RunParallel(int nCount, QThread* pWorkerThread,
                                                        const ItemFunction& fnItem)
{
    const CountedRunResult counted =
        RunParallelCounted(nCount, pWorkerThread,
                           [&fnItem](int nIndex, quint32 uOrdinal, quint32 uTotal, bool& bAbortAll, QString&)
                           { return fnItem(nIndex, uOrdinal, uTotal, bAbortAll); });
    ParallelRunResult result;
    result.bAborted = counted.bAborted;
    result.bAllOk = counted.uFailed == 0;
    return result;
}

CountedRunResult OrvelOperationWorkerBase::RunParallelCounted(int nCount, QThread* pWorkerThread,
                                                              const CountedItemFunction& fnItem)
{
    CountedRunResult result;
    if (nCount <= 0)
        return result;

    std::atomic<int> nNext{0};
    std::atomic<quint32> uStarted{0};
    std::atomic<quint32> uSucceeded{0};
    std::atomic<quint32> uFailed{0};
    std::atomic_bool bAborted{false};
    std::mutex errorMutex;
    QString strFirstError;
    const quint32 uTotal = static_cast<quint32>(nCount);

    RunOnThreads(PoolThreadCount(nCount),
                 [&]
                 {
                     while (!bAborted.load())
                     {
                         if (!WaitWhilePaused(pWorkerThread) || IsCancelRequested(pWorkerThread))
                         {
                             bAborted.store(true);
                             break;
                         }
                         const int nIndex = nNext.fetch_add(1);
                         if (nIndex >= nCount)
                             break;
                         const quint32 uOrdinal = uStarted.fetch_add(1) + 1;
                         bool bAbortAll = false;
                         QString strError;
                         if (fnItem(nIndex, uOrdinal, uTotal, bAbortAll, strError))
                         {
                             uSucceeded.fetch_add(1);
                             continue;
                         }
                         uFailed.fetch_add(1);
                         if (!strError.isEmpty())
                         {
                             std::lock_guard<std::mutex> lock(errorMutex);
                             if (strFirstError.isEmpty())
                                 strFirstError = strError;
                         }
                         if (bAbortAll)
                             bAborted.store(true);
                     }
                 });

    result.bAborted = bAborted.load();
    result.uSucceeded = uSucceeded.load();
    result.uFailed = uFailed.load();
    result.strFirstError = strFirstError;
    return result;
}
