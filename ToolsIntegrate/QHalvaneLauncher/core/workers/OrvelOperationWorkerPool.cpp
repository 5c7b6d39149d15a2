// The bounded pool of OrvelOperationWorkerBase: items start on up to 16
// standard threads, each passing the pause/cancel checkpoint first. Without a
// fetch plan they start in list order. With one, one thread at a time waits
// for the next file in list order (the plan serves the file it waits for
// first) and the others take files as their bytes come, so that the writing
// keeps pace with the transfer instead of queueing behind one large file.
#include "workers/OrvelOperationWorkerBase.h"
#include "workers/OrvelRunOnThreads.h"

#include <QThread>

#include <atomic>
#include <mutex>
#include <vector>

namespace
{

// How long a thread waits for the plan's next file before it looks at the
// pause and stop requests again.
constexpr int kArrivalWaitMs = 50;

// Which item a pool thread takes next. Thread-safe.
class ItemPicker
{
public:
    static constexpr int kNone = -1; // every item is taken
    static constexpr int kWait = -2; // none is ready yet: ask again

    ItemPicker(int nCount, OrvelFetchTally* pFetch)
        : m_nCount(nCount), m_pFetch(pFetch), m_bByArrival(pFetch->Planned()),
          m_vecTaken(static_cast<size_t>(nCount), false)
    {
    }

    // *pbInOrder: the item was taken in list order; EndInOrder() when it is done.
    int Next(bool* pbInOrder)
    {
        *pbInOrder = false;
        if (!m_bByArrival)
        {
            const int nIndex = m_nNext.fetch_add(1);
            return nIndex < m_nCount ? nIndex : kNone;
        }
        int nItem = -1;
        int nResult = 0;
        while (!m_bArrivalsOver.load() && (nResult = m_pFetch->NextArrivedItem(&nItem, 0)) != 0)
        {
            if (nResult == 2)
                m_bArrivalsOver.store(true);
            else if (Take(nItem))
                return nItem;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            // Items the plan does not bring (found the same, linked) cost little.
            for (; m_nUnfetched < m_nCount; ++m_nUnfetched)
            {
                if (!m_vecTaken[size_t(m_nUnfetched)] && !m_pFetch->IsFetched(m_nUnfetched))
                {
                    m_vecTaken[size_t(m_nUnfetched)] = true;
                    return m_nUnfetched++;
                }
            }
            // Whatever was not told (the plan ended early): list order.
            if (m_bArrivalsOver.load())
                return TakeNextInOrder();
            if (!m_bInOrderTaken)
            {
                const int nIndex = TakeNextInOrder();
                if (nIndex != kNone)
                {
                    m_bInOrderTaken = true;
                    *pbInOrder = true;
                    return nIndex;
                }
            }
        }
        nResult = m_pFetch->NextArrivedItem(&nItem, kArrivalWaitMs);
        if (nResult == 2)
            m_bArrivalsOver.store(true);
        return nResult == 1 && Take(nItem) ? nItem : kWait;
    }

    void EndInOrder()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bInOrderTaken = false;
    }

private:
    // The first item not yet taken, in list order; m_mutex held.
    int TakeNextInOrder()
    {
        for (; m_nOrder < m_nCount; ++m_nOrder)
        {
            if (!m_vecTaken[size_t(m_nOrder)])
            {
                m_vecTaken[size_t(m_nOrder)] = true;
                return m_nOrder++;
            }
        }
        return kNone;
    }

    bool Take(int nItem)
    {
        if (nItem < 0 || nItem >= m_nCount)
            return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_vecTaken[size_t(nItem)])
            return false;
        m_vecTaken[size_t(nItem)] = true;
        return true;
    }

    const int m_nCount;
    OrvelFetchTally* const m_pFetch;
    const bool m_bByArrival;
    std::atomic<int> m_nNext{0};
    std::atomic_bool m_bArrivalsOver{false};
    std::mutex m_mutex;
    std::vector<bool> m_vecTaken;
    int m_nUnfetched = 0;
    int m_nOrder = 0;
    bool m_bInOrderTaken = false; // a thread waits for an item taken in list order
};

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

    ItemPicker picker(nCount, &m_fetch);
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
                         bool bInOrder = false;
                         const int nIndex = picker.Next(&bInOrder);
                         if (nIndex == ItemPicker::kWait)
                             continue;
                         if (nIndex == ItemPicker::kNone)
                             break;
                         // A stop while the picker waited: what came is not begun.
                         if (IsCancelRequested(pWorkerThread))
                         {
                             bAborted.store(true);
                             break;
                         }
                         struct InOrderEnd
                         {
                             ItemPicker& picker;
                             bool bInOrder;
                             ~InOrderEnd()
                             {
                                 if (bInOrder)
                                     picker.EndInOrder();
                             }
                         } inOrderEnd{picker, bInOrder};
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
