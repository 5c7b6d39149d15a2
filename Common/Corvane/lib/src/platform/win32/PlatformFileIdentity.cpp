// SPDX-License-Identifier: MIT
#include "platform/PlatformFileIdentity.h"
#include "platform/win32/PlatformWide.h"

#include <string>
#include <windows.h>

namespace CorvanePlatform
{

bool GetFileIdentity(const char* pcszPath, FileIdentity* pId)
{
    if (!pcszPath || !pId)
    {
        return false;
    }
    std::wstring strWide;
    if (!ToWide(strWide, pcszPath))
    {
        return false;
    }
    // Backup semantics open directories; without FILE_FLAG_OPEN_REPARSE_POINT links are followed.
    HANDLE hFile = ::CreateFileW(strWide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (INVALID_HANDLE_VALUE == hFile)
    {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL bOk = ::GetFileInformationByHandle(hFile, &info);
    ::CloseHandle(hFile);
    if (!bOk)
    {
        return false;
    }
    pId->uDevice = info.dwVolumeSerialNumber;
    pId->uNode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

} // namespace CorvanePlatform
