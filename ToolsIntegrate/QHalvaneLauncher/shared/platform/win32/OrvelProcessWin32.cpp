#include "platform/OrvelProcess.h"

// windows.h first: tlhelp32.h uses its types without including it.
#include <windows.h>

#include <tlhelp32.h>

namespace OrvelPlatform
{

bool IsProcessRunning(quint32 uPid)
{
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return false;

    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    bool bFound = false;
    for (BOOL bMore = Process32FirstW(hSnapshot, &entry); bMore; bMore = Process32NextW(hSnapshot, &entry))
    {
        if (entry.th32ProcessID == uPid)
        {
            bFound = true;
            break;
        }
    }
    CloseHandle(hSnapshot);
    return bFound;
}

} // namespace OrvelPlatform
