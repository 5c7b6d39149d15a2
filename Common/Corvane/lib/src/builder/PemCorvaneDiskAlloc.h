// SPDX-License-Identifier: MIT
// Writes file records into the staged data packages of the version being built.
// Requests are queued by the index builder; a dispatcher thread hands each to a
// write lane. All records of one package go through one lane in queue order,
// different packages are written in parallel. The first failed write stops
// everything and is reported by WaitFinish.
#pragma once

#include "builder/PemQueueTaskPool.h"
#include "format/CorvaneHash.h"

#include <Corvane/IPemCorvanePacker.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace NSCorvane
{

// Lanes are capped so that a build never holds more package files open at once.
constexpr uint32_t kMaxWriteLanes = 16;

class PemCorvaneDiskAlloc
{
public:
    PemCorvaneDiskAlloc() = default;
    ~PemCorvaneDiskAlloc();
    PemCorvaneDiskAlloc(const PemCorvaneDiskAlloc&) = delete;
    PemCorvaneDiskAlloc& operator=(const PemCorvaneDiskAlloc&) = delete;

    // Stops a previous run, starts max(1, min(nTreadCount, 16)) lanes and the dispatcher.
    bool BuildEnv(const CORVANE_PAK_OPTION& opt);
    // Queues one record. pvData (library memory) always passes to the allocator,
    // also when the request is refused: the caller never frees it.
    bool PushWriteRequest(const char* pcszExportDir, uint32_t uFileIdx, uint32_t uFileOffset,
                          const CORVANE_FILE_HEADER& fHeader, void* pvData, uint32_t uDataLength);
    // Waits until every queued write has been done; false as soon as one failed.
    bool WaitFinish();
    bool HasFailed() const { return m_bWriteFailed.load(); }
    // Clears the failure of a previous run (restarting the lanes); only between runs.
    bool ResetFailure();
    // Joins every thread and frees the data of requests not yet written.
    void Stop();

    uint32_t LaneCount();

    // The content hash of a package's data region as this run wrote it, when
    // every record of the package went through this run in offset order and
    // the region is uLength bytes long; false otherwise (read it back then).
    // Only once WaitFinish returned true.
    bool GetWrittenHash(uint32_t uFileIdx, uint64_t uLength, uint64_t* puHash);

private:
    struct WriteSlot
    {
        PemQueueTaskPool* pPool = nullptr;
        uint32_t uFileIdx = _INVALID_IDX;
        uint32_t uRefCount = 0;
    };
    // Owns pvData: it is freed exactly once, by whoever holds the request last
    // (the lane job after the write, a refusing push, the dispatcher's failure
    // exit, or Stop, also for jobs a stopped lane discards unrun).
    struct WriteRequest
    {
        WriteRequest() = default;
        ~WriteRequest() { FreeData(); }
        WriteRequest(WriteRequest&& other) noexcept;
        WriteRequest& operator=(WriteRequest&& other) noexcept;
        WriteRequest(const WriteRequest&) = delete;
        WriteRequest& operator=(const WriteRequest&) = delete;
        void FreeData();

        std::string strExportDir;
        uint32_t uFileIdx = _INVALID_IDX;
        uint32_t uFileOffset = 0;
        CORVANE_FILE_HEADER fHeader{};
        void* pvData = nullptr;
        uint32_t uDataLength = 0;
    };

    void _DispatchLoop();
    bool _CanDispatchFront() const;
    bool _TryOccupyPool(uint32_t uFileIdx, uint32_t& uPoolIdx, PemQueueTaskPool*& pPool);
    bool _PopDispatchRequest(WriteRequest& req, uint32_t& uPoolIdx, PemQueueTaskPool*& pPool);
    bool _PostWriteTask(uint32_t uPoolIdx, PemQueueTaskPool* pPool, WriteRequest& req);
    void _ReleasePool(uint32_t uPoolIdx);
    void _SetWriteFailed();
    void _FeedWrittenHash(uint32_t uFileIdx, uint32_t uFileOffset, const CORVANE_FILE_HEADER& fHeader,
                          const void* pvData, uint32_t uDataLength);
    // The package file a lane has open: its records usually come one after
    // another, and opening and closing the file for each cost a round of
    // system calls per file of the build. Only the lane's thread uses it while
    // the lane runs; closed once the lanes are idle.
    struct LaneFile
    {
        uint32_t uFileIdx = _INVALID_IDX;
        int nFile = -1;
    };
    static bool _ApplyFile(LaneFile& laneFile, const char* pcszExportDir, const CORVANE_PAK_OPTION& opt,
                           uint32_t uFileIdx, uint32_t uFileOffset, const CORVANE_FILE_HEADER& fHeader,
                           const void* pvData, uint32_t uDataLength);
    static bool _CloseLaneFile(LaneFile& laneFile);
    // After the lanes were joined or have waited: false when a close failed.
    bool _CloseLaneFiles();

    CORVANE_PAK_OPTION m_pakOpt;
    std::vector<WriteSlot> m_vecSlots;
    std::unique_ptr<LaneFile[]> m_pLaneFiles; // one per lane, fixed while the lanes run
    uint32_t m_uLaneFiles = 0;
    std::deque<WriteRequest> m_queWriteRequest;
    std::mutex m_mtx;
    std::condition_variable m_cv;
    std::thread m_thDispatcher;
    std::atomic<bool> m_bWriteFailed{false};
    bool m_bStop = true;
    uint32_t m_uPending = 0;

    // Hashed as written, so a finished package need not be read back whole.
    struct WrittenHash
    {
        NSCorvaneReader::ContextHashStream hash;
        uint64_t uNextOffset = 0;
        bool bValid = false;
    };
    std::map<uint32_t, WrittenHash> m_mapWrittenHash;
    std::mutex m_mtxHash;
};

} // namespace NSCorvane
