// SPDX-License-Identifier: MIT
// One fetch plan: its ranges, the records (or packages) they bring, the
// transfer thread that drives them, and the takers waiting for them. Made and
// ended by PemFetchScheduler; see there for the contract.
#pragma once

#include "fetch/PemFetchPlanner.h"
#include "fetch/PemFetchScheduler.h"
#include "fs/PemSpillFile.h"

#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace NSCorvaneNet
{
struct CurlApi;
}

namespace NSCorvane
{

class PemFetchPlan
{
public:
    // Seconds a request waited for its first byte, and the body's bytes per second.
    using LinkFn = std::function<void(double dRoundTrip, double dBandwidth)>;

    // Records: vecKey names each; packages: vecRecord empty, vecRange one
    // whole-file range per package (uEnd the size hint, no parts).
    PemFetchPlan(std::vector<FetchRecord> vecRecord, std::vector<uint64_t> vecKey,
                 std::vector<FetchRange> vecRange, bool bPackages, std::vector<PemHttpDownloader*> vecSource,
                 uint64_t uMemoryBound, uint64_t uSpillBytes, LinkFn fnLink);
    ~PemFetchPlan();
    PemFetchPlan(const PemFetchPlan&) = delete;
    PemFetchPlan& operator=(const PemFetchPlan&) = delete;

    // Starts the transfer thread; false when it could not.
    bool Start();
    // Stops the thread and waits for it. bCancel: takers waiting get Cancelled.
    void Stop(bool bCancel);

    FetchTake TakeRecord(uint64_t uKey, IFile** ppFile);
    FetchTake WaitPackage(const std::string& strDat);
    // Before Start: orders NextArrival tells first.
    void TellAtOnce(const std::vector<uint32_t>& vecOrder)
    {
        m_deqArrived.assign(vecOrder.begin(), vecOrder.end());
    }
    // As PemFetchScheduler::NextArrival.
    int NextArrival(uint32_t* puOrder, uint32_t uWaitMs);
    void NoteChecked() { m_uChecked.fetch_add(1); }
    void Progress(CORVANE_FETCH_PROGRESS& progress);
    uint64_t HighWater();

private:
    enum class State
    {
        Waiting,
        Ready,
        Taken,
        Fallback,
        Cancelled,
    };
    struct Record
    {
        FetchRecord record;
        size_t uRange = 0;
        State eState = State::Waiting;
        std::shared_ptr<const char> spBytes;   // while Ready: into its range's body
        std::shared_ptr<PemSpillFile> spSpill; // instead of spBytes: a large record on disk
    };
    struct Range
    {
        FetchRange range;
        State eState = State::Waiting;
        bool bStarted = false;  // its memory is reserved
        bool bPriority = false; // a taker waits for it
        bool bBroken = false;   // a part failed: no more parts, decide once the rest ended
        size_t uNextPart = 0;
        size_t uRunning = 0; // parts in flight
        size_t uPartsDone = 0;
        size_t uSourceFrom = 0; // the first source it may still use
        size_t uSource = 0;     // the source of its parts in flight
        int nAttempts = 0;
        int nFailure = 0;                      // the worst outcome of its parts (see Transfer)
        std::shared_ptr<char> spBody;          // records: the range's bytes as they arrive
        std::shared_ptr<PemSpillFile> spSpill; // or on disk, for one large record
        uint64_t uReserved = 0;                // of the memory bound, while started
    };
    struct Transfer;
    // How a range's parts failed, the worst one counting.
    enum
    {
        kFailConnect = 1, // no connection to the source: the next source may serve it
        kFailOther = 2,   // a reset, a stall, a faulty answer
        kFailNoRange = 3, // no ranges (any more), not this one, or a damaged package: as without a plan
        kFailCancelled = 4,
    };

    // The transfer thread.
    void Run();
    void RunLoop(CURLM* pMulti);
    // Starts what the bounds allow; under m_mtx.
    void StartTransfers(CURLM* pMulti);
    std::unique_ptr<Transfer> NewTransfer(size_t uRange);
    // A transfer ended (removed from the multi handle already).
    void Finished(std::unique_ptr<Transfer> pTransfer, int nCode);
    // The range's parts ended; what comes of it. Under m_mtx.
    void Settle(size_t uRange);
    void SetRecords(Range& range, State eState);
    // The source a range's next request goes to: the first from uSourceFrom
    // on that can serve it; SIZE_MAX when none is left.
    size_t ChooseSource(const Range& range) const;
    // A range (and its records) reached its end.
    void Final(size_t uRange, State eState);
    void Requeue(size_t uRange);
    static void CancelTransfer(Transfer& transfer);
    void StopAll(bool bCancel);
    void Wake();

    std::vector<Record> m_vecRecord;
    std::unordered_map<uint64_t, size_t> m_mapKey;
    std::vector<Range> m_vecRange;
    std::unordered_map<std::string, size_t> m_mapPackage;
    const bool m_bPackages;
    const std::vector<PemHttpDownloader*> m_vecSource;
    std::vector<uint32_t> m_vecSourceRunning;
    const uint64_t m_uMemoryBound;
    const uint64_t m_uSpillBytes; // a record range this long goes to disk
    const LinkFn m_fnLink;

    std::mutex m_mtx;
    std::condition_variable m_cv;
    std::deque<size_t> m_deqQueue;     // ranges not started, in the task's order
    std::deque<size_t> m_deqPriority;  // ranges a taker waits for
    std::deque<uint32_t> m_deqArrived; // the orders of records at their end, not yet told
    uint64_t m_uHeld = 0;              // reserved for ranges in flight and records not taken
    bool m_bHeldBack = false;          // the transfer waits for memory to be given back
    uint64_t m_uHighWater = 0;
    bool m_bStop = false;
    bool m_bCancelled = false;
    bool m_bDone = false;     // the thread has ended
    size_t m_uOpenRanges = 0; // ranges not yet at their end
    // Transfers in flight: added and removed by the transfer thread under
    // m_mtx, so that Stop can cancel them.
    std::vector<std::unique_ptr<Transfer>> m_vecRunning;

    std::atomic<uint64_t> m_uBytesPlanned{0};
    std::atomic<uint64_t> m_uBytesDone{0};
    std::atomic<uint64_t> m_uChecked{0};

    const NSCorvaneNet::CurlApi* m_pCurl = nullptr;
    CURLM* m_pMulti = nullptr; // lives from Start to the destructor, for Wake
    std::thread m_thread;
    std::mutex m_mtxJoin; // held while m_thread is joined
};

} // namespace NSCorvane
