// SPDX-License-Identifier: MIT
// Read and seek over bytes held in memory, shared by every in-memory file so
// that they all keep the same rules.
#pragma once

#include <cstdint>
#include <cstring>

namespace CorvaneUtil
{

// All or nothing: copies uWant bytes from position *puPos and advances it, or
// copies nothing and returns 0 when fewer remain.
inline int32_t MemoryReadAll(const uint8_t* pData, uint32_t uSize, uint32_t* puPos, void* pBuffer,
                             uint32_t uWant)
{
    if (!pData || !pBuffer || uWant == 0 || uWant > INT32_MAX || *puPos > uSize || uSize - *puPos < uWant)
    {
        return 0;
    }
    std::memcpy(pBuffer, pData + *puPos, uWant);
    *puPos += uWant;
    return static_cast<int32_t>(uWant);
}

// The new position of a seek: origin 0 set, 1 current, 2 end, anything else the
// end. Every seek lands in [0, size]: taken as unsigned, a target before the
// start is huge and so lands at the end, as does one past it.
inline uint32_t MemorySeekTarget(uint32_t uPos, uint32_t uSize, int32_t nOffset, int32_t nOrigin)
{
    int64_t nTarget;
    switch (nOrigin)
    {
    case 0:
        nTarget = nOffset;
        break;
    case 1:
        nTarget = static_cast<int64_t>(uPos) + nOffset;
        break;
    case 2:
        nTarget = static_cast<int64_t>(uSize) + nOffset;
        break;
    default:
        nTarget = uSize;
        break;
    }
    const uint64_t uTarget = static_cast<uint64_t>(nTarget);
    return static_cast<uint32_t>(uTarget < uSize ? uTarget : uSize);
}

} // namespace CorvaneUtil
