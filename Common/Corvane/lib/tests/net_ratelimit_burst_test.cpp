// SPDX-License-Identifier: MIT
// The download rate limit after an idle period: a link that was quiet for a
// second must not then take a second's worth of bytes at once.
#include "net/PemRateLimiter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace NSCorvane;

namespace
{

// Bytes granted without waiting, in uChunk pieces: a charge that would have to
// wait asks fnAbort, which says stop.
uint64_t GrantedAtOnce(PemRateLimiter& limiter, uint64_t uChunk)
{
    uint64_t uGranted = 0;
    while (limiter.Throttle(uChunk, [] { return true; }))
    {
        uGranted += uChunk;
    }
    return uGranted;
}

TEST(RateLimitBurst, AnIdleGapGrantsOnlyTheShortAllowance)
{
    constexpr uint64_t kLimit = 100000; // bytes per second
    constexpr uint64_t kChunk = 1000;
    PemRateLimiter limiter;
    limiter.SetLimit(kLimit);
    // Idle for a second: what was not used must not become a second's burst.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const uint64_t uBurst = GrantedAtOnce(limiter, kChunk);
    // A fifth of a second is carried over; the bound leaves room for a slow
    // machine, and is far below the 100,000 bytes a full carry-over gives.
    EXPECT_GE(uBurst, kChunk);
    EXPECT_LE(uBurst, kLimit * 4 / 10) << "granted at once after an idle second";
}

} // namespace
