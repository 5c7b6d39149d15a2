// A task's transfer as its progress line counts it: the files it will fetch,
// handed to the library as a fetch plan in the order the pool opens them, and
// the bytes done so far: the plan's own figures while the library runs one,
// else the index sizes of the files already in place, so that the line never
// reads 100% while a file is still arriving.
//
// Threads: Begin and End on the worker's thread; ItemDone on pool threads;
// Read from the controller's thread at any time (one mutex guards the
// service, which End lets go before the worker may drop it).
#pragma once

#include "OrvelTransferProgress.h"

#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class OrvelFileService;

class OrvelFetchTally
{
public:
    OrvelFetchTally();
    ~OrvelFetchTally();

    // vecFiles: the store paths, in open order. vecCounted[i] says whether
    // item i of the pool run is one of them (empty: every item, in order).
    // Ends an earlier transfer first. True when the library took the plan.
    bool Begin(OrvelFileService* pService, const QStringList& vecFiles, bool bWholePackages,
               const std::vector<int>& vecItemOfFile = {});
    // Item nItem of the pool run is in place (written, or found the same).
    void ItemDone(int nItem);
    // The pool item whose file the plan has brought (or will not bring) next,
    // waiting up to nWaitMs: 1 with *pnItem set, 0 when none came in the
    // wait, 2 when no more will (no plan, or every file told). Pool threads.
    int NextArrivedItem(int* pnItem, int nWaitMs);
    // Whether item nItem is one of the files handed to the plan.
    bool IsFetched(int nItem) const;
    // Whether the library took the plan.
    bool Planned() const;
    // Ends the plan (also its transfers); Read answers its last figures
    // afterwards, until the next Begin.
    void End();
    // False when no transfer is counted.
    bool Read(OrvelTransferProgress* pProgress) const;

private:
    bool ReadLocked(OrvelTransferProgress* pProgress) const;

    mutable std::mutex m_mutex;
    OrvelFileService* m_pService = nullptr;
    bool m_bEnded = false;
    OrvelTransferProgress m_last;
    bool m_bPlanned = false;
    quint64 m_uBytesTotal = 0;
    quint64 m_uFilesTotal = 0;
    // Per pool item: its size in bytes, -1 when it is not counted.
    std::vector<qint64> m_vecItemBytes;
    // Per file of the plan: its pool item.
    std::vector<int> m_vecItemOfFile;
    std::unique_ptr<std::atomic_bool[]> m_pItemDone;
    std::atomic<quint64> m_uBytesDone{0};
    std::atomic<quint64> m_uFilesDone{0};
};
