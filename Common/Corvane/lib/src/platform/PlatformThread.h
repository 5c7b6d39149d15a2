// SPDX-License-Identifier: MIT
// Thread names as debuggers and process monitors show them, and thread priority.
#pragma once

namespace CorvanePlatform
{

// Names the calling thread. Linux keeps at most 15 bytes: longer names are cut
// there (never inside a UTF-8 sequence). Failure is harmless and ignored.
void SetCurrentThreadName(const char* pcszName);

// Lets the calling thread run only when nothing else wants the processor: for
// work that fills idle time. Failure is harmless and ignored.
void LowerCurrentThreadPriority();

} // namespace CorvanePlatform
