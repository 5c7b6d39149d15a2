// SPDX-License-Identifier: MIT
#include "net/PemRateLimiter.h"

#include "platform/PlatformTime.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace NSCorvane
{

namespace
{

double NowMs()
{
    return static_cast<double>(CorvanePlatform::SteadyMs());
}

// Unused allowance carried over at most, so an idle period does not become a burst.
constexpr double kCarryOverMs = 200.0;

} // namespace

PemRateLimiter::PemRateLimiter() : m_dNextFreeMs(NowMs()) {}

void PemRateLimiter::SetLimit(uint64_t uBytesPerSecond)
{
    m_uLimit.store(uBytesPerSecond);
    Reset();
}

void PemRateLimiter::Reset()
{
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        m_dNextFreeMs = NowMs();
        ++m_uGeneration;
    }
    m_cv.notify_all();
}

void PemRateLimiter::WakeAll()
{
    // Taking the mutex orders the wake after a waiter's check of fnAbort.
    {
        std::lock_guard<std::mutex> lock(m_mtx);
    }
    m_cv.notify_all();
}

bool PemRateLimiter::Throttle(uint64_t uBytes, const std::function<bool()>& fnAbort)
{
    if (uBytes == 0 || m_uLimit.load() == 0)
    {
        return true;
    }
    std::unique_lock<std::mutex> lock(m_mtx);
    for (;;)
    {
        const uint64_t uLimit = m_uLimit.load();
        if (uLimit == 0)
        {
            return true;
        }
        const double dCostMs = static_cast<double>(uBytes) * 1000.0 / static_cast<double>(uLimit);
        const double dNow = NowMs();
        m_dNextFreeMs = std::max(dNow - kCarryOverMs, m_dNextFreeMs) + dCostMs;
        if (dNow >= m_dNextFreeMs)
        {
            return true;
        }
        const uint64_t uGeneration = m_uGeneration;
        bool bRestart = false;
        while (!bRestart)
        {
            if (fnAbort && fnAbort())
            {
                return false;
            }
            const double dLeft = m_dNextFreeMs - NowMs();
            if (dLeft <= 0)
            {
                return true;
            }
            const auto waitMs =
                std::chrono::milliseconds(std::max<int64_t>(1, static_cast<int64_t>(std::ceil(dLeft))));
            const std::cv_status eStatus = m_cv.wait_for(lock, waitMs);
            if (m_uGeneration != uGeneration)
            {
                bRestart = true; // a new limit, or all downloads ended: charge again with the current limit
            }
            else if (eStatus == std::cv_status::timeout)
            {
                return true;
            }
        }
    }
}

} // namespace NSCorvane
