// SPDX-License-Identifier: MIT
// Joins the range reads of neighbouring records when a caller walks a package
// in order. Callers reach the reader file by file, so the reader cannot be told
// which files come next; it watches instead, as a file system reads ahead a
// file read sequentially. Once a walk has asked for (nearly) every record of a
// package just before the one it asks for now, the records that follow are
// read ahead in growing windows; an open that goes past records read ahead and
// not asked for starts over small. Records read ahead wait in memory (bounded;
// the oldest go first) for their own open, which checks them like any other. A
// walk that skips a record every few files never reads ahead; one that skips
// now and then loses at most a window each time.
#pragma once

#include <Corvane/CorvaneRecords.h>
#include <Corvane/CorvaneStream.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace NSCorvane
{

class PemRecordJoiner
{
public:
    // The first window and the largest one.
    static constexpr uint32_t kFirstWindow = 256u << 10;
    static constexpr uint32_t kMaxWindow = 8u << 20;
    // A gap between two records wider than this ends a window: fetching it
    // costs more than a request of its own (about one round trip on a
    // 10 Mbit/s link with 50 ms delay). All gaps of a window stay within a
    // twentieth of its records' bytes.
    static constexpr uint32_t kMaxGap = 64u << 10;
    // Records read ahead and not yet opened; beyond it the oldest windows go.
    static constexpr uint64_t kMaxHeldBytes = 48ull << 20;
    // Two threads of one walk may ask for neighbouring records in either order.
    static constexpr size_t kJitter = 2;
    static constexpr size_t kLookBack = 16;

    // The records of the version by package; asked for once, at the first Take.
    using RecordsFn = std::function<std::map<std::string, std::vector<CORVANE_IDX_ELEMENT>>()>;
    // Fetches one span of a package; true fills *ppFile. As IDownloadControl::ReadRange.
    using FetchFn = std::function<bool(const std::string& strDatFile, uint32_t uOffset, uint32_t uLength,
                                       IFile** ppFile, bool* pbCancelled)>;

    // Forgets the records and every held window (the version changed).
    void Clear();

    // The bytes of element's record from a window read ahead (waiting for it
    // when another thread is fetching it), or from a new window fetched now;
    // null when the caller should read the record by itself (*pbCancelled set
    // when the download was cancelled). The file holds exactly the record,
    // unchecked. Any thread.
    IFile* Take(const std::string& strDatFile, const CORVANE_IDX_ELEMENT& element, const RecordsFn& fnRecords,
                const FetchFn& fnFetch, bool* pbCancelled);

    // Requests that fetched a window, and records served from one.
    uint64_t JoinedRequests() const;
    uint64_t RecordsFromWindows() const;

private:
    struct Window
    {
        uint32_t uStart = 0;
        uint32_t uEnd = 0;
        bool bReady = false;
        bool bFailed = false;
        std::shared_ptr<IFile> pFile;
        // Indices of the records inside not yet asked for; the window goes
        // when none is left. Late: ones the walk went past, which a slow
        // thread may still ask for; they no longer count as the walk's.
        std::set<size_t> setPending;
        std::set<size_t> setLate;
    };
    struct Package
    {
        std::vector<CORVANE_IDX_ELEMENT> vecRecord; // by offset, one per record
        std::vector<bool> vecAsked;
        std::vector<bool> vecAhead; // inside a window
        uint32_t uWindow = 0;
        std::list<std::shared_ptr<Window>> lstWindow;
    };

    Package* FindPackage(const std::string& strDatFile, const RecordsFn& fnRecords);
    // A walk that takes (nearly) every record: of the records before uIndex
    // since the walk began (at most kLookBack), at least two and all but one
    // in sixteen (one, once eight are behind) were asked for, in whatever
    // local order the packer's threads wrote them.
    static bool IsDense(const Package& package, size_t uIndex);
    // Moves the records read ahead that the walk went past to the late ones;
    // true when any.
    bool GiveUpSkipped(Package& package, size_t uIndex);
    // The window from record uIndex on; null when no record follows within it.
    std::shared_ptr<Window> PlanWindow(Package& package, size_t uIndex);
    IFile* CopyRecord(const Window& window, const CORVANE_IDX_ELEMENT& element) const;
    void DropWindow(Package& package, const std::shared_ptr<Window>& pWindow);
    void EvictOldest();

    mutable std::mutex m_mutex;
    std::condition_variable m_cvReady;
    bool m_bHasRecords = false;
    std::map<std::string, Package> m_mapPackage;
    // Ready windows in the order they arrived, for the memory bound.
    std::list<std::pair<Package*, std::weak_ptr<Window>>> m_lstHeld;
    uint64_t m_uHeldBytes = 0;
    uint64_t m_uJoinedRequests = 0;
    uint64_t m_uRecordsFromWindows = 0;
};

} // namespace NSCorvane
