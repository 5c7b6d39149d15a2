// SPDX-License-Identifier: MIT
#include "platform/PlatformMemory.h"

#include <windows.h>

namespace CorvanePlatform
{

void* AllocLargeBlock(size_t uSize)
{
    // Large pages need a privilege ordinary users lack: plain committed memory.
    return uSize ? ::VirtualAlloc(nullptr, uSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE) : nullptr;
}

void FreeLargeBlock(void* p, size_t)
{
    if (p)
    {
        ::VirtualFree(p, 0, MEM_RELEASE);
    }
}

} // namespace CorvanePlatform
