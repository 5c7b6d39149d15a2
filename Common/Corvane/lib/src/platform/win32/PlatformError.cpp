// SPDX-License-Identifier: MIT
#include "platform/PlatformError.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <windows.h>

namespace CorvanePlatform
{

int LastErrorCode()
{
    // The C runtime's file calls keep the system's code too; the Win32 calls
    // (moves, directories) only in GetLastError.
    DWORD dwError = ::GetLastError();
    if (dwError == 0)
    {
        // _doserrno, not _get_doserrno: the system's msvcrt.dll, which
        // mingw-w64 links against, has only the former.
        dwError = static_cast<DWORD>(_doserrno);
    }
    return static_cast<int>(dwError);
}

const char* ErrorText(int nCode, char* pszOut, size_t uSize)
{
    if (!pszOut || uSize == 0)
    {
        return "";
    }
    pszOut[0] = '\0';
    wchar_t szWide[512] = {};
    const DWORD dwLength =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(nCode), 0, szWide, sizeof(szWide) / sizeof(szWide[0]), nullptr);
    if (dwLength > 0 &&
        ::WideCharToMultiByte(CP_UTF8, 0, szWide, -1, pszOut, static_cast<int>(uSize), nullptr, nullptr) > 0)
    {
        // The system's messages end in ".\r\n".
        size_t uEnd = std::strlen(pszOut);
        while (uEnd > 0 && (pszOut[uEnd - 1] == '\n' || pszOut[uEnd - 1] == '\r' || pszOut[uEnd - 1] == ' ' ||
                            pszOut[uEnd - 1] == '.'))
        {
            pszOut[--uEnd] = '\0';
        }
    }
    if (!pszOut[0])
    {
        std::snprintf(pszOut, uSize, "error %d", nCode);
    }
    return pszOut;
}

bool IsNotFoundError(int nCode)
{
    return nCode == ERROR_FILE_NOT_FOUND || nCode == ERROR_PATH_NOT_FOUND;
}

} // namespace CorvanePlatform
