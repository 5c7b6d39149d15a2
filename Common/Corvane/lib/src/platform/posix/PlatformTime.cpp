// SPDX-License-Identifier: MIT
#include "platform/PlatformTime.h"

#include <cerrno>
#include <ctime>

namespace CorvanePlatform
{

uint64_t SteadyMs()
{
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void SleepMs(uint32_t uMs)
{
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(uMs / 1000u);
    ts.tv_nsec = static_cast<long>(uMs % 1000u) * 1000000L;
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR)
    {
    }
}

} // namespace CorvanePlatform
