// SPDX-License-Identifier: MIT
#include "builder/PackerCompress.h"

#include "builder/BuilderFileIo.h"
#include "builder/BuilderStage.h"
#include "builder/PemCorvaneIdxBuilder.h"
#include "builder/PemQueueTaskPool.h"
#include "common/CorvaneCheck.h"
#include "common/CorvaneMemory.h"
#include "compress/CorvaneCompress.h"
#include "format/CorvaneHash.h"
#include "platform/PlatformFile.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace NSCorvane
{

namespace
{

enum CompressStatus : uint32_t
{
    kBuilt = 0,
    kNotOpenable = 1,
    kHashZero = 2,
    kFailed = 3,
};

// A compressed buffer in library memory, freed once by whoever holds it last.
class LibraryBuffer
{
public:
    LibraryBuffer() = default;
    ~LibraryBuffer() { Reset(); }
    LibraryBuffer(LibraryBuffer&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    LibraryBuffer& operator=(LibraryBuffer&& o) noexcept
    {
        if (this != &o)
        {
            Reset();
            m_p = o.m_p;
            o.m_p = nullptr;
        }
        return *this;
    }
    LibraryBuffer(const LibraryBuffer&) = delete;
    LibraryBuffer& operator=(const LibraryBuffer&) = delete;

    uint8_t** Out() { return &m_p; }
    uint8_t* Get() const { return m_p; }
    // Hands ownership on.
    uint8_t* Release()
    {
        uint8_t* p = m_p;
        m_p = nullptr;
        return p;
    }
    void Reset()
    {
        CorvaneUtil::MemoryFree(m_p);
        m_p = nullptr;
    }

private:
    uint8_t* m_p = nullptr;
};

struct CompressResult
{
    CompressTask task;
    uint64_t hsFileName = 0;
    uint64_t hsOriContext = 0;
    uint32_t uVer = _INVALID_VER;
    uint32_t uOriSize = 0;
    uint8_t uCompressType = 0;
    LibraryBuffer cmpMemory;
    uint32_t nCmpSize = 0;
    uint32_t uStatus = kFailed;
    PackOrigin eOrigin = PackOrigin::Added;
    bool bHasData = false;
    bool bCommitted = false;
    bool bReady = false;
};

std::string FullPath(const CompressResult& result)
{
    return result.task.pFile ? result.task.pFile->strFull : std::string();
}

void ReportFileTooLarge(const std::string& strFull)
{
    // Record lengths are 32-bit: storing it would cut it short.
    CORVANE_REPORT(("source file too large for the store (more than 4294967295 bytes): " + strFull).c_str());
}

uint32_t BuildCompressedResult(const CORVANE_PAK_OPTION& opt, PemCorvaneIdxBuilder* pkIdxBuider,
                               CompressResult& result)
{
    CORVANE_CHECK_RET(pkIdxBuider, kFailed);
    CORVANE_CHECK_RET(result.task.pFile, kFailed);
    const PackerFile& file = *result.task.pFile;
    result.uVer = opt.nToVersion;
    result.hsFileName = NSCorvaneReader::CalcNameHash(file.strRel.c_str());

    CORVANE_IDX_ELEMENT element;
    CorvaneFileStat cached;
    bool bHasCached = false;
    if (!pkIdxBuider->GetFileElement(result.hsFileName, &element, &cached, &bHasCached))
    {
        CORVANE_REPORT("pkIdxBuider->GetFileElement(&element, task.pstrPath->c_str())");
        return kFailed;
    }
    CorvaneFileStat stat;
    // The walk usually took the stat already, from the open directory.
    CorvanePlatform::FileStat st = file.stat;
    const bool bHasStat =
        (file.bHasStat || CorvanePlatform::PathStat(file.strFull.c_str(), &st)) && !st.bDirectory;
    if (bHasStat)
    {
        stat = ToCachedStat(st);
        if (stat.uFileSize > UINT32_MAX)
        {
            ReportFileTooLarge(file.strFull);
            return kFailed;
        }
    }
    // A link's own stat says nothing certain of its target's content: always read.
    if (bHasStat && bHasCached && !file.bLink && pkIdxBuider->StoredCopyStands(element, cached, stat))
    {
        // The same file, untouched since the stored copy was made: not read
        // at all, and the cache already says what it would be told.
        result.hsOriContext = element.uContextHash;
        result.eOrigin = PackOrigin::SameByStat;
        return kBuilt;
    }
    ThreadReadBuffer buffer;
    ReadBuffer& vecContent = buffer.Get();
    switch (ReadWholeFile(file.strFull, vecContent, UINT32_MAX))
    {
    case ReadWholeResult::Ok:
        break;
    case ReadWholeResult::OpenFailed:
        return kNotOpenable;
    case ReadWholeResult::TooLarge:
        ReportFileTooLarge(file.strFull);
        return kFailed;
    case ReadWholeResult::ReadFailed:
        CORVANE_REPORT(("read failed: " + file.strFull).c_str());
        return kFailed;
    }
    const uint32_t uSize = static_cast<uint32_t>(vecContent.size());
    result.hsOriContext = NSCorvaneReader::CalcContextHash(vecContent.data(), uSize);
    if (0 == result.hsOriContext)
    {
        return kHashZero;
    }
    if (_INVALID_VER == element.uVer || element.uContextHash != result.hsOriContext)
    {
        if (!CorvaneCompress::CompressContent(
                vecContent.data(), uSize, result.cmpMemory.Out(), &result.nCmpSize,
                static_cast<CORVANE_COMPRESS_TYPE>(opt.nCompressType), opt.nCompressLevel))
        {
            CORVANE_REPORT(
                "CorvaneCompress::CompressContent( (BYTE*)piFilePtr->GetBuffer(), piFilePtr->Size(), "
                "&result.pvCmpMemory, &result.nCmpSize, "
                "(NSCorvane::CORVANE_COMPRESS_TYPE)opt.nCompressType, opt.nCompressLevel )");
            return kFailed;
        }
        result.bHasData = true;
        result.uOriSize = uSize;
        result.uCompressType = static_cast<uint8_t>(opt.nCompressType & 0xFF);
    }
    result.eOrigin = result.bHasData
                         ? (_INVALID_VER == element.uVer ? PackOrigin::Added : PackOrigin::Changed)
                         : PackOrigin::SameByHash;
    if (bHasStat && st.uSize != vecContent.size())
    {
        // Changed while being read: the cache must not vouch for it.
        pkIdxBuider->DropCachedFileStat(result.hsFileName);
    }
    else if (bHasStat && !pkIdxBuider->SetCachedFileStat(result.hsFileName, stat))
    {
        CORVANE_REPORT("hsName.uHash64");
    }
    return kBuilt;
}

bool CommitCompressedResult(const std::string& strExportDir, CompressResult& result,
                            PemCorvaneIdxBuilder* pkIdxBuilder)
{
    CORVANE_CHECK(pkIdxBuilder);
    CORVANE_CHECK(result.task.pFile);
    if (!result.bHasData)
    {
        return true;
    }
    const char* pcszPath = result.task.pFile->strRel.c_str();
    // The header is made here, not kept in every result: one per file of the
    // tree was most of an unchanged build's memory.
    CORVANE_FILE_HEADER fHeader;
    std::memset(&fHeader, 0, sizeof(fHeader));
    fHeader.nMagic = CORVANE_MAGIC;
    // The record keeps at most 199 bytes of the path; the index finds the file
    // by its name hash, which covers the whole path.
    std::strncpy(fHeader.szFilePath, pcszPath, sizeof(fHeader.szFilePath) - 1);
    fHeader.hashContext = result.hsOriContext;
    fHeader.nOriContexLength = result.uOriSize;
    fHeader.nCompressType = result.uCompressType;
    fHeader.nEncodeSize = result.nCmpSize;
    fHeader.nHeadOffset = kFileHeaderSize;
    bool bDataPassed = false;
    const bool bPlaced = pkIdxBuilder->AllocDiskSpace(strExportDir.c_str(), result.hsFileName, fHeader,
                                                      result.cmpMemory.Get(), result.nCmpSize, &bDataPassed);
    if (bDataPassed)
    {
        result.cmpMemory.Release(); // the disk allocator frees it now
    }
    bool bOk = bPlaced;
    if (!bOk)
    {
        CORVANE_REPORT(
            "pkIdxBuilder->AllocDiskSpace( strExportDir.c_str(), result.hsFileName, result.fHeader, "
            "result.pvCmpMemory, result.nCmpSize )");
    }
    else if (!pkIdxBuilder->SetFileElement(result.hsFileName, result.hsOriContext, result.uVer))
    {
        CORVANE_REPORT("pkIdxBuilder->SetFileElement(result.hsFileName, result.hsOriContext, result.uVer)");
        bOk = false;
    }
    else if (!pkIdxBuilder->AddPatchFile(result.hsFileName, pcszPath))
    {
        CORVANE_REPORT("pkIdxBuilder->AddPatchFile(result.hsFileName, result.pstrPath->c_str())");
        bOk = false;
    }
    if (!bOk)
    {
        pkIdxBuilder->RemoveFileElement(pcszPath);
    }
    return bOk;
}

// Settles, in one pass over the index builder, every file whose stored copy
// the stat cache vouches for; those are not handed to a worker at all. Returns
// the indices of the tasks still to run, in task order.
std::vector<size_t> SettleUnchanged(const std::vector<CompressTask>& vecTasks,
                                    const std::vector<std::pair<uint64_t, size_t>>& vecHashOrder,
                                    const CORVANE_PAK_OPTION& opt, PemCorvaneIdxBuilder* pkIdxBuilder,
                                    std::vector<CompressResult>& vecResults)
{
    std::vector<PemCorvaneIdxBuilder::StatQuery> vecQuery;
    vecQuery.reserve(vecTasks.size());
    // In hash order already, as the lookup wants the queries.
    for (const std::pair<uint64_t, size_t>& hashed : vecHashOrder)
    {
        const size_t i = hashed.second;
        const PackerFile* pFile = i < vecTasks.size() ? vecTasks[i].pFile : nullptr;
        // Files without a stat from the walk, and too large ones, take the
        // worker's way, which reports them.
        if (pFile && pFile->bHasStat && !pFile->bLink && !pFile->stat.bDirectory &&
            pFile->stat.uSize <= UINT32_MAX)
        {
            PemCorvaneIdxBuilder::StatQuery query;
            query.hsName = hashed.first;
            query.stat = ToCachedStat(pFile->stat);
            query.uTask = static_cast<uint32_t>(i);
            vecQuery.push_back(query);
        }
    }
    pkIdxBuilder->FindUnchanged(vecQuery);
    for (const PemCorvaneIdxBuilder::StatQuery& query : vecQuery)
    {
        if (query.bUnchanged)
        {
            CompressResult& result = vecResults[query.uTask];
            result.task = vecTasks[query.uTask];
            result.uVer = opt.nToVersion;
            result.hsFileName = query.hsName;
            result.hsOriContext = query.hsContext;
            result.eOrigin = PackOrigin::SameByStat;
            result.uStatus = kBuilt;
            result.bReady = true;
        }
    }
    std::vector<size_t> vecPending;
    for (size_t i = 0; i < vecResults.size(); ++i)
    {
        if (!vecResults[i].bReady)
        {
            vecPending.push_back(i);
        }
    }
    return vecPending;
}

} // namespace

bool DoCompress(const std::string& strExportDir, const std::vector<CompressTask>& vecTasks,
                const std::vector<std::pair<uint64_t, size_t>>& vecHashOrder, const CORVANE_PAK_OPTION& opt,
                PemCorvaneIdxBuilder* pkIdxBuilder, PemQueueTaskPool* pTaskPool, PackTally& tally)
{
    CORVANE_CHECK(pkIdxBuilder);
    CORVANE_CHECK(pTaskPool);
    // Without a worker no result would ever become ready.
    CORVANE_CHECK(pTaskPool->ThreadCount() > 0);
    std::vector<CompressResult> vecResults(vecTasks.size());
    const std::vector<size_t> vecPending =
        SettleUnchanged(vecTasks, vecHashOrder, opt, pkIdxBuilder, vecResults);
    std::mutex resultLock;
    std::condition_variable resultCond;
    std::atomic<size_t> uNextTask{0};
    std::atomic<bool> bExcepted{true};
    size_t uAwaited = 0; // under resultLock: the slot the committer waits for

    const uint32_t uWorkers = pTaskPool->ThreadCount();
    for (uint32_t i = 0; i < uWorkers; ++i)
    {
        const bool bAdded = pTaskPool->TryAddTask(
            [&]()
            {
                for (;;)
                {
                    const size_t uPending = uNextTask.fetch_add(1);
                    if (uPending >= vecPending.size() || !bExcepted.load())
                    {
                        break;
                    }
                    const size_t uIdx = vecPending[uPending];
                    CompressResult local;
                    local.task = vecTasks[uIdx];
                    local.uStatus = BuildCompressedResult(opt, pkIdxBuilder, local);
                    if (kBuilt != local.uStatus)
                    {
                        local.cmpMemory.Reset();
                        local.bHasData = false;
                        pkIdxBuilder->RemoveFileElement(local.task.pFile->strRel.c_str());
                    }
                    bool bWake = false;
                    {
                        std::lock_guard<std::mutex> lock(resultLock);
                        const uint32_t uStatus = local.uStatus;
                        vecResults[uIdx] = std::move(local);
                        vecResults[uIdx].bReady = true;
                        if (uStatus > kNotOpenable)
                        {
                            bExcepted = false;
                        }
                        // Only the result the committer waits for wakes it:
                        // a wake-up per file was a large share of an
                        // unchanged build.
                        bWake = uIdx == uAwaited || uStatus > kNotOpenable;
                    }
                    if (bWake)
                    {
                        resultCond.notify_all();
                    }
                }
                std::lock_guard<std::mutex> lock(resultLock);
                resultCond.notify_all();
            });
        if (!bAdded)
        {
            bExcepted = false;
            CORVANE_REPORT("m_pTaskPool->TryAddTask(worker)");
            break;
        }
    }

    bool bCommitted = true;
    for (size_t i = 0; bCommitted && i < vecResults.size(); ++i)
    {
        std::unique_lock<std::mutex> lock(resultLock);
        uAwaited = i;
        resultCond.wait(lock, [&]() { return vecResults[i].bReady || !bExcepted.load(); });
        CompressResult& result = vecResults[i];
        if (!result.bReady)
        {
            CORVANE_REPORT("result.bReady");
            bCommitted = false;
            break;
        }
        lock.unlock(); // a ready slot is only read by this thread
        if (kNotOpenable == result.uStatus)
        {
            CORVANE_REPORT(("_CompressSingleFile open failed:" + FullPath(result)).c_str());
            continue;
        }
        if (kBuilt != result.uStatus)
        {
            CORVANE_REPORT(("_CompressSingleFile falied:" + FullPath(result)).c_str());
            bExcepted = false;
            bCommitted = false;
            break;
        }
        if (!CommitCompressedResult(strExportDir, result, pkIdxBuilder))
        {
            CORVANE_REPORT("_CommitCompressedResult(strExportDir, result, pkIdxBuilder)");
            bExcepted = false;
            bCommitted = false;
            break;
        }
        result.bCommitted = true;
        ++tally.auCount[static_cast<size_t>(result.eOrigin)];
        if (result.bHasData)
        {
            tally.uBytesStored += uint64_t{kFileHeaderSize} + result.nCmpSize;
        }
        if (tally.bKeepPaths && PackOrigin::SameByStat != result.eOrigin)
        {
            tally.vecPaths.emplace_back(result.eOrigin, result.task.pFile->strRel);
        }
    }
    // Workers hold references into this frame: every one must have returned.
    pTaskPool->Wait();
    const bool bOk = bCommitted && bExcepted.load();
    if (!bOk)
    {
        if (bCommitted)
        {
            CORVANE_REPORT("bExcepted.load()");
        }
        for (CompressResult& result : vecResults)
        {
            if (result.bReady && result.bHasData && !result.bCommitted && result.task.pFile)
            {
                pkIdxBuilder->RemoveFileElement(result.task.pFile->strRel.c_str());
            }
        }
    }
    // vecResults frees every buffer still held.
    return bOk;
}

} // namespace NSCorvane
