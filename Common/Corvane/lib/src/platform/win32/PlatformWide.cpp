// SPDX-License-Identifier: MIT
#include "platform/win32/PlatformWide.h"

#include <windows.h>

namespace CorvanePlatform
{

namespace
{

bool TryToWide(std::wstring& strOut, const char* pcszPath, UINT uCodePage, DWORD dwFlags)
{
    int nLength = ::MultiByteToWideChar(uCodePage, dwFlags, pcszPath, -1, nullptr, 0);
    if (nLength <= 0)
    {
        return false;
    }
    strOut.resize(static_cast<size_t>(nLength));
    if (::MultiByteToWideChar(uCodePage, dwFlags, pcszPath, -1, &strOut[0], nLength) <= 0)
    {
        return false;
    }
    strOut.resize(static_cast<size_t>(nLength - 1));
    return true;
}

} // namespace

bool ToWide(std::wstring& strOut, const char* pcszPath)
{
    strOut.clear();
    if (!pcszPath || !*pcszPath)
    {
        return false;
    }
    try
    {
        if (TryToWide(strOut, pcszPath, CP_UTF8, MB_ERR_INVALID_CHARS) ||
            TryToWide(strOut, pcszPath, CP_ACP, 0))
        {
            return true;
        }
    }
    catch (...)
    {
    }
    strOut.clear();
    return false;
}

} // namespace CorvanePlatform
