#include "workers/OrvelFetchTally.h"

#include "OrvelFileService.h"

OrvelFetchTally::OrvelFetchTally() = default;

OrvelFetchTally::~OrvelFetchTally()
{
    End();
}

bool OrvelFetchTally::Begin(OrvelFileService* pService, const QStringList& vecFiles, bool bWholePackages,
                            const std::vector<int>& vecItemOfFile)
{
    End();
    if (pService == nullptr || vecFiles.isEmpty())
        return false;
    int nItems = vecFiles.size();
    for (const int nItem : vecItemOfFile)
        nItems = qMax(nItems, nItem + 1);
    std::vector<qint64> vecItemBytes(static_cast<size_t>(nItems), -1);
    std::vector<int> vecItems(static_cast<size_t>(vecFiles.size()));
    quint64 uTotal = 0;
    for (int i = 0; i < vecFiles.size(); ++i)
    {
        // Packages have no index size: only the plan can count them.
        const FileServiceValue size =
            bWholePackages ? FileServiceValue() : pService->RemoteFileSize(vecFiles.at(i));
        const qint64 nBytes = size.ok ? qint64(size.value) : 0;
        const size_t uItem = static_cast<size_t>(vecItemOfFile.empty() ? i : vecItemOfFile.at(size_t(i)));
        if (uItem < vecItemBytes.size())
            vecItemBytes[uItem] = nBytes;
        vecItems[size_t(i)] = int(uItem);
        uTotal += quint64(nBytes);
    }
    const bool bPlanned = pService->PlanFetch(vecFiles, bWholePackages);

    std::lock_guard<std::mutex> lock(m_mutex);
    m_pService = pService;
    m_bEnded = false;
    m_last = OrvelTransferProgress();
    m_bPlanned = bPlanned;
    m_uBytesTotal = uTotal;
    m_uFilesTotal = quint64(vecFiles.size());
    m_vecItemBytes = std::move(vecItemBytes);
    m_vecItemOfFile = std::move(vecItems);
    m_pItemDone.reset(new std::atomic_bool[m_vecItemBytes.size()]);
    for (size_t i = 0; i < m_vecItemBytes.size(); ++i)
        m_pItemDone[i].store(false);
    m_uBytesDone.store(0);
    m_uFilesDone.store(0);
    return bPlanned;
}

void OrvelFetchTally::ItemDone(int nItem)
{
    // Items of one run are never resized away while the pool runs: Begin and
    // End come before and after it on the worker's thread.
    if (nItem < 0 || static_cast<size_t>(nItem) >= m_vecItemBytes.size() ||
        m_vecItemBytes[size_t(nItem)] < 0 || m_pItemDone[size_t(nItem)].exchange(true))
        return;
    m_uBytesDone.fetch_add(quint64(m_vecItemBytes[size_t(nItem)]));
    m_uFilesDone.fetch_add(1);
}

int OrvelFetchTally::NextArrivedItem(int* pnItem, int nWaitMs)
{
    OrvelFileService* pService = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_bPlanned)
            return 2;
        pService = m_pService;
    }
    // The service outlives the pool run (End comes after it, on the worker's
    // thread); the wait must not hold the lock the progress poll takes.
    int nFile = -1;
    const int nResult = pService->NextFetchArrival(&nFile, nWaitMs);
    if (nResult != 1)
        return nResult;
    if (nFile < 0 || size_t(nFile) >= m_vecItemOfFile.size())
        return 0; // not ours: ask again
    *pnItem = m_vecItemOfFile[size_t(nFile)];
    return 1;
}

bool OrvelFetchTally::Planned() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bPlanned;
}

bool OrvelFetchTally::IsFetched(int nItem) const
{
    return nItem >= 0 && size_t(nItem) < m_vecItemBytes.size() && m_vecItemBytes[size_t(nItem)] >= 0;
}

void OrvelFetchTally::End()
{
    OrvelFileService* pService = nullptr;
    bool bPlanned = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pService == nullptr)
            return;
        ReadLocked(&m_last);
        // What the plan had done is the transfer's last word; a reader of it
        // after the end sees no speed.
        m_last.uBytesPerSecond = 0;
        pService = m_pService;
        bPlanned = m_bPlanned;
        m_pService = nullptr;
        m_bEnded = true;
        m_bPlanned = false;
    }
    // Outside the lock: ending waits for the plan's transfer thread, and the
    // controller's poll must not wait with it.
    if (bPlanned)
        pService->EndFetch();
}

bool OrvelFetchTally::Read(OrvelTransferProgress* pProgress) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bEnded)
    {
        *pProgress = m_last;
        return m_last.Known();
    }
    return ReadLocked(pProgress);
}

bool OrvelFetchTally::ReadLocked(OrvelTransferProgress* pProgress) const
{
    *pProgress = OrvelTransferProgress();
    if (m_pService == nullptr)
        return false;
    pProgress->uFilesDone = m_uFilesDone.load();
    pProgress->uFilesTotal = m_uFilesTotal;
    OrvelFileService::FetchPlanProgress plan;
    if (m_bPlanned && m_pService->FetchProgress(&plan) && plan.uBytesPlanned > 0)
    {
        pProgress->bPlanned = true;
        pProgress->uBytesDone = qMin(plan.uBytesDone, plan.uBytesPlanned);
        pProgress->uBytesTotal = plan.uBytesPlanned;
        pProgress->uBytesPerSecond = plan.uBytesPerSecond;
        return true;
    }
    pProgress->uBytesDone = qMin(m_uBytesDone.load(), m_uBytesTotal);
    pProgress->uBytesTotal = m_uBytesTotal;
    return pProgress->uBytesTotal > 0;
}
