// SPDX-License-Identifier: MIT
#include "platform/ToolTreeFiles.h"

#include "platform/win32/ToolWide.h"

#include <windows.h>

#include <algorithm>
#include <new>

namespace CorvaneToolPlatform
{

namespace
{

std::string ErrorText(DWORD dwError)
{
    return "error code " + std::to_string(dwError);
}

class ScopedHandle
{
public:
    explicit ScopedHandle(HANDLE h) : m_h(h) {}
    ~ScopedHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
        {
            ::CloseHandle(m_h);
        }
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

// Opens what the path leads to, links followed; directories too.
HANDLE OpenFollowed(const std::wstring& strPath, DWORD dwAccess)
{
    return ::CreateFileW(strPath.c_str(), dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool FollowedInfo(const std::wstring& strPath, BY_HANDLE_FILE_INFORMATION& info)
{
    const ScopedHandle h(OpenFollowed(strPath, FILE_READ_ATTRIBUTES));
    return h.Get() != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(h.Get(), &info);
}

void Classify(DWORD dwAttributes, uint64_t uSize, TreeItem& item)
{
    if (dwAttributes & FILE_ATTRIBUTE_DIRECTORY)
    {
        item.kind = TreeItemKind::kDirectory;
    }
    else if (!(dwAttributes & FILE_ATTRIBUTE_DEVICE))
    {
        item.kind = TreeItemKind::kFile;
        item.uSize = uSize;
    }
}

} // namespace

bool ListTreeDirectory(const std::string& strDir, std::vector<TreeItem>& vecItems, TreeDirId& id,
                       std::string& strError)
{
    vecItems.clear();
    const std::wstring strWideDir = ToWide(strDir);
    BY_HANDLE_FILE_INFORMATION dirInfo;
    if (!FollowedInfo(strWideDir, dirInfo))
    {
        strError = ErrorText(::GetLastError());
        return false;
    }
    id.uDevice = dirInfo.dwVolumeSerialNumber;
    id.uNode = (static_cast<uint64_t>(dirInfo.nFileIndexHigh) << 32) | dirInfo.nFileIndexLow;
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileExW((strWideDir + L"\\*").c_str(), FindExInfoBasic, &data,
                                      FindExSearchNameMatch, nullptr, 0);
    if (hFind == INVALID_HANDLE_VALUE)
    {
        strError = ErrorText(::GetLastError());
        return false;
    }
    bool bOk = true;
    try
    {
        do
        {
            const std::wstring strName = data.cFileName;
            if (strName == L"." || strName == L"..")
            {
                continue;
            }
            TreeItem item;
            item.strName = ToUtf8(strName);
            item.bLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (!item.bLink)
            {
                Classify(data.dwFileAttributes,
                         (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, item);
            }
            else
            {
                // The listing describes the link itself: ask what it leads to.
                BY_HANDLE_FILE_INFORMATION info;
                if (FollowedInfo(strWideDir + L"\\" + strName, info))
                {
                    Classify(info.dwFileAttributes,
                             (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow, item);
                }
            }
            vecItems.push_back(std::move(item));
        } while (::FindNextFileW(hFind, &data));
        const DWORD dwError = ::GetLastError();
        if (bOk && dwError != ERROR_NO_MORE_FILES)
        {
            strError = ErrorText(dwError);
            bOk = false;
        }
    }
    catch (const std::bad_alloc&)
    {
        strError = "out of memory";
        bOk = false;
    }
    ::FindClose(hFind);
    return bOk;
}

bool ReadWholeFile(const std::string& strPath, std::vector<unsigned char>& vecData, std::string& strError)
{
    vecData.clear();
    const ScopedHandle h(OpenFollowed(ToWide(strPath), GENERIC_READ));
    if (h.Get() == INVALID_HANDLE_VALUE)
    {
        strError = ErrorText(::GetLastError());
        return false;
    }
    try
    {
        size_t uDone = 0;
        for (;;)
        {
            if (uDone == vecData.size())
            {
                vecData.resize(vecData.size() + 1024 * 1024);
            }
            DWORD dwRead = 0;
            const DWORD dwWant = static_cast<DWORD>(std::min<size_t>(vecData.size() - uDone, 1u << 30));
            if (!::ReadFile(h.Get(), vecData.data() + uDone, dwWant, &dwRead, nullptr))
            {
                strError = ErrorText(::GetLastError());
                return false;
            }
            if (dwRead == 0)
            {
                break;
            }
            uDone += dwRead;
        }
        vecData.resize(uDone);
    }
    catch (const std::bad_alloc&)
    {
        strError = "out of memory";
        return false;
    }
    return true;
}

} // namespace CorvaneToolPlatform
