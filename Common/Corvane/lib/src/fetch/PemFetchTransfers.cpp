// SPDX-License-Identifier: MIT
// A plan's transfer thread: one loop over libcurl's multi interface that
// starts requests as the bounds allow, feeds their bytes to the ranges and
// settles each range when its parts have ended.
#include "fetch/PemFetchPlan.h"
#include "fetch/PemFetchTransfer.h"

#include "common/CorvaneCheck.h"
#include "net/CorvaneCurl.h"
#include "net/PemHttpDownloader.h"
#include "platform/PlatformThread.h"

#include <algorithm>
#include <cstring>

namespace NSCorvane
{

namespace
{

// A transfer thread with nothing to do sleeps until woken, but looks again
// now and then; with transfers running it returns to libcurl at this pace.
constexpr int kIdlePollMs = 1000;
constexpr int kBusyPollMs = 100;

bool IsConnectFailure(CURLcode eCode)
{
    return eCode == CURLE_COULDNT_CONNECT || eCode == CURLE_COULDNT_RESOLVE_HOST ||
           eCode == CURLE_COULDNT_RESOLVE_PROXY;
}

} // namespace

void PemFetchPlan::CancelTransfer(Transfer& transfer)
{
    if (transfer.pGet)
    {
        transfer.pGet->Cancel();
    }
}

void PemFetchPlan::Run()
{
    CorvanePlatform::SetCurrentThreadName("corvane-fetch");
    try
    {
        RunLoop(m_pMulti);
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
    }
    // Whatever still runs is abandoned; nothing of it reaches a taker or the cache.
    std::vector<std::unique_ptr<Transfer>> vecLeft;
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        vecLeft.swap(m_vecRunning);
    }
    for (std::unique_ptr<Transfer>& pTransfer : vecLeft)
    {
        m_pCurl->pfnMultiRemoveHandle(m_pMulti, pTransfer->pHandle);
        std::string strMessage;
        bool bSourceFailed = false;
        pTransfer->pGet->Finish(CURLE_ABORTED_BY_CALLBACK, strMessage, nullptr, bSourceFailed);
    }
    vecLeft.clear();
    std::lock_guard<std::mutex> lock(m_mtx);
    StopAll(m_bCancelled);
}

void PemFetchPlan::RunLoop(CURLM* pMulti)
{
    for (;;)
    {
        bool bRunning = false;
        {
            std::lock_guard<std::mutex> lock(m_mtx);
            if (m_bStop)
            {
                return;
            }
            StartTransfers(pMulti);
            if (m_vecRunning.empty() && m_uOpenRanges == 0)
            {
                return; // all fetched or given up
            }
            bRunning = !m_vecRunning.empty();
        }
        int nRunning = 0;
        m_pCurl->pfnMultiPerform(pMulti, &nRunning);
        bool bFinished = false;
        int nLeft = 0;
        while (CURLMsg* pMsg = m_pCurl->pfnMultiInfoRead(pMulti, &nLeft))
        {
            if (pMsg->msg != CURLMSG_DONE)
            {
                continue;
            }
            CURL* pHandle = pMsg->easy_handle;
            const CURLcode eCode = pMsg->data.result;
            std::unique_ptr<Transfer> pDone;
            {
                std::lock_guard<std::mutex> lock(m_mtx);
                auto it = std::find_if(m_vecRunning.begin(), m_vecRunning.end(),
                                       [pHandle](const std::unique_ptr<Transfer>& p)
                                       { return p->pHandle == pHandle; });
                if (it != m_vecRunning.end())
                {
                    pDone = std::move(*it);
                    m_vecRunning.erase(it);
                }
            }
            m_pCurl->pfnMultiRemoveHandle(pMulti, pHandle);
            if (pDone)
            {
                Finished(std::move(pDone), static_cast<int>(eCode));
            }
            bFinished = true;
        }
        // A connection that came free takes the next range at once, not
        // after the poll's timeout.
        if (!bFinished)
        {
            m_pCurl->pfnMultiPoll(pMulti, nullptr, 0, bRunning ? kBusyPollMs : kIdlePollMs, nullptr);
        }
    }
}

void PemFetchPlan::StartTransfers(CURLM* pMulti)
{
    m_bHeldBack = false;
    for (;;)
    {
        // Ranges a taker waits for first, then the task's order.
        size_t uRange = SIZE_MAX;
        for (std::deque<size_t>* pDeque : {&m_deqPriority, &m_deqQueue})
        {
            while (!pDeque->empty() && uRange == SIZE_MAX)
            {
                const Range& range = m_vecRange[pDeque->front()];
                const bool bAllStarted =
                    range.bStarted && range.uNextPart >= std::max<size_t>(1, range.range.vecPart.size());
                if (range.eState != State::Waiting || range.bBroken || bAllStarted)
                {
                    pDeque->pop_front();
                    continue;
                }
                uRange = pDeque->front();
            }
            if (uRange != SIZE_MAX)
            {
                break;
            }
        }
        if (uRange == SIZE_MAX)
        {
            return;
        }
        Range& range = m_vecRange[uRange];
        if (!range.bStarted)
        {
            const uint64_t uLength = m_bPackages ? 0 : range.range.uEnd - range.range.uStart;
            // One large record goes to disk beside its package in the cache,
            // and holds nothing of the memory bound.
            const bool bSpill = uLength >= m_uSpillBytes && range.range.vecRecord.size() == 1;
            const uint64_t uReserve = bSpill ? 0 : uLength;
            // The transfer pauses while what waits to be opened fills the
            // bound, unless a taker waits for this very range.
            if (!range.bPriority && m_uHeld > 0 && m_uHeld + uReserve > m_uMemoryBound)
            {
                m_bHeldBack = true;
                return;
            }
            const size_t uSource = ChooseSource(range);
            if (uSource == SIZE_MAX)
            {
                Final(uRange, State::Fallback);
                continue;
            }
            if (m_vecSourceRunning[uSource] >= m_vecSource[uSource]->Connections())
            {
                return;
            }
            range.spSpill.reset();
            if (bSpill)
            {
                const std::string strCache = m_vecSource[uSource]->CachePathOf(range.range.strDat.c_str());
                range.spSpill = strCache.empty() ? nullptr : PemSpillFile::Create(strCache, uLength);
                if (!range.spSpill)
                {
                    Final(uRange, State::Fallback); // no room on disk: as without a plan
                    continue;
                }
            }
            // Left uninitialised: every byte is written by a part before
            // the range settles as fetched.
            range.spBody.reset();
            if (!bSpill)
            {
                try
                {
                    range.spBody = std::shared_ptr<char>(new char[uLength], std::default_delete<char[]>());
                }
                catch (...)
                {
                    CORVANE_REPORT("std::bad_alloc");
                    Final(uRange, State::Fallback);
                    continue;
                }
            }
            range.uSource = uSource;
            range.bStarted = true;
            range.uNextPart = 0;
            range.uPartsDone = 0;
            ++range.nAttempts;
            range.uReserved = uReserve;
            m_uHeld += uReserve;
            m_uHighWater = std::max(m_uHighWater, m_uHeld);
        }
        else if (m_vecSourceRunning[range.uSource] >= m_vecSource[range.uSource]->Connections())
        {
            return;
        }
        std::unique_ptr<Transfer> pTransfer = NewTransfer(uRange);
        ++range.uNextPart;
        if (!pTransfer || m_pCurl->pfnMultiAddHandle(pMulti, pTransfer->pHandle) != CURLM_OK)
        {
            range.bBroken = true;
            range.nFailure = std::max(range.nFailure, static_cast<int>(kFailOther));
            if (range.uRunning == 0)
            {
                Settle(uRange);
            }
            continue;
        }
        ++range.uRunning;
        ++m_vecSourceRunning[range.uSource];
        m_vecRunning.push_back(std::move(pTransfer));
    }
}

std::unique_ptr<PemFetchPlan::Transfer> PemFetchPlan::NewTransfer(size_t uRange)
{
    Range& range = m_vecRange[uRange];
    PemHttpDownloader* pSource = m_vecSource[range.uSource];
    auto pTransfer = std::make_unique<Transfer>();
    Transfer* pRaw = pTransfer.get();
    pRaw->uRange = uRange;
    pRaw->uSource = range.uSource;
    pRaw->uPart = range.uNextPart;
    const char* pcszDat = range.range.strDat.c_str();
    if (m_bPackages)
    {
        pRaw->pWriter = std::make_unique<CorvaneUtil::CacheStreamWriter>(pSource->CachePathOf(pcszDat));
        pRaw->pGet = pSource->NewAsyncGet(pcszDat, 0, 0,
                                          [this, pRaw](const char* pData, size_t uSize)
                                          {
                                              if (!pRaw->pWriter->Write(pData, uSize))
                                              {
                                                  return false;
                                              }
                                              pRaw->check.Feed(pData, uSize);
                                              pRaw->uWritten += uSize;
                                              m_uBytesDone.fetch_add(uSize);
                                              return true;
                                          });
    }
    else
    {
        const FetchPart& part = range.range.vecPart[pRaw->uPart];
        // The body was sized when the range started and stays so until it
        // settles, on this thread: each part writes its own stretch of it
        // (or of the file on disk).
        const uint64_t uStretch = part.uOffset - range.range.uStart;
        char* pStretch = range.spSpill ? nullptr : range.spBody.get() + uStretch;
        PemSpillFile* pSpill = range.spSpill.get();
        const uint64_t uPartLength = part.uLength;
        pRaw->pGet = pSource->NewAsyncGet(
            pcszDat, part.uOffset, part.uLength,
            [this, pRaw, pStretch, pSpill, uStretch, uPartLength](const char* pData, size_t uSize)
            {
                if (pRaw->uWritten + uSize > uPartLength)
                {
                    return false;
                }
                if (pSpill)
                {
                    if (!pSpill->WriteAt(uStretch + pRaw->uWritten, pData, uSize))
                    {
                        return false;
                    }
                }
                else
                {
                    std::memcpy(pStretch + pRaw->uWritten, pData, uSize);
                }
                pRaw->uWritten += uSize;
                m_uBytesDone.fetch_add(uSize);
                return true;
            });
    }
    if (!pRaw->pGet)
    {
        return nullptr;
    }
    std::string strMessage;
    pRaw->pHandle = pRaw->pGet->Start(strMessage);
    if (!pRaw->pHandle)
    {
        CORVANE_REPORT(strMessage.c_str());
        return nullptr;
    }
    return pTransfer;
}

void PemFetchPlan::Finished(std::unique_ptr<Transfer> pTransfer, int nCode)
{
    const auto eCode = static_cast<CURLcode>(nCode);
    std::string strMessage;
    HttpPrivateImpl::AsyncGet::Timing timing;
    bool bSourceFailed = false;
    HttpRangeResult eResult = pTransfer->pGet->Finish(eCode, strMessage, &timing, bSourceFailed);
    // The task remembers a failing source, so that later ranges and opens
    // without a plan pass it over at once.
    if (eResult != HttpRangeResult::Cancelled)
    {
        m_vecSource[pTransfer->uSource]->SettleRequest(false, bSourceFailed, strMessage);
    }
    if (eResult == HttpRangeResult::Ok && m_fnLink)
    {
        // Only bodies long enough to say something about the bandwidth.
        const double dBandwidth = timing.uBytes >= (256u << 10) && timing.dBodySeconds > 0.001
                                      ? static_cast<double>(timing.uBytes) / timing.dBodySeconds
                                      : 0.0;
        m_fnLink(timing.dWaitSeconds, dBandwidth);
    }
    // A package reaches the cache only whole and intact; a damaged one is
    // left to the path without a plan, which fetches and checks it again.
    bool bDamaged = false;
    if (eResult == HttpRangeResult::Ok && pTransfer->pWriter)
    {
        bDamaged = !pTransfer->check.Passed();
        if (bDamaged)
        {
            strMessage = "Package of a fetch plan failed its check, package=" +
                         m_vecRange[pTransfer->uRange].range.strDat;
            eResult = HttpRangeResult::Failed;
        }
        else if (!pTransfer->pWriter->Commit())
        {
            eResult = HttpRangeResult::Failed;
        }
    }
    if (eResult != HttpRangeResult::Ok && eResult != HttpRangeResult::Cancelled && !strMessage.empty())
    {
        CORVANE_REPORT(strMessage.c_str());
    }
    if (eResult == HttpRangeResult::WholeBody)
    {
        m_vecSource[pTransfer->uSource]->TurnRangeOff();
    }
    int nFailure = 0;
    switch (eResult)
    {
    case HttpRangeResult::Ok:
        break;
    case HttpRangeResult::WholeBody:
    case HttpRangeResult::NotSatisfiable:
    case HttpRangeResult::Missing:
        nFailure = kFailNoRange;
        break;
    case HttpRangeResult::Failed:
        nFailure = bDamaged ? kFailNoRange : IsConnectFailure(eCode) ? kFailConnect : kFailOther;
        break;
    case HttpRangeResult::Cancelled:
        nFailure = kFailCancelled;
        break;
    }
    const size_t uRange = pTransfer->uRange;
    const size_t uSource = pTransfer->uSource;
    const uint64_t uWritten = pTransfer->uWritten;
    pTransfer.reset(); // the handle back to its pool; an unfinished cache file removed

    std::lock_guard<std::mutex> lock(m_mtx);
    Range& range = m_vecRange[uRange];
    --range.uRunning;
    --m_vecSourceRunning[uSource];
    if (nFailure == 0)
    {
        ++range.uPartsDone;
        if (m_bPackages)
        {
            // The plan counted the package's size as the index knows it; the
            // file may hold more.
            m_uBytesPlanned.fetch_add(uWritten - (range.range.uEnd - range.range.uStart));
        }
    }
    else
    {
        range.bBroken = true;
        range.nFailure = std::max(range.nFailure, nFailure);
    }
    const size_t uParts = std::max<size_t>(1, range.range.vecPart.size());
    if (range.uRunning == 0 && (range.bBroken || range.uPartsDone == uParts))
    {
        Settle(uRange);
    }
}

} // namespace NSCorvane
