// SPDX-License-Identifier: MIT
#include "platform/PlatformError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace CorvanePlatform
{

namespace
{

// strerror_r comes in two shapes: the XSI one returns 0 and fills the buffer,
// the GNU one returns the text, which need not be in the buffer.
[[maybe_unused]] const char* ErrorResult(int nResult, const char* pcszBuffer)
{
    return nResult == 0 ? pcszBuffer : nullptr;
}

[[maybe_unused]] const char* ErrorResult(const char* pcszText, const char*)
{
    return pcszText;
}

} // namespace

int LastErrorCode()
{
    return errno;
}

const char* ErrorText(int nCode, char* pszOut, size_t uSize)
{
    if (!pszOut || uSize == 0)
    {
        return "";
    }
    char szBuffer[256] = {};
    const char* pcszText = ErrorResult(::strerror_r(nCode, szBuffer, sizeof(szBuffer)), szBuffer);
    if (pcszText && *pcszText)
    {
        std::snprintf(pszOut, uSize, "%s", pcszText);
    }
    else
    {
        std::snprintf(pszOut, uSize, "error %d", nCode);
    }
    return pszOut;
}

bool IsNotFoundError(int nCode)
{
    return nCode == ENOENT || nCode == ENOTDIR;
}

} // namespace CorvanePlatform
