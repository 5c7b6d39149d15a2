// SPDX-License-Identifier: MIT
#include "platform/PlatformFileUpdate.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <string>
#include <sys/stat.h>
#include <windows.h>

namespace CorvanePlatform
{

int FileOpenForUpdate(const char* pcszPath)
{
    if (!pcszPath || !*pcszPath)
    {
        return -1;
    }
    const int nWide = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pcszPath, -1, nullptr, 0);
    if (nWide <= 0)
    {
        return -1;
    }
    std::wstring strWide(static_cast<size_t>(nWide), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pcszPath, -1, &strWide[0], nWide);
    int nFile = -1;
    if (0 != ::_wsopen_s(&nFile, strWide.c_str(), _O_WRONLY | _O_BINARY | _O_CREAT, _SH_DENYWR,
                         _S_IREAD | _S_IWRITE))
    {
        return -1;
    }
    return nFile;
}

} // namespace CorvanePlatform
