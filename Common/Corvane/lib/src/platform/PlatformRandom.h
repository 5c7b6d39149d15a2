// SPDX-License-Identifier: MIT
// Random bytes from the operating system (identifiers, seeds).
#pragma once

#include <cstddef>

namespace CorvanePlatform
{

bool FillRandomBytes(void* pBuffer, size_t uSize);

} // namespace CorvanePlatform
