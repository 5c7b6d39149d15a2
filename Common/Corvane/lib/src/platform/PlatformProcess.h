// SPDX-License-Identifier: MIT
// The running process.
#pragma once

#include <cstdint>

namespace CorvanePlatform
{

uint32_t CurrentProcessId();

} // namespace CorvanePlatform
