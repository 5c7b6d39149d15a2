// SPDX-License-Identifier: MIT
// Bytes received per second over the last second, kept in ten 100 ms slots.
// Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>

namespace NSCorvane
{

class PemSpeedMeter
{
public:
    void Add(uint64_t uBytes);
    // The bytes of the last second divided by the time they cover: a whole
    // second, or less when bytes started to flow less than a second ago (at
    // least one slot). 0 when nothing arrived within the last second.
    uint64_t Current();

    // The same with an explicit clock (milliseconds), for the algorithm's tests.
    void AddAt(uint64_t uNowMs, uint64_t uBytes);
    uint64_t CurrentAt(uint64_t uNowMs);

private:
    static constexpr uint64_t kSlotMs = 100;
    static constexpr uint64_t kSlots = 10;
    static constexpr uint64_t kWindowMs = kSlotMs * kSlots;

    struct Sample
    {
        uint64_t uSlotMs = UINT64_MAX; // start of the slot; UINT64_MAX = never used
        uint64_t uBytes = 0;
    };
    std::mutex m_mtx;
    Sample m_samples[kSlots];
    uint64_t m_uFlowSinceMs = 0; // first byte after a quiet second
    uint64_t m_uLastAddMs = 0;
    bool m_bAny = false;
};

} // namespace NSCorvane
