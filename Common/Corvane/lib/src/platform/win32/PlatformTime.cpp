// SPDX-License-Identifier: MIT
#include "platform/PlatformTime.h"

#include <windows.h>

namespace CorvanePlatform
{

uint64_t SteadyMs()
{
    return ::GetTickCount64();
}

void SleepMs(uint32_t uMs)
{
    ::Sleep(uMs);
}

} // namespace CorvanePlatform
