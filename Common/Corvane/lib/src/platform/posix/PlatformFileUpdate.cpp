// SPDX-License-Identifier: MIT
#include "platform/PlatformFileUpdate.h"

#include <cerrno>
#include <fcntl.h>

namespace CorvanePlatform
{

int FileOpenForUpdate(const char* pcszPath)
{
    if (!pcszPath || !*pcszPath)
    {
        return -1;
    }
    int nFile = -1;
    do
    {
        nFile = ::open(pcszPath, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    } while (nFile < 0 && EINTR == errno);
    return nFile;
}

} // namespace CorvanePlatform
