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

// Paths from MAX_PATH characters on need the "\\?\" form, which the system
// takes as it stands: so it is made absolute, with backslashes, first. (The
// limit is 248 for a directory to create; the margin covers a file name
// appended by the system, as 8.3 names are.)
bool ToLongForm(std::wstring& strPath)
{
    constexpr size_t kLimit = MAX_PATH - 14;
    if (strPath.size() < kLimit || strPath.compare(0, 4, L"\\\\?\\") == 0)
    {
        return true;
    }
    for (wchar_t& c : strPath)
    {
        c = c == L'/' ? L'\\' : c;
    }
    const DWORD dwNeeded = ::GetFullPathNameW(strPath.c_str(), 0, nullptr, nullptr);
    if (dwNeeded == 0)
    {
        return false;
    }
    std::wstring strFull(dwNeeded, L'\0');
    const DWORD dwLength = ::GetFullPathNameW(strPath.c_str(), dwNeeded, &strFull[0], nullptr);
    if (dwLength == 0 || dwLength >= dwNeeded)
    {
        return false;
    }
    strFull.resize(dwLength);
    if (strFull.compare(0, 2, L"\\\\") == 0)
    {
        strPath = L"\\\\?\\UNC\\" + strFull.substr(2); // \\server\share\...
    }
    else
    {
        strPath = L"\\\\?\\" + strFull;
    }
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
        if ((TryToWide(strOut, pcszPath, CP_UTF8, MB_ERR_INVALID_CHARS) ||
             TryToWide(strOut, pcszPath, CP_ACP, 0)) &&
            ToLongForm(strOut))
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
