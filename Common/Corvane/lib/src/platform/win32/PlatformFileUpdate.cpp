// SPDX-License-Identifier: MIT
#include "platform/PlatformFileUpdate.h"
#include "platform/win32/PlatformWide.h"

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
    std::wstring strWide;
    if (!ToWide(strWide, pcszPath))
    {
        return -1;
    }
    int nFile = -1;
    if (0 != ::_wsopen_s(&nFile, strWide.c_str(), _O_WRONLY | _O_BINARY | _O_CREAT, _SH_DENYNO,
                         _S_IREAD | _S_IWRITE))
    {
        return -1;
    }
    return nFile;
}

} // namespace CorvanePlatform
