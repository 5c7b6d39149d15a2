// SPDX-License-Identifier: MIT
// The running process.
#pragma once

#include <cstdint>

namespace CorvanePlatform
{

uint32_t CurrentProcessId();

// Whether a process with this id runs now (one we may not signal counts as
// running). Id 0 is never a writer of ours: false.
bool IsProcessRunning(uint32_t uPid);

} // namespace CorvanePlatform
