// SPDX-License-Identifier: MIT
#include "platform/PlatformDirectory.h"

#include "platform/win32/PlatformWide.h"

#include <new>
#include <vector>
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

namespace
{

int64_t UnixNs(const LARGE_INTEGER& time)
{
    // FILETIME counts 100 ns from 1601; move to the Unix epoch.
    return (static_cast<int64_t>(time.QuadPart) - 116444736000000000LL) * 100;
}

// One entry of a directory listing by handle: besides size and write time it
// carries the change time and the file index, which the find functions lack.
void AddEntry(const FILE_ID_BOTH_DIR_INFO& info, uint64_t uVolume, DirectoryListing* pListing)
{
    const wchar_t* pwsz = info.FileName;
    const size_t uChars = info.FileNameLength / sizeof(wchar_t);
    if ((uChars == 1 && pwsz[0] == L'.') || (uChars == 2 && pwsz[0] == L'.' && pwsz[1] == L'.'))
    {
        return;
    }
    DirectoryItem item;
    const std::wstring strWide(pwsz, uChars);
    if (!ToUtf8(item.strName, strWide.c_str()))
    {
        return;
    }
    item.bLink = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    item.bDirectory = (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.bFile = !item.bDirectory && !item.bLink;
    if (!item.bFile && !item.bDirectory)
    {
        // A link to a file: its own times say nothing of the target's, so no stat.
        item.eOther = OtherKind::FileLink;
    }
    if (item.bFile)
    {
        item.stat.uSize = static_cast<uint64_t>(info.EndOfFile.QuadPart);
        item.stat.nWriteTimeNs = UnixNs(info.LastWriteTime);
        item.stat.nChangeTimeNs = UnixNs(info.ChangeTime);
        item.stat.id.uDevice = uVolume;
        item.stat.id.uNode = static_cast<uint64_t>(info.FileId.QuadPart);
        item.stat.bRegular = true;
        item.bHasStat = true;
    }
    pListing->vecItems.push_back(std::move(item));
}

} // namespace

bool ListDirectory(const char* pcszDir, DirectoryListing* pListing)
{
    if (!pcszDir || !*pcszDir || !pListing)
    {
        return false;
    }
    pListing->vecItems.clear();
    std::wstring strWide;
    if (!ToWide(strWide, pcszDir))
    {
        return false;
    }
    // Backup semantics open directories; links to directories are followed.
    HANDLE hDir = ::CreateFileW(strWide.c_str(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (INVALID_HANDLE_VALUE == hDir)
    {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION dirInfo;
    if (!::GetFileInformationByHandle(hDir, &dirInfo) ||
        (dirInfo.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        ::CloseHandle(hDir);
        return false;
    }
    pListing->id.uDevice = dirInfo.dwVolumeSerialNumber;
    pListing->id.uNode = (static_cast<uint64_t>(dirInfo.nFileIndexHigh) << 32) | dirInfo.nFileIndexLow;
    bool bOk = true;
    try
    {
        // Entries are variable-length and 8-byte aligned in the buffer.
        std::vector<uint64_t> vecBuffer(64 * 1024 / sizeof(uint64_t));
        const DWORD dwBytes = static_cast<DWORD>(vecBuffer.size() * sizeof(uint64_t));
        FILE_INFO_BY_HANDLE_CLASS eClass = FileIdBothDirectoryRestartInfo;
        while (::GetFileInformationByHandleEx(hDir, eClass, vecBuffer.data(), dwBytes))
        {
            eClass = FileIdBothDirectoryInfo;
            const auto* pBytes = reinterpret_cast<const uint8_t*>(vecBuffer.data());
            for (;;)
            {
                const auto* pInfo = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(pBytes);
                AddEntry(*pInfo, pListing->id.uDevice, pListing);
                if (0 == pInfo->NextEntryOffset)
                {
                    break;
                }
                pBytes += pInfo->NextEntryOffset;
            }
        }
        bOk = ::GetLastError() == ERROR_NO_MORE_FILES;
    }
    catch (const std::bad_alloc&)
    {
        bOk = false;
    }
    ::CloseHandle(hDir);
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
