// SPDX-License-Identifier: MIT
// Which remote sources are worth asking during the current task.
//
// Sources are listed in the configuration's order (a studio's mirror first,
// the CDN after it). A source that failed (no connection, a 5xx answer, a
// transfer cut off, an answer that does not fit the request) is passed over
// for the rest of the task while another source of the list is still usable,
// so a dead mirror costs one connect timeout per task, not one per file. The
// last usable source is never passed over: its failures go to the caller as
// they would without a second source.
//
// A task (an install, a repair) makes several readers one after the other, so
// what is known about a source is kept per base URL for the whole process,
// and every reader's list shares it. Reset() or ResetAll() starts a new task:
// every source is tried again. A process that never resets is one task.
//
// First contact is tried once: while a source has not answered yet in this
// task, one caller at a time asks it (Admit) and the others wait for the
// outcome, so many threads meeting a dead source cost one attempt, not one each.
//
// Every method is thread-safe. Indexes outside the list are refused (false).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace NSCorvane
{

class PemSourceHealth
{
public:
    PemSourceHealth() = default;
    PemSourceHealth(const PemSourceHealth&) = delete;
    PemSourceHealth& operator=(const PemSourceHealth&) = delete;

    // Set-up, before any other call: the sources' base URLs in order.
    void SetSources(const std::vector<std::string>& vecUrl);
    size_t Count() const;

    // Whether source uIndex may be asked now: false only while it is passed
    // over after a failure. Never waits.
    bool IsUsable(size_t uIndex) const;
    // IsUsable, and the first-contact rule: while another caller is trying a
    // source that has not answered in this task, waits for that outcome.
    // True hands the caller the attempt; it then reports MarkAnswered,
    // MarkFailed or, when it never got to ask (cancelled), Release.
    bool Admit(size_t uIndex);
    // The source answered (any status below 500): it is used from now on.
    void MarkAnswered(size_t uIndex);
    // The source failed. True when it is now passed over for the rest of the
    // task (written to the log once with strReason); false when it is the
    // last usable source of this list and stays in use.
    bool MarkFailed(size_t uIndex, const std::string& strReason);
    // An admitted attempt that ended without an outcome: the next caller tries.
    void Release(size_t uIndex);
    // A new task for this list's sources: usable and untried again.
    void Reset();
    // Why uIndex is passed over; empty while it is usable.
    std::string FailureReason(size_t uIndex) const;

    // A new task for every source of the process.
    static void ResetAll();

    struct Source;

private:
    // Under the process-wide lock: whether a source of this list other than uIndex is usable.
    bool OtherUsable(size_t uIndex) const;

    std::vector<std::shared_ptr<Source>> m_vecSource;
};

} // namespace NSCorvane
