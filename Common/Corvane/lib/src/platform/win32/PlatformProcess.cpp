// SPDX-License-Identifier: MIT
#include "platform/PlatformProcess.h"

#include <windows.h>

namespace CorvanePlatform
{

uint32_t CurrentProcessId()
{
    return static_cast<uint32_t>(::GetCurrentProcessId());
}

} // namespace CorvanePlatform
