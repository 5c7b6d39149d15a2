// SPDX-License-Identifier: MIT
// Thread names as debuggers and process monitors show them.
#pragma once

namespace CorvanePlatform
{

// Names the calling thread. Linux keeps at most 15 bytes: longer names are cut
// there (never inside a UTF-8 sequence). Failure is harmless and ignored.
void SetCurrentThreadName(const char* pcszName);

} // namespace CorvanePlatform
