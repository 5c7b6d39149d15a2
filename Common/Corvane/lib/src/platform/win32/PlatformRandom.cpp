// SPDX-License-Identifier: MIT
#include "platform/PlatformRandom.h"

// windows.h first: bcrypt.h uses its types without including it.
#include <windows.h>

#include <bcrypt.h>

#pragma comment(lib, "bcrypt.lib")

namespace CorvanePlatform
{

bool FillRandomBytes(void* pBuffer, size_t uSize)
{
    unsigned char* p = static_cast<unsigned char*>(pBuffer);
    while (uSize > 0)
    {
        ULONG uChunk = uSize > 0x10000000u ? 0x10000000u : static_cast<ULONG>(uSize);
        if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, p, uChunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        {
            return false;
        }
        p += uChunk;
        uSize -= uChunk;
    }
    return true;
}

} // namespace CorvanePlatform
