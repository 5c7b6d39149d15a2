// SPDX-License-Identifier: MIT
#include "platform/PlatformProcess.h"

#include <windows.h>

namespace CorvanePlatform
{

uint32_t CurrentProcessId()
{
    return static_cast<uint32_t>(::GetCurrentProcessId());
}

bool IsProcessRunning(uint32_t uPid)
{
    if (uPid == 0)
    {
        return false;
    }
    HANDLE hProcess = ::OpenProcess(SYNCHRONIZE, FALSE, uPid);
    if (hProcess == nullptr)
    {
        // No such process; any other refusal means it exists.
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    }
    const bool bRunning = ::WaitForSingleObject(hProcess, 0) == WAIT_TIMEOUT;
    ::CloseHandle(hProcess);
    return bRunning;
}

} // namespace CorvanePlatform
