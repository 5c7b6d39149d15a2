// SPDX-License-Identifier: MIT
#include "platform/PlatformMemory.h"

#include <sys/mman.h>

#include <cstdint>

namespace CorvanePlatform
{
namespace
{

constexpr size_t kHugePage = size_t{2} << 20;

size_t RoundUp(size_t uSize)
{
    return (uSize + kHugePage - 1) & ~(kHugePage - 1);
}

} // namespace

void* AllocLargeBlock(size_t uSize)
{
    if (0 == uSize || uSize > SIZE_MAX - 2 * kHugePage)
    {
        return nullptr;
    }
    const size_t uRounded = RoundUp(uSize);
    // Over-map by one huge page and cut the ends, so the block starts on a
    // huge-page boundary.
    const size_t uMapped = uRounded + kHugePage;
    void* pvMap = ::mmap(nullptr, uMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (MAP_FAILED == pvMap)
    {
        return nullptr;
    }
    const uintptr_t uBase = reinterpret_cast<uintptr_t>(pvMap);
    const uintptr_t uAligned = (uBase + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    if (uAligned > uBase)
    {
        ::munmap(pvMap, uAligned - uBase);
    }
    const uintptr_t uEnd = uBase + uMapped;
    if (uEnd > uAligned + uRounded)
    {
        ::munmap(reinterpret_cast<void*>(uAligned + uRounded), uEnd - (uAligned + uRounded));
    }
#ifdef MADV_HUGEPAGE
    ::madvise(reinterpret_cast<void*>(uAligned), uRounded, MADV_HUGEPAGE); // advice only
#endif
    return reinterpret_cast<void*>(uAligned);
}

void FreeLargeBlock(void* p, size_t uSize)
{
    if (p)
    {
        ::munmap(p, RoundUp(uSize));
    }
}

} // namespace CorvanePlatform
