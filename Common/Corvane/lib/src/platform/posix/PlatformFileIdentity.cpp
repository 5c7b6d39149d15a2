// SPDX-License-Identifier: MIT
#include "platform/PlatformFileIdentity.h"

#include <sys/stat.h>

namespace CorvanePlatform
{

bool GetFileIdentity(const char* pcszPath, FileIdentity* pId)
{
    struct stat st;
    if (!pcszPath || !pId || 0 != ::stat(pcszPath, &st))
    {
        return false;
    }
    pId->uDevice = static_cast<uint64_t>(st.st_dev);
    pId->uNode = static_cast<uint64_t>(st.st_ino);
    return true;
}

} // namespace CorvanePlatform
