// SPDX-License-Identifier: MIT
// The download rate limit of one downloader, shared by all of its transfers:
// each body chunk is charged against a "next free time" and its reader waits
// until then. Thread-safe.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace NSCorvane
{

class PemRateLimiter
{
public:
    PemRateLimiter();

    // Stores the limit (0 = unlimited) and resets: waiters start over with it.
    void SetLimit(uint64_t uBytesPerSecond);
    uint64_t Limit() const { return m_uLimit.load(); }
    // Next free time = now, new generation, every waiter woken.
    void Reset();
    // Wakes every waiter without changing anything; they consult fnAbort.
    void WakeAll();

    // Waits until uBytes may be consumed. False as soon as fnAbort (may be empty)
    // returns true; true otherwise.
    bool Throttle(uint64_t uBytes, const std::function<bool()>& fnAbort);

private:
    std::atomic<uint64_t> m_uLimit{0};
    std::mutex m_mtx;
    std::condition_variable m_cv;
    double m_dNextFreeMs;       // guarded by m_mtx
    uint64_t m_uGeneration = 0; // guarded by m_mtx
};

} // namespace NSCorvane
