// SPDX-License-Identifier: MIT
#include "net/PemSpeedMeter.h"

#include "platform/PlatformTime.h"

namespace NSCorvane
{

void PemSpeedMeter::Add(uint64_t uBytes)
{
    AddAt(CorvanePlatform::SteadyMs(), uBytes);
}

uint64_t PemSpeedMeter::Current()
{
    return CurrentAt(CorvanePlatform::SteadyMs());
}

void PemSpeedMeter::AddAt(uint64_t uNowMs, uint64_t uBytes)
{
    const uint64_t uSlot = uNowMs / 100 * 100;
    std::lock_guard<std::mutex> lock(m_mtx);
    Sample& sample = m_samples[(uSlot / 100) % 10];
    if (sample.uSlotMs != uSlot)
    {
        sample.uSlotMs = uSlot;
        sample.uBytes = 0;
    }
    sample.uBytes += uBytes;
}

uint64_t PemSpeedMeter::CurrentAt(uint64_t uNowMs)
{
    std::lock_guard<std::mutex> lock(m_mtx);
    uint64_t uSum = 0;
    uint64_t uFirst = UINT64_MAX;
    uint64_t uLast = 0;
    bool bAny = false;
    for (const Sample& sample : m_samples)
    {
        const uint64_t t = sample.uSlotMs;
        if (t == 0 || t > uNowMs || t + 1000 < uNowMs)
        {
            continue;
        }
        bAny = true;
        uSum += sample.uBytes;
        uFirst = t < uFirst ? t : uFirst;
        uLast = t > uLast ? t : uLast;
    }
    if (!bAny)
    {
        return 0;
    }
    return uSum * 1000 / (uLast - uFirst + 100);
}

} // namespace NSCorvane
