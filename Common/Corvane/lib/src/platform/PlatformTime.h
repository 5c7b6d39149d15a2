// SPDX-License-Identifier: MIT
// Clocks and sleeping.
#pragma once

#include <cstdint>

namespace CorvanePlatform
{

// Milliseconds of a monotonic clock (never jumps with the wall clock).
uint64_t SteadyMs();
void SleepMs(uint32_t uMs);

} // namespace CorvanePlatform
