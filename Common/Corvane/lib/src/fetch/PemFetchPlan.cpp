// SPDX-License-Identifier: MIT
// A plan's bookkeeping: what its takers wait for and what each range brought.
#include "fetch/PemFetchPlan.h"

#include "common/CorvaneCheck.h"
#include "fetch/PemFetchTransfer.h"
#include "net/CorvaneCurl.h"
#include "net/PemHttpDownloader.h"
#include "net/PemSharedBodyFile.h"

#include <algorithm>
#include <chrono>

namespace NSCorvane
{

PemFetchPlan::PemFetchPlan(std::vector<FetchRecord> vecRecord, std::vector<uint64_t> vecKey,
                           std::vector<FetchRange> vecRange, bool bPackages,
                           std::vector<PemHttpDownloader*> vecSource, uint64_t uMemoryBound,
                           uint64_t uSpillBytes, LinkFn fnLink)
    : m_bPackages(bPackages), m_vecSource(std::move(vecSource)), m_vecSourceRunning(m_vecSource.size(), 0),
      m_uMemoryBound(uMemoryBound), m_uSpillBytes(uSpillBytes), m_fnLink(std::move(fnLink))
{
    m_vecRecord.resize(vecRecord.size());
    for (size_t i = 0; i < vecRecord.size(); ++i)
    {
        m_vecRecord[i].record = std::move(vecRecord[i]);
        m_mapKey.emplace(vecKey[i], i);
    }
    m_vecRange.resize(vecRange.size());
    uint64_t uPlanned = 0;
    for (size_t i = 0; i < vecRange.size(); ++i)
    {
        for (size_t uRecord : vecRange[i].vecRecord)
        {
            m_vecRecord[uRecord].uRange = i;
        }
        if (m_bPackages)
        {
            m_mapPackage.emplace(vecRange[i].strDat, i);
        }
        uPlanned += vecRange[i].uEnd - vecRange[i].uStart;
        m_vecRange[i].range = std::move(vecRange[i]);
        m_deqQueue.push_back(i);
    }
    m_uOpenRanges = m_vecRange.size();
    m_uBytesPlanned.store(uPlanned);
}

PemFetchPlan::~PemFetchPlan()
{
    Stop(false);
    if (m_pMulti)
    {
        m_pCurl->pfnMultiCleanup(m_pMulti);
    }
}

bool PemFetchPlan::Start()
{
    m_pCurl = NSCorvaneNet::LoadCurl();
    CORVANE_CHECK(m_pCurl);
    m_pMulti = m_pCurl->pfnMultiInit();
    CORVANE_CHECK(m_pMulti);
    uint32_t uPerHost = 1;
    for (PemHttpDownloader* pSource : m_vecSource)
    {
        uPerHost = std::max(uPerHost, pSource->Connections());
    }
    // Connections per host as configured; over HTTP/2 the requests share one.
    CORVANE_CHECK(m_pCurl->pfnMultiSetopt(m_pMulti, CURLMOPT_MAX_HOST_CONNECTIONS,
                                          static_cast<long>(uPerHost)) == CURLM_OK);
    CORVANE_CHECK(m_pCurl->pfnMultiSetopt(m_pMulti, CURLMOPT_PIPELINING,
                                          static_cast<long>(CURLPIPE_MULTIPLEX)) == CURLM_OK);
    try
    {
        m_thread = std::thread(&PemFetchPlan::Run, this);
    }
    catch (...)
    {
        CORVANE_REPORT("std::thread(&PemFetchPlan::Run)");
        return false;
    }
    return true;
}

void PemFetchPlan::Stop(bool bCancel)
{
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        m_bStop = true;
        m_bCancelled = m_bCancelled || bCancel;
        // A transfer held in a callback (the rate limit) returns at once.
        for (const std::unique_ptr<Transfer>& pTransfer : m_vecRunning)
        {
            CancelTransfer(*pTransfer);
        }
    }
    Wake();
    {
        // A cancel and the end of the task may stop the plan at once: one
        // joins, the other waits for that.
        std::lock_guard<std::mutex> lockJoin(m_mtxJoin);
        if (m_thread.joinable())
        {
            m_thread.join();
        }
    }
    std::lock_guard<std::mutex> lock(m_mtx);
    StopAll(m_bCancelled);
}

void PemFetchPlan::Wake()
{
    if (m_pMulti)
    {
        m_pCurl->pfnMultiWakeup(m_pMulti);
    }
}

void PemFetchPlan::StopAll(bool bCancel)
{
    for (size_t i = 0; i < m_vecRange.size(); ++i)
    {
        if (m_vecRange[i].eState == State::Waiting)
        {
            Final(i, bCancel ? State::Cancelled : State::Fallback);
        }
    }
    m_bDone = true;
    m_cv.notify_all();
}

void PemFetchPlan::Final(size_t uRange, State eState)
{
    Range& range = m_vecRange[uRange];
    if (range.eState != State::Waiting)
    {
        return;
    }
    range.eState = eState;
    --m_uOpenRanges;
    if (!m_bPackages)
    {
        for (size_t uRecord : range.range.vecRecord)
        {
            // A record a ready range could not hand over (out of memory) is
            // read as without a plan.
            if (m_vecRecord[uRecord].eState == State::Waiting)
            {
                m_vecRecord[uRecord].eState = eState == State::Ready ? State::Fallback : eState;
            }
            try
            {
                m_deqArrived.push_back(m_vecRecord[uRecord].record.uOrder);
            }
            catch (...)
            {
                // Untold, it is opened in the task's order all the same.
                CORVANE_REPORT("std::bad_alloc");
            }
        }
    }
    m_cv.notify_all();
}

void PemFetchPlan::Requeue(size_t uRange)
{
    Range& range = m_vecRange[uRange];
    range.bBroken = false;
    range.nFailure = 0;
    range.uNextPart = 0;
    range.uPartsDone = 0;
    m_deqQueue.push_front(uRange);
    if (range.bPriority)
    {
        m_deqPriority.push_front(uRange);
    }
}

size_t PemFetchPlan::ChooseSource(const Range& range) const
{
    // Configuration order; a range moves on when a source fails to connect,
    // and no range goes to a source the task has given up on.
    for (size_t i = range.uSourceFrom; i < m_vecSource.size(); ++i)
    {
        PemHttpDownloader* pSource = m_vecSource[i];
        const bool bUsable = (m_bPackages ? !pSource->CachePathOf(range.range.strDat.c_str()).empty()
                                          : !pSource->RangeOff()) &&
                             pSource->SourceUsable();
        if (bUsable)
        {
            return i;
        }
    }
    return SIZE_MAX;
}

void PemFetchPlan::Settle(size_t uRange)
{
    Range& range = m_vecRange[uRange];
    range.bStarted = false;
    m_uHeld -= range.uReserved;
    range.uReserved = 0;
    std::shared_ptr<PemSpillFile> spSpill = std::move(range.spSpill);
    range.spSpill.reset();
    if (!range.bBroken)
    {
        if (!m_bPackages)
        {
            // The records point into the range's body, not copies of it; it
            // is freed with the last file read from it. Each record counts
            // against the bound until it is taken: past that, only a large
            // file decoded as it is read keeps its neighbours' bytes a while
            // (a joined range is 4 MiB at most).
            for (size_t uRecord : range.range.vecRecord)
            {
                Record& record = m_vecRecord[uRecord];
                if (record.eState != State::Waiting)
                {
                    continue;
                }
                if (spSpill)
                {
                    // On disk: nothing of the memory bound is held for it.
                    if (!spSpill->EndWriting())
                    {
                        break; // read as without a plan
                    }
                    record.spSpill = std::move(spSpill);
                    record.eState = State::Ready;
                    continue;
                }
                record.spBytes = std::shared_ptr<const char>(
                    range.spBody, range.spBody.get() + (record.record.uOffset - range.range.uStart));
                record.eState = State::Ready;
                m_uHeld += record.record.uLength;
                m_uHighWater = std::max(m_uHighWater, m_uHeld);
            }
        }
        else
        {
            m_uChecked.fetch_add(1);
        }
        range.spBody.reset();
        Final(uRange, State::Ready); // records left waiting (a spill not ended) read as without a plan
        return;
    }
    range.spBody.reset();
    const int nFailure = range.nFailure;
    if (nFailure == kFailCancelled || m_bStop)
    {
        Final(uRange, m_bCancelled ? State::Cancelled : State::Fallback);
        return;
    }
    if (nFailure == kFailNoRange)
    {
        Final(uRange, State::Fallback);
        return;
    }
    if (nFailure == kFailConnect && range.uSource + 1 < m_vecSource.size())
    {
        range.uSourceFrom = range.uSource + 1;
        range.nAttempts = 0;
        Requeue(uRange);
        return;
    }
    // A reset or a stall may pass: once more, then as without a plan (which
    // reads the record once more, then its package).
    if (range.nAttempts < 2)
    {
        Requeue(uRange);
        return;
    }
    Final(uRange, State::Fallback);
}

FetchTake PemFetchPlan::TakeRecord(uint64_t uKey, IFile** ppFile)
{
    *ppFile = nullptr;
    std::unique_lock<std::mutex> lock(m_mtx);
    auto it = m_mapKey.find(uKey);
    if (it == m_mapKey.end())
    {
        return FetchTake::NotPlanned;
    }
    Record& record = m_vecRecord[it->second];
    bool bWaited = false;
    while (record.eState == State::Waiting)
    {
        Range& range = m_vecRange[record.uRange];
        if (!range.bPriority)
        {
            // Served even when the memory bound holds the others back.
            range.bPriority = true;
            m_deqPriority.push_back(record.uRange);
            Wake();
        }
        bWaited = true;
        m_cv.wait(lock);
    }
    switch (record.eState)
    {
    case State::Ready:
    {
        std::shared_ptr<const char> spBytes = std::move(record.spBytes);
        std::shared_ptr<PemSpillFile> spSpill = std::move(record.spSpill);
        record.spBytes.reset();
        record.spSpill.reset();
        record.eState = State::Taken;
        if (!spSpill)
        {
            m_uHeld -= record.record.uLength;
            if (m_bHeldBack)
            {
                Wake(); // memory was given back: a wake-up for each take would cost a call each
            }
        }
        lock.unlock();
        *ppFile = spSpill ? spSpill->OpenRead()
                          : PemSharedBodyFile::Create(std::move(spBytes), record.record.uLength);
        return *ppFile ? FetchTake::Ready : FetchTake::Fallback;
    }
    case State::Cancelled:
        return bWaited ? FetchTake::Cancelled : FetchTake::Fallback;
    case State::Fallback:
        return FetchTake::Fallback;
    default:
        return FetchTake::NotPlanned; // opened before
    }
}

int PemFetchPlan::NextArrival(uint32_t* puOrder, uint32_t uWaitMs)
{
    if (m_bPackages)
    {
        return 2; // packages are waited for by name
    }
    std::unique_lock<std::mutex> lock(m_mtx);
    const auto fnSettled = [this] { return !m_deqArrived.empty() || m_uOpenRanges == 0 || m_bDone; };
    m_cv.wait_for(lock, std::chrono::milliseconds(uWaitMs), fnSettled);
    if (!m_deqArrived.empty())
    {
        *puOrder = m_deqArrived.front();
        m_deqArrived.pop_front();
        return 1;
    }
    return m_uOpenRanges == 0 || m_bDone ? 2 : 0;
}

FetchTake PemFetchPlan::WaitPackage(const std::string& strDat)
{
    std::unique_lock<std::mutex> lock(m_mtx);
    auto it = m_mapPackage.find(strDat);
    if (it == m_mapPackage.end())
    {
        return FetchTake::NotPlanned;
    }
    Range& range = m_vecRange[it->second];
    bool bWaited = false;
    while (range.eState == State::Waiting)
    {
        if (!range.bPriority)
        {
            range.bPriority = true;
            m_deqPriority.push_back(it->second);
            Wake();
        }
        bWaited = true;
        m_cv.wait(lock);
    }
    switch (range.eState)
    {
    case State::Ready:
        return FetchTake::Ready;
    case State::Cancelled:
        return bWaited ? FetchTake::Cancelled : FetchTake::Fallback;
    default:
        return FetchTake::Fallback;
    }
}

void PemFetchPlan::Progress(CORVANE_FETCH_PROGRESS& progress)
{
    progress.uBytesPlanned = m_uBytesPlanned.load();
    progress.uBytesDone = std::min(m_uBytesDone.load(), progress.uBytesPlanned);
    progress.uFilesPlanned = m_bPackages ? m_vecRange.size() : m_vecRecord.size();
    progress.uFilesReady = m_uChecked.load();
}

uint64_t PemFetchPlan::HighWater()
{
    std::lock_guard<std::mutex> lock(m_mtx);
    return m_uHighWater;
}

} // namespace NSCorvane
