// SPDX-License-Identifier: MIT
// Bytes received over the last second, in ten 100 ms slots. Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>

namespace NSCorvane
{

class PemSpeedMeter
{
public:
    void Add(uint64_t uBytes);
    // Bytes per second over the slots of the last second; 0 when none counts.
    uint64_t Current();

    // The same with an explicit clock (milliseconds), for the algorithm's tests.
    void AddAt(uint64_t uNowMs, uint64_t uBytes);
    uint64_t CurrentAt(uint64_t uNowMs);

private:
    struct Sample
    {
        uint64_t uSlotMs = 0;
        uint64_t uBytes = 0;
    };
    std::mutex m_mtx;
    Sample m_samples[10];
};

} // namespace NSCorvane
