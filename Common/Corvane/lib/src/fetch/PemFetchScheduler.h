// SPDX-License-Identifier: MIT
// The fetch plan of one reader: every record (or whole package) a task will
// need, planned as byte ranges at once and fetched on one transfer thread
// with many requests in flight, while the pool threads take the records as
// they arrive. The reader asks it for records; net/ does the transfers.
//
// Memory waiting to be opened is bounded: a range starts only while what it
// needs fits, unless an open waits for it (so the bound never deadlocks a
// task). Records fetched and never opened go with the plan.
//
// Thread-safe: one thread plans, ends or cancels while any number of pool
// threads take records and wait for packages.
#pragma once

#include "fetch/PemFetchPlanner.h"

#include <Corvane/CorvaneStream.h>
#include <Corvane/PemCorvaneX64.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace NSCorvane
{

class PemHttpDownloader;
class PemFetchPlan;

// How a planned record (or package) came out for its taker.
enum class FetchTake
{
    NotPlanned, // not in the plan, or taken before: read it as without a plan
    Ready,      // the bytes are there (a record: unchecked; a package: checked, in the cache)
    Fallback,   // the plan could not fetch it: read it as without a plan
    Cancelled,  // CancelDownloads stopped the plan while the taker waited
};

class PemFetchScheduler
{
public:
    static constexpr uint64_t kDefaultMemoryBound = 64ull << 20;
    // A record at least this long is fetched to disk, not memory.
    static constexpr uint64_t kDefaultSpillBytes = 16ull << 20;

    PemFetchScheduler();
    ~PemFetchScheduler();
    PemFetchScheduler(const PemFetchScheduler&) = delete;
    PemFetchScheduler& operator=(const PemFetchScheduler&) = delete;

    // Replaces the plan with one for these records (uKey: the path's name
    // hash, one per record) over the sources in configuration order, and
    // starts fetching. False (no plan) when out of memory or no source is given.
    // vecToldAtOnce: orders of the task with nothing to wait for (cached,
    // not in the store), which NextArrival tells first.
    bool StartRecords(std::vector<FetchRecord> vecRecord, std::vector<uint64_t> vecKey,
                      const std::vector<PemHttpDownloader*>& vecSource,
                      std::vector<uint32_t> vecToldAtOnce = {});
    // The same for whole packages into the cache; uSizeHint: bytes expected
    // of each, for progress (corrected as they arrive).
    bool StartPackages(std::vector<std::string> vecPackage, std::vector<uint64_t> vecSizeHint,
                       const std::vector<PemHttpDownloader*>& vecSource);
    // Stops the transfers, drops what was not taken; takers waiting read
    // as without a plan. Returns once the transfer thread has ended.
    void End();
    // Stops the transfers; takers waiting get Cancelled, later ones read as
    // without a plan. The plan stays for its progress until End.
    void Cancel();

    // The bytes of the record of uKey, waiting for them; Ready puts a file
    // holding exactly the record in *ppFile (the caller releases it).
    FetchTake TakeRecord(uint64_t uKey, IFile** ppFile);
    // Waits until the planned package strDat is in the cache or given up.
    FetchTake WaitPackage(const std::string& strDat);
    // The next planned record whose range ended (its bytes came, or the plan
    // gave it up): 1 with its uOrder in *puOrder, each once, in the order
    // they ended; 0 when none ended within uWaitMs; 2 when no more will (all
    // told, or no plan of records).
    int NextArrival(uint32_t* puOrder, uint32_t uWaitMs);
    // A planned file passed its checks (counted as ready in the progress).
    void NoteChecked();

    // All zero without a plan; uBytesPerSecond is left as it is.
    void Progress(CORVANE_FETCH_PROGRESS& progress);

    // Memory for records waiting to be opened (tests make it small).
    void SetMemoryBound(uint64_t uBytes);
    // Records from this length on go to disk (tests make it small).
    void SetSpillThreshold(uint64_t uBytes);
    // The most such memory the current plan held at once.
    uint64_t HighWater();
    // What joins two records now: from the transfers measured so far.
    uint64_t GapLimit();

private:
    std::shared_ptr<PemFetchPlan> CurrentPlan();
    bool Install(const std::shared_ptr<PemFetchPlan>& spPlan);

    std::mutex m_mtx;
    std::shared_ptr<PemFetchPlan> m_spPlan;
    uint64_t m_uMemoryBound = kDefaultMemoryBound;
    uint64_t m_uSpillBytes = kDefaultSpillBytes;
    // The link as the transfers saw it: bytes per second and round trip.
    double m_dBandwidth = 0;
    double m_dRoundTrip = 0;
};

} // namespace NSCorvane
