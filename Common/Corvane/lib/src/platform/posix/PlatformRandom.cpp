// SPDX-License-Identifier: MIT
#include "platform/PlatformRandom.h"

#include <cerrno>
#include <sys/random.h>

namespace CorvanePlatform
{

bool FillRandomBytes(void* pBuffer, size_t uSize)
{
    unsigned char* p = static_cast<unsigned char*>(pBuffer);
    while (uSize > 0)
    {
        ssize_t nGot = ::getrandom(p, uSize, 0);
        if (nGot < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            return false;
        }
        p += nGot;
        uSize -= static_cast<size_t>(nGot);
    }
    return true;
}

} // namespace CorvanePlatform
