// SPDX-License-Identifier: MIT
#include "net/PemSpeedMeter.h"

#include "platform/PlatformTime.h"

#include <algorithm>

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
    const uint64_t uSlot = uNowMs / kSlotMs * kSlotMs;
    std::lock_guard<std::mutex> lock(m_mtx);
    if (!m_bAny || uNowMs >= m_uLastAddMs + kWindowMs)
    {
        m_uFlowSinceMs = uNowMs;
    }
    m_bAny = true;
    m_uLastAddMs = std::max(m_uLastAddMs, uNowMs);
    Sample& sample = m_samples[(uSlot / kSlotMs) % kSlots];
    if (sample.uSlotMs != uSlot)
    {
        sample.uSlotMs = uSlot;
        sample.uBytes = 0;
    }
    sample.uBytes += uBytes;
}

uint64_t PemSpeedMeter::CurrentAt(uint64_t uNowMs)
{
    const uint64_t uSlot = uNowMs / kSlotMs * kSlotMs;
    // The window: this slot and the nine before it, from their start to now.
    const uint64_t uOldest = uSlot >= kWindowMs - kSlotMs ? uSlot - (kWindowMs - kSlotMs) : 0;
    std::lock_guard<std::mutex> lock(m_mtx);
    uint64_t uSum = 0;
    for (const Sample& sample : m_samples)
    {
        if (sample.uSlotMs != UINT64_MAX && sample.uSlotMs >= uOldest && sample.uSlotMs <= uSlot)
        {
            uSum += sample.uBytes;
        }
    }
    if (uSum == 0)
    {
        return 0;
    }
    // Bytes that started to flow within the window cover only the time since.
    const uint64_t uFrom = std::max(uOldest, m_uFlowSinceMs);
    const uint64_t uSpanMs = std::max<uint64_t>(uNowMs > uFrom ? uNowMs - uFrom : 0, kSlotMs);
    return uSum * 1000 / uSpanMs;
}

} // namespace NSCorvane
