// SPDX-License-Identifier: MIT
#include "builder/PemCorvaneDiskAlloc.h"

#include "builder/BuilderStage.h"
#include "common/CorvaneCheck.h"
#include "common/CorvaneFailure.h"
#include "common/CorvaneMemory.h"
#include "fs/CorvaneFiles.h"
#include "platform/PlatformError.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformFileUpdate.h"

#include <algorithm>
#include <memory>
#include <system_error>

namespace NSCorvane
{

PemCorvaneDiskAlloc::WriteRequest::WriteRequest(WriteRequest&& other) noexcept
{
    *this = std::move(other);
}

PemCorvaneDiskAlloc::WriteRequest& PemCorvaneDiskAlloc::WriteRequest::operator=(WriteRequest&& other) noexcept
{
    if (this != &other)
    {
        FreeData();
        strExportDir = std::move(other.strExportDir);
        uFileIdx = other.uFileIdx;
        uFileOffset = other.uFileOffset;
        fHeader = other.fHeader;
        pvData = other.pvData;
        uDataLength = other.uDataLength;
        other.pvData = nullptr;
        other.uDataLength = 0;
    }
    return *this;
}

void PemCorvaneDiskAlloc::WriteRequest::FreeData()
{
    CorvaneUtil::MemoryFree(pvData);
    pvData = nullptr;
}

PemCorvaneDiskAlloc::~PemCorvaneDiskAlloc()
{
    Stop();
}

bool PemCorvaneDiskAlloc::BuildEnv(const CORVANE_PAK_OPTION& opt)
{
    Stop();
    const uint32_t uLanes = std::min(std::max<uint32_t>(opt.nTreadCount, 1), kMaxWriteLanes);
    m_pLaneFiles.reset(new LaneFile[uLanes]);
    m_uLaneFiles = uLanes;
    std::vector<WriteSlot> vecSlots(uLanes);
    for (WriteSlot& slot : vecSlots)
    {
        slot.pPool = new PemQueueTaskPool();
        if (!slot.pPool->Init(1))
        {
            for (WriteSlot& created : vecSlots)
            {
                delete created.pPool; // stops its thread
            }
            CORVANE_REPORT("pPool->Init(1)");
            return false;
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        m_pakOpt = opt;
        m_bStop = false;
        m_bWriteFailed = false;
        m_uPending = 0;
        m_vecSlots = std::move(vecSlots);
    }
    {
        std::lock_guard<std::mutex> lock(m_mtxHash);
        m_mapWrittenHash.clear();
    }
    try
    {
        m_thDispatcher = std::thread([this]() { _DispatchLoop(); });
    }
    catch (const std::system_error&)
    {
        Stop();
        CORVANE_REPORT("std::thread(_DispatchLoop)");
        return false;
    }
    return true;
}

bool PemCorvaneDiskAlloc::ResetFailure()
{
    if (!m_bWriteFailed.load())
    {
        return true;
    }
    // The dispatcher ended with the failure: a fresh run needs fresh threads.
    CORVANE_CHECK(BuildEnv(m_pakOpt));
    return true;
}

uint32_t PemCorvaneDiskAlloc::LaneCount()
{
    std::lock_guard<std::mutex> lock(m_mtx);
    return static_cast<uint32_t>(m_vecSlots.size());
}

bool PemCorvaneDiskAlloc::PushWriteRequest(const char* pcszExportDir, uint32_t uFileIdx, uint32_t uFileOffset,
                                           const CORVANE_FILE_HEADER& fHeader, void* pvData,
                                           uint32_t uDataLength)
{
    WriteRequest req;
    req.pvData = pvData; // owned from here on, whatever happens
    req.uDataLength = uDataLength;
    req.uFileIdx = uFileIdx;
    req.uFileOffset = uFileOffset;
    req.fHeader = fHeader;
    CORVANE_CHECK(pcszExportDir && *pcszExportDir);
    req.strExportDir = pcszExportDir;
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        CORVANE_CHECK(!m_bStop);
        CORVANE_CHECK(!m_bWriteFailed.load());
        m_queWriteRequest.push_back(std::move(req));
        ++m_uPending;
    }
    m_cv.notify_all();
    return true;
}

bool PemCorvaneDiskAlloc::_CanDispatchFront() const
{
    if (m_queWriteRequest.empty())
    {
        return false;
    }
    const uint32_t uFileIdx = m_queWriteRequest.front().uFileIdx;
    for (const WriteSlot& slot : m_vecSlots)
    {
        if (0 == slot.uRefCount || slot.uFileIdx == uFileIdx)
        {
            return true;
        }
    }
    return false;
}

bool PemCorvaneDiskAlloc::_TryOccupyPool(uint32_t uFileIdx, uint32_t& uPoolIdx, PemQueueTaskPool*& pPool)
{
    // A package already in flight stays on its lane, so its records land in queue order.
    for (size_t i = 0; i < m_vecSlots.size(); ++i)
    {
        WriteSlot& slot = m_vecSlots[i];
        if (slot.uRefCount > 0 && slot.uFileIdx == uFileIdx)
        {
            ++slot.uRefCount;
            uPoolIdx = static_cast<uint32_t>(i);
            pPool = slot.pPool;
            return true;
        }
    }
    for (size_t i = 0; i < m_vecSlots.size(); ++i)
    {
        WriteSlot& slot = m_vecSlots[i];
        if (0 == slot.uRefCount)
        {
            slot.uFileIdx = uFileIdx;
            slot.uRefCount = 1;
            uPoolIdx = static_cast<uint32_t>(i);
            pPool = slot.pPool;
            return true;
        }
    }
    return false;
}

bool PemCorvaneDiskAlloc::_PopDispatchRequest(WriteRequest& req, uint32_t& uPoolIdx, PemQueueTaskPool*& pPool)
{
    CORVANE_CHECK(!m_queWriteRequest.empty());
    CORVANE_CHECK(_TryOccupyPool(m_queWriteRequest.front().uFileIdx, uPoolIdx, pPool));
    req = std::move(m_queWriteRequest.front());
    m_queWriteRequest.pop_front();
    return true;
}

bool PemCorvaneDiskAlloc::_PostWriteTask(uint32_t uPoolIdx, PemQueueTaskPool* pPool, WriteRequest& req)
{
    // std::function needs a copyable callable; the shared request frees its data
    // once, also when a stopping lane destroys the job without running it.
    auto spReq = std::make_shared<WriteRequest>(std::move(req));
    CORVANE_CHECK(uPoolIdx < m_uLaneFiles);
    LaneFile* pLaneFile = &m_pLaneFiles[uPoolIdx];
    const bool bAdded = pPool->TryAddTask(
        [this, uPoolIdx, spReq, pLaneFile]()
        {
            if (!_ApplyFile(*pLaneFile, spReq->strExportDir.c_str(), m_pakOpt, spReq->uFileIdx,
                            spReq->uFileOffset, spReq->fHeader, spReq->pvData, spReq->uDataLength))
            {
                _SetWriteFailed();
            }
            else
            {
                _FeedWrittenHash(spReq->uFileIdx, spReq->uFileOffset, spReq->fHeader, spReq->pvData,
                                 spReq->uDataLength);
            }
            spReq->FreeData();
            _ReleasePool(uPoolIdx);
        });
    CORVANE_CHECK(bAdded);
    return true;
}

void PemCorvaneDiskAlloc::_DispatchLoop()
{
    for (;;)
    {
        WriteRequest req;
        uint32_t uPoolIdx = _INVALID_IDX;
        PemQueueTaskPool* pPool = nullptr;
        bool bHaveRequest = false;
        {
            std::unique_lock<std::mutex> lock(m_mtx);
            m_cv.wait(lock, [this]() { return m_bStop || m_bWriteFailed.load() || _CanDispatchFront(); });
            if (m_bStop && m_queWriteRequest.empty())
            {
                return;
            }
            if (m_bWriteFailed.load())
            {
                CORVANE_REPORT("!m_bWriteFailed.load()");
                return;
            }
            bHaveRequest = _PopDispatchRequest(req, uPoolIdx, pPool);
            if (!bHaveRequest)
            {
                CORVANE_REPORT("_PopDispatchRequest(req, uPoolIdx, pPool)");
            }
        }
        bool bPosted = false;
        if (bHaveRequest && !pPool)
        {
            CORVANE_REPORT("pPool");
        }
        else if (bHaveRequest)
        {
            bPosted = _PostWriteTask(uPoolIdx, pPool, req);
        }
        if (bPosted)
        {
            continue;
        }
        // Failure exit: nothing more is written in this run.
        _SetWriteFailed();
        req.FreeData();
        if (bHaveRequest)
        {
            _ReleasePool(uPoolIdx);
        }
        CORVANE_REPORT("false");
        return;
    }
}

void PemCorvaneDiskAlloc::_ReleasePool(uint32_t uPoolIdx)
{
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        // Stop may already have taken the slots away.
        if (uPoolIdx < m_vecSlots.size())
        {
            WriteSlot& slot = m_vecSlots[uPoolIdx];
            if (slot.uRefCount > 0 && 0 == --slot.uRefCount)
            {
                slot.uFileIdx = _INVALID_IDX;
            }
        }
        if (m_uPending > 0)
        {
            --m_uPending;
        }
    }
    m_cv.notify_all();
}

void PemCorvaneDiskAlloc::_FeedWrittenHash(uint32_t uFileIdx, uint32_t uFileOffset,
                                           const CORVANE_FILE_HEADER& fHeader, const void* pvData,
                                           uint32_t uDataLength)
{
    WrittenHash* pWritten = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mtxHash);
        pWritten = &m_mapWrittenHash[uFileIdx]; // map nodes stay where they are
    }
    // One package is on one lane at a time and its records come in queue
    // order, so nothing else touches this entry now.
    WrittenHash& written = *pWritten;
    if (kPackageHeadOffset == uFileOffset)
    {
        written = WrittenHash(); // the first record starts the package afresh
        written.uNextOffset = kPackageHeadOffset;
        written.bValid = true;
    }
    // Anything but records laid end to end (header, then data) is left to the
    // read-back of the finished package.
    if (!written.bValid || uFileOffset != written.uNextOffset || fHeader.nHeadOffset != sizeof(fHeader))
    {
        written.bValid = false;
        return;
    }
    written.hash.Feed(&fHeader, sizeof(fHeader));
    written.hash.Feed(pvData, uDataLength);
    written.uNextOffset = static_cast<uint64_t>(uFileOffset) + fHeader.nHeadOffset + uDataLength;
}

bool PemCorvaneDiskAlloc::GetWrittenHash(uint32_t uFileIdx, uint64_t uLength, uint64_t* puHash)
{
    CORVANE_CHECK(puHash);
    std::lock_guard<std::mutex> lock(m_mtxHash);
    auto it = m_mapWrittenHash.find(uFileIdx);
    if (it == m_mapWrittenHash.end() || !it->second.bValid ||
        it->second.uNextOffset != kPackageHeadOffset + uLength)
    {
        return false;
    }
    *puHash = it->second.hash.Value();
    return true;
}

void PemCorvaneDiskAlloc::_SetWriteFailed()
{
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        m_bWriteFailed = true;
    }
    m_cv.notify_all();
}

bool PemCorvaneDiskAlloc::_ApplyFile(LaneFile& laneFile, const char* pcszExportDir,
                                     const CORVANE_PAK_OPTION& opt, uint32_t uFileIdx, uint32_t uFileOffset,
                                     const CORVANE_FILE_HEADER& fHeader, const void* pvData,
                                     uint32_t uDataLength)
{
    // The first record starts the package afresh: anything left from an older
    // run under this name must not survive behind the new records.
    const bool bFirst = kPackageHeadOffset == uFileOffset;
    if (bFirst || laneFile.uFileIdx != uFileIdx)
    {
        CORVANE_CHECK(_CloseLaneFile(laneFile));
        const std::string strDatNam = StagedPackagePath(pcszExportDir, uFileIdx, opt.nToVersion);
        CORVANE_CHECK(CorvaneUtil::CreateParentDirectories(strDatNam));
        laneFile.nFile = bFirst ? CorvanePlatform::FileOpen(strDatNam.c_str(),
                                                            CorvanePlatform::FileMode::WriteTruncateShared)
                                : CorvanePlatform::FileOpenForUpdate(strDatNam.c_str());
        if (laneFile.nFile < 0)
        {
            CorvaneUtil::NoteLastSystemFailure(bFirst ? "create" : "open", strDatNam);
        }
        CORVANE_CHECK(laneFile.nFile >= 0);
        laneFile.uFileIdx = uFileIdx;
    }
    const int nFile = laneFile.nFile;
    // Named only when a write fails: the path is not kept per lane.
    const auto fnWrite = [&](const void* pv, uint32_t uSize)
    {
        if (uSize == CorvanePlatform::FileWriteAll(nFile, pv, uSize))
        {
            return true;
        }
        const int nError = CorvanePlatform::LastErrorCode();
        CorvaneUtil::NoteSystemFailure(nError, "write",
                                       StagedPackagePath(pcszExportDir, uFileIdx, opt.nToVersion));
        return false;
    };
    CORVANE_CHECK(-1 != CorvanePlatform::FileSeek(nFile, uFileOffset, SEEK_SET));
    CORVANE_CHECK(fnWrite(&fHeader, sizeof(fHeader)));
    if (fHeader.nHeadOffset != sizeof(fHeader))
    {
        CORVANE_CHECK(-1 != CorvanePlatform::FileSeek(
                                nFile, static_cast<int64_t>(uFileOffset) + fHeader.nHeadOffset, SEEK_SET));
    }
    CORVANE_CHECK(fnWrite(pvData, uDataLength));
    return true;
}

bool PemCorvaneDiskAlloc::_CloseLaneFile(LaneFile& laneFile)
{
    const int nFile = laneFile.nFile;
    laneFile.nFile = -1;
    laneFile.uFileIdx = _INVALID_IDX;
    if (nFile < 0)
    {
        return true;
    }
    // The package is flushed before it is published; letting the device start
    // now spreads those writes over the build instead of piling them at its end.
    CorvanePlatform::FileStartWriteBack(nFile);
    return CorvanePlatform::FileClose(nFile);
}

bool PemCorvaneDiskAlloc::_CloseLaneFiles()
{
    bool bOk = true;
    for (uint32_t i = 0; i < m_uLaneFiles; ++i)
    {
        bOk = _CloseLaneFile(m_pLaneFiles[i]) && bOk;
    }
    return bOk;
}

bool PemCorvaneDiskAlloc::WaitFinish()
{
    std::vector<PemQueueTaskPool*> vecPools;
    {
        std::unique_lock<std::mutex> lock(m_mtx);
        m_cv.wait(lock, [this]()
                  { return m_bWriteFailed.load() || (0 == m_uPending && m_queWriteRequest.empty()); });
        CORVANE_CHECK(!m_bWriteFailed.load());
        for (const WriteSlot& slot : m_vecSlots)
        {
            CORVANE_CHECK(slot.pPool);
            vecPools.push_back(slot.pPool);
        }
    }
    // A job releases its slot just before it returns; make sure every one has.
    for (PemQueueTaskPool* pPool : vecPools)
    {
        pPool->Wait();
    }
    CORVANE_CHECK(!m_bWriteFailed.load());
    // Every lane is idle: the packages are complete, and a failed close is a failed write.
    CORVANE_CHECK(_CloseLaneFiles());
    return true;
}

void PemCorvaneDiskAlloc::Stop()
{
    std::vector<WriteSlot> vecSlots;
    std::deque<WriteRequest> queDropped;
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        m_bStop = true;
        vecSlots.swap(m_vecSlots);
        queDropped.swap(m_queWriteRequest);
        m_uPending = 0;
    }
    m_cv.notify_all();
    if (m_thDispatcher.joinable())
    {
        m_thDispatcher.join();
    }
    for (WriteSlot& slot : vecSlots)
    {
        delete slot.pPool; // joins the lane; unrun jobs free their data
    }
    _CloseLaneFiles(); // a stopped run is abandoned: its packages are not published
    // queDropped frees the data of every request never dispatched.
}

} // namespace NSCorvane
