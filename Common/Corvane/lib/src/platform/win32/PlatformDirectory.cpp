// SPDX-License-Identifier: MIT
#include "platform/PlatformDirectory.h"

#include "platform/win32/PlatformWide.h"

#include <new>
#include <windows.h>

namespace CorvanePlatform
{

namespace
{

bool ToUtf8(std::string& strOut, const wchar_t* pwszName)
{
    const int nBytes = ::WideCharToMultiByte(CP_UTF8, 0, pwszName, -1, nullptr, 0, nullptr, nullptr);
    if (nBytes <= 1)
    {
        return false;
    }
    strOut.assign(static_cast<size_t>(nBytes - 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, pwszName, -1, &strOut[0], nBytes, nullptr, nullptr);
    return true;
}

} // namespace

bool ListDirectory(const char* pcszDir, DirectoryListing* pListing)
{
    if (!pcszDir || !*pcszDir || !pListing)
    {
        return false;
    }
    pListing->vecItems.clear();
    if (!GetFileIdentity(pcszDir, &pListing->id))
    {
        return false;
    }
    std::wstring strPattern;
    if (!ToWide(strPattern, pcszDir))
    {
        return false;
    }
    if (!strPattern.empty() && strPattern.back() != L'/' && strPattern.back() != L'\\')
    {
        strPattern += L'\\';
    }
    strPattern += L'*';
    WIN32_FIND_DATAW data;
    // The find data carries size, write time and attributes: no call per entry.
    HANDLE hFind = ::FindFirstFileExW(strPattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                      nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (INVALID_HANDLE_VALUE == hFind)
    {
        return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    bool bOk = true;
    try
    {
        do
        {
            const wchar_t* pwsz = data.cFileName;
            if ((pwsz[0] == L'.' && pwsz[1] == 0) || (pwsz[0] == L'.' && pwsz[1] == L'.' && pwsz[2] == 0))
            {
                continue;
            }
            DirectoryItem item;
            if (!ToUtf8(item.strName, pwsz))
            {
                continue;
            }
            item.bLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            item.bDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            item.bFile = !item.bDirectory && !item.bLink;
            if (!item.bFile && !item.bDirectory)
            {
                continue; // a link to a file is not a file of the tree
            }
            if (item.bFile)
            {
                item.stat.uSize = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
                const uint64_t uTicks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                        data.ftLastWriteTime.dwLowDateTime;
                // FILETIME counts 100 ns from 1601; move to the Unix epoch.
                item.stat.nWriteTimeNs = (static_cast<int64_t>(uTicks) - 116444736000000000LL) * 100;
                item.stat.bRegular = true;
                item.bHasStat = true;
            }
            pListing->vecItems.push_back(std::move(item));
        } while (::FindNextFileW(hFind, &data));
        bOk = ::GetLastError() == ERROR_NO_MORE_FILES;
    }
    catch (const std::bad_alloc&)
    {
        bOk = false;
    }
    ::FindClose(hFind);
    if (!bOk)
    {
        pListing->vecItems.clear();
    }
    return bOk;
}

class DirectoryHandle
{
};

bool ListDirectoryIn(const DirectoryHandlePtr& /*pParent*/, const char* /*pcszName*/, const char* pcszDir,
                     DirectoryListing* pListing, DirectoryHandlePtr* pKeep)
{
    // Windows opens by path; nothing is kept.
    if (pKeep)
    {
        pKeep->reset();
    }
    return ListDirectory(pcszDir, pListing);
}

} // namespace CorvanePlatform
