// SPDX-License-Identifier: MIT
#include "platform/PlatformProcess.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <unistd.h>

namespace CorvanePlatform
{

uint32_t CurrentProcessId()
{
    return static_cast<uint32_t>(::getpid());
}

bool IsProcessRunning(uint32_t uPid)
{
    // 0 and negative ids would address process groups.
    if (uPid == 0 || uPid > static_cast<uint32_t>(INT_MAX))
    {
        return false;
    }
    return ::kill(static_cast<pid_t>(uPid), 0) == 0 || errno == EPERM;
}

} // namespace CorvanePlatform
