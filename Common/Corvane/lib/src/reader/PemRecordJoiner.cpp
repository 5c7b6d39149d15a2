// SPDX-License-Identifier: MIT
#include "reader/PemRecordJoiner.h"

#include "fs/PemStreamBufferFile.h"

#include <algorithm>
#include <new>

namespace NSCorvane
{

namespace
{

uint64_t EndOf(const CORVANE_IDX_ELEMENT& element)
{
    return uint64_t{element.uElemOfs} + element.uElemLen;
}

} // namespace

void PemRecordJoiner::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mapPackage.clear();
    m_lstHeld.clear();
    m_uHeldBytes = 0;
    m_bHasRecords = false;
}

uint64_t PemRecordJoiner::JoinedRequests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uJoinedRequests;
}

uint64_t PemRecordJoiner::RecordsFromWindows() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uRecordsFromWindows;
}

PemRecordJoiner::Package* PemRecordJoiner::FindPackage(const std::string& strDatFile,
                                                       const RecordsFn& fnRecords)
{
    if (!m_bHasRecords)
    {
        m_mapPackage.clear();
        for (auto& [strDat, vecRecord] : fnRecords())
        {
            auto byOffset = [](const CORVANE_IDX_ELEMENT& a, const CORVANE_IDX_ELEMENT& b)
            { return a.uElemOfs < b.uElemOfs; };
            std::sort(vecRecord.begin(), vecRecord.end(), byOffset);
            // Files of equal content may share one record.
            vecRecord.erase(std::unique(vecRecord.begin(), vecRecord.end(),
                                        [](const CORVANE_IDX_ELEMENT& a, const CORVANE_IDX_ELEMENT& b)
                                        { return a.uElemOfs == b.uElemOfs; }),
                            vecRecord.end());
            Package& package = m_mapPackage[strDat];
            package.vecAsked.assign(vecRecord.size(), false);
            package.vecAhead.assign(vecRecord.size(), false);
            package.vecRecord = std::move(vecRecord);
        }
        m_bHasRecords = true;
    }
    auto it = m_mapPackage.find(strDatFile);
    return it == m_mapPackage.end() ? nullptr : &it->second;
}

bool PemRecordJoiner::GiveUpSkipped(Package& package, size_t uIndex)
{
    if (uIndex <= kJitter)
    {
        return false;
    }
    bool bSkipped = false;
    for (const std::shared_ptr<Window>& pWindow : package.lstWindow)
    {
        std::set<size_t>& setPending = pWindow->setPending;
        while (!setPending.empty() && *setPending.begin() < uIndex - kJitter)
        {
            pWindow->setLate.insert(*setPending.begin());
            setPending.erase(setPending.begin());
            bSkipped = true;
        }
    }
    return bSkipped;
}

bool PemRecordJoiner::IsDense(const Package& package, size_t uIndex)
{
    // Back from uIndex over at most kLookBack records, up to where the walk
    // began (two records in a row not asked for).
    size_t uAsked = 0;
    size_t uHoles = 0;
    size_t uExamined = 0;
    for (size_t i = uIndex; i > 0 && uExamined < kLookBack; --i)
    {
        if (package.vecAsked[i - 1])
        {
            ++uAsked;
        }
        else if (i < 2 || !package.vecAsked[i - 2])
        {
            break; // the package's start counts as a record not asked for
        }
        else
        {
            ++uHoles;
        }
        ++uExamined;
    }
    // One hole is the packer's local order only once the walk has a history.
    return uAsked >= 2 && (uHoles == 0 || (uExamined >= 8 && uHoles * 16 <= std::max<size_t>(16, uExamined)));
}

std::shared_ptr<PemRecordJoiner::Window> PemRecordJoiner::PlanWindow(Package& package, size_t uIndex)
{
    const std::vector<CORVANE_IDX_ELEMENT>& vec = package.vecRecord;
    const CORVANE_IDX_ELEMENT& first = vec[uIndex];
    auto pWindow = std::make_shared<Window>();
    pWindow->uStart = first.uElemOfs;
    uint64_t uEnd = EndOf(first);
    uint64_t uRecordBytes = first.uElemLen;
    uint64_t uGapBytes = 0;
    for (size_t i = uIndex + 1; i < vec.size() && !package.vecAhead[i]; ++i)
    {
        if (package.vecAsked[i])
        {
            continue; // read already (the walk's local order): fetched again only as a gap
        }
        if (vec[i].uElemOfs < uEnd)
        {
            break; // overlapping records: not a store this walk can trust to join
        }
        const uint64_t uGap = vec[i].uElemOfs - uEnd;
        const uint64_t uNextEnd = EndOf(vec[i]);
        if (uGap > kMaxGap || uNextEnd - first.uElemOfs > package.uWindow ||
            (uGapBytes + uGap) * 20 > uRecordBytes + vec[i].uElemLen)
        {
            break;
        }
        uGapBytes += uGap;
        uRecordBytes += vec[i].uElemLen;
        uEnd = uNextEnd;
        pWindow->setPending.insert(i);
    }
    if (pWindow->setPending.empty())
    {
        return nullptr;
    }
    for (size_t i : pWindow->setPending)
    {
        package.vecAhead[i] = true;
    }
    pWindow->uEnd = static_cast<uint32_t>(uEnd);
    return pWindow;
}

IFile* PemRecordJoiner::CopyRecord(const Window& window, const CORVANE_IDX_ELEMENT& element) const
{
    const auto* pbyWindow = static_cast<const uint8_t*>(window.pFile->GetBuffer());
    if (!pbyWindow || element.uElemOfs < window.uStart ||
        EndOf(element) > uint64_t{window.uStart} + window.pFile->Size())
    {
        return nullptr;
    }
    return PemStreamBufferFile::CreateCopy(pbyWindow + (element.uElemOfs - window.uStart), element.uElemLen);
}

void PemRecordJoiner::DropWindow(Package& package, const std::shared_ptr<Window>& pWindow)
{
    auto it = std::find(package.lstWindow.begin(), package.lstWindow.end(), pWindow);
    if (it == package.lstWindow.end())
    {
        return;
    }
    package.lstWindow.erase(it);
    if (pWindow->bReady && !pWindow->bFailed)
    {
        m_uHeldBytes -= pWindow->uEnd - pWindow->uStart;
    }
}

void PemRecordJoiner::EvictOldest()
{
    while (!m_lstHeld.empty() && (m_uHeldBytes > kMaxHeldBytes || m_lstHeld.front().second.expired()))
    {
        auto [pPackage, wpWindow] = m_lstHeld.front();
        m_lstHeld.pop_front();
        if (std::shared_ptr<Window> pWindow = wpWindow.lock())
        {
            DropWindow(*pPackage, pWindow);
        }
    }
}

IFile* PemRecordJoiner::Take(const std::string& strDatFile, const CORVANE_IDX_ELEMENT& element,
                             const RecordsFn& fnRecords, const FetchFn& fnFetch, bool* pbCancelled)
{
    *pbCancelled = false;
    std::unique_lock<std::mutex> lock(m_mutex);
    Package* pPackage = FindPackage(strDatFile, fnRecords);
    if (!pPackage)
    {
        return nullptr;
    }
    Package& package = *pPackage;
    const auto itRecord =
        std::lower_bound(package.vecRecord.begin(), package.vecRecord.end(), element.uElemOfs,
                         [](const CORVANE_IDX_ELEMENT& e, uint32_t u) { return e.uElemOfs < u; });
    if (itRecord == package.vecRecord.end() || itRecord->uElemOfs != element.uElemOfs ||
        itRecord->uElemLen != element.uElemLen)
    {
        return nullptr;
    }
    const size_t uIndex = static_cast<size_t>(itRecord - package.vecRecord.begin());
    package.vecAsked[uIndex] = true;
    if (GiveUpSkipped(package, uIndex))
    {
        package.uWindow = 0;
    }

    for (const std::shared_ptr<Window>& pWindow : package.lstWindow)
    {
        if (pWindow->setPending.erase(uIndex) == 0 && pWindow->setLate.erase(uIndex) == 0)
        {
            continue;
        }
        const std::shared_ptr<Window> pHeld = pWindow; // the list may drop it while this thread waits
        m_cvReady.wait(lock, [&] { return pHeld->bReady; });
        if (pHeld->bFailed)
        {
            return nullptr;
        }
        ++m_uRecordsFromWindows;
        if (pHeld->setPending.empty() && pHeld->setLate.empty())
        {
            DropWindow(package, pHeld);
        }
        return CopyRecord(*pHeld, element);
    }

    if (!IsDense(package, uIndex))
    {
        return nullptr;
    }
    package.uWindow = package.uWindow ? std::min(package.uWindow * 2, kMaxWindow) : kFirstWindow;
    std::shared_ptr<Window> pWindow = PlanWindow(package, uIndex);
    if (!pWindow)
    {
        return nullptr;
    }
    package.lstWindow.push_back(pWindow);
    lock.unlock();

    IFile* pifWindow = nullptr;
    bool bOk = false;
    try
    {
        bOk = fnFetch(strDatFile, pWindow->uStart, pWindow->uEnd - pWindow->uStart, &pifWindow, pbCancelled);
    }
    catch (const std::bad_alloc&)
    {
        bOk = false; // the waiting records read on their own, or fail there
    }

    lock.lock();
    pWindow->bReady = true;
    if (bOk && pifWindow)
    {
        pWindow->pFile.reset(pifWindow, [](IFile* p) { p->Release(); });
        ++m_uJoinedRequests;
        m_uHeldBytes += pWindow->uEnd - pWindow->uStart;
        m_lstHeld.emplace_back(&package, pWindow);
        EvictOldest();
    }
    else
    {
        if (pifWindow)
        {
            pifWindow->Release();
        }
        // Each record waiting for this window falls back to a read of its own.
        pWindow->bFailed = true;
        DropWindow(package, pWindow);
    }
    m_cvReady.notify_all();
    return pWindow->bFailed ? nullptr : CopyRecord(*pWindow, element);
}

} // namespace NSCorvane
