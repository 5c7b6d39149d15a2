// SPDX-License-Identifier: MIT
#include "platform/PlatformFile.h"

#include "platform/win32/PlatformWide.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

// windows.h maps ReplaceFile to ReplaceFileW; ours is the one of PlatformFile.h,
// which callers reach without windows.h.
#undef ReplaceFile

namespace CorvanePlatform
{

int FileOpen(const char* pcszPath, FileMode eMode)
{
    std::wstring strWide;
    if (!ToWide(strWide, pcszPath))
    {
        return -1;
    }
    int nFlags = _O_BINARY | _O_NOINHERIT;
    int nShare = _SH_DENYWR;
    switch (eMode)
    {
    case FileMode::ReadShared:
        nFlags |= _O_RDONLY;
        break;
    case FileMode::WriteExclusive:
    case FileMode::WritePrivate: // the user's profile ACL keeps it private
        nFlags |= _O_WRONLY | _O_CREAT | _O_EXCL;
        break;
    case FileMode::WriteTruncate:
        nFlags |= _O_WRONLY | _O_CREAT | _O_TRUNC;
        break;
    case FileMode::WriteTruncateShared:
        nFlags |= _O_WRONLY | _O_CREAT | _O_TRUNC;
        nShare = _SH_DENYNO;
        break;
    case FileMode::WriteAppend:
        nFlags |= _O_WRONLY | _O_CREAT | _O_APPEND;
        nShare = _SH_DENYNO;
        break;
    }
    int nFile = -1;
    if (::_wsopen_s(&nFile, strWide.c_str(), nFlags, nShare, _S_IREAD | _S_IWRITE) != 0)
    {
        return -1;
    }
    return nFile;
}

bool FileClose(int nFile)
{
    return nFile >= 0 && ::_close(nFile) == 0;
}

int64_t FileRead(int nFile, void* pBuffer, uint32_t uSize)
{
    if (uSize > 0x7FFFFFFFu)
    {
        uSize = 0x7FFFFFFFu;
    }
    return ::_read(nFile, pBuffer, uSize);
}

uint64_t FileWriteAll(int nFile, const void* pBuffer, uint64_t uSize)
{
    const char* p = static_cast<const char*>(pBuffer);
    uint64_t uDone = 0;
    while (uDone < uSize)
    {
        uint64_t uChunk = uSize - uDone;
        if (uChunk > (1u << 30))
        {
            uChunk = 1u << 30;
        }
        int nWritten = ::_write(nFile, p + uDone, static_cast<unsigned>(uChunk));
        if (nWritten <= 0)
        {
            break;
        }
        uDone += static_cast<uint64_t>(nWritten);
    }
    return uDone;
}

int64_t FileSeek(int nFile, int64_t nOffset, int nOrigin)
{
    return ::_lseeki64(nFile, nOffset, nOrigin == 0 ? SEEK_SET : nOrigin == 1 ? SEEK_CUR : SEEK_END);
}

int64_t FileLength(int nFile)
{
    return ::_filelengthi64(nFile);
}

bool FileSync(int nFile)
{
    return ::_commit(nFile) == 0;
}

void FileStartWriteBack(int)
{
    // No asynchronous flush here: FileSync does all of it.
}

bool PathStat(const char* pcszPath, FileStat* pStat)
{
    std::wstring strWide;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!pStat || !ToWide(strWide, pcszPath) ||
        !::GetFileAttributesExW(strWide.c_str(), GetFileExInfoStandard, &data))
    {
        return false;
    }
    pStat->uSize = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    uint64_t uTicks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                      data.ftLastWriteTime.dwLowDateTime;
    // FILETIME counts 100 ns from 1601; move to the Unix epoch.
    pStat->nWriteTimeNs = (static_cast<int64_t>(uTicks) - 116444736000000000LL) * 100;
    pStat->bDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    pStat->bLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    pStat->bRegular = (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    pStat->nChangeTimeNs = 0;
    pStat->id = FileIdentity();
    if (pStat->bRegular)
    {
        // The change time and the file index need a handle; no access right
        // is asked for, so a file another program holds open still answers.
        HANDLE hFile =
            ::CreateFileW(strWide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (INVALID_HANDLE_VALUE == hFile)
        {
            return false;
        }
        FILE_BASIC_INFO basic;
        BY_HANDLE_FILE_INFORMATION info;
        const bool bOk = ::GetFileInformationByHandleEx(hFile, FileBasicInfo, &basic, sizeof(basic)) &&
                         ::GetFileInformationByHandle(hFile, &info);
        ::CloseHandle(hFile);
        if (!bOk)
        {
            return false;
        }
        pStat->nChangeTimeNs = (static_cast<int64_t>(basic.ChangeTime.QuadPart) - 116444736000000000LL) * 100;
        pStat->id.uDevice = info.dwVolumeSerialNumber;
        pStat->id.uNode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    return true;
}

bool PathExists(const char* pcszPath)
{
    std::wstring strWide;
    return ToWide(strWide, pcszPath) && ::GetFileAttributesW(strWide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const char* pcszPath)
{
    std::wstring strWide;
    return ToWide(strWide, pcszPath) && ::DeleteFileW(strWide.c_str());
}

bool CreateDirectories(const std::string& strDir, std::string* pstrFailed)
{
    const auto fnFailed = [&](DWORD dwError)
    {
        if (pstrFailed)
        {
            *pstrFailed = strDir;
        }
        ::SetLastError(dwError);
        return false;
    };
    std::wstring strWide;
    if (!ToWide(strWide, strDir.c_str()))
    {
        return fnFailed(ERROR_INVALID_NAME);
    }
    DWORD dwAttr = ::GetFileAttributesW(strWide.c_str());
    if (dwAttr != INVALID_FILE_ATTRIBUTES)
    {
        return (dwAttr & FILE_ATTRIBUTE_DIRECTORY) != 0 || fnFailed(ERROR_ALREADY_EXISTS);
    }
    size_t uPos = strDir.find_last_of("/\\");
    if (uPos != std::string::npos && uPos > 0 && strDir[uPos - 1] != ':' &&
        !CreateDirectories(strDir.substr(0, uPos), pstrFailed))
    {
        return false;
    }
    if (::CreateDirectoryW(strWide.c_str(), nullptr))
    {
        return true;
    }
    const DWORD dwError = ::GetLastError();
    dwAttr = ::GetFileAttributesW(strWide.c_str());
    if (dwError == ERROR_ALREADY_EXISTS && dwAttr != INVALID_FILE_ATTRIBUTES &&
        (dwAttr & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        return true;
    }
    return fnFailed(dwError);
}

bool ReplaceFile(const char* pcszFrom, const char* pcszTo)
{
    std::wstring strFrom;
    std::wstring strTo;
    return ToWide(strFrom, pcszFrom) && ToWide(strTo, pcszTo) &&
           ::MoveFileExW(strFrom.c_str(), strTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool ReplaceFileUnflushed(const char* pcszFrom, const char* pcszTo)
{
    std::wstring strFrom;
    std::wstring strTo;
    return ToWide(strFrom, pcszFrom) && ToWide(strTo, pcszTo) &&
           ::MoveFileExW(strFrom.c_str(), strTo.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::string TempDirectory()
{
    // Wide and then UTF-8, as every path here: the ANSI form loses a user
    // name outside the ANSI code page.
    wchar_t szPath[MAX_PATH + 2] = {};
    const DWORD dwLen = ::GetTempPathW(MAX_PATH + 2, szPath);
    std::string strDir;
    const int nBytes = dwLen > 0 ? ::WideCharToMultiByte(CP_UTF8, 0, szPath, static_cast<int>(dwLen), nullptr,
                                                         0, nullptr, nullptr)
                                 : 0;
    if (nBytes > 0)
    {
        strDir.resize(static_cast<size_t>(nBytes));
        ::WideCharToMultiByte(CP_UTF8, 0, szPath, static_cast<int>(dwLen), &strDir[0], nBytes, nullptr,
                              nullptr);
    }
    while (strDir.size() > 3 && (strDir.back() == '\\' || strDir.back() == '/'))
    {
        strDir.pop_back();
    }
    return strDir;
}

} // namespace CorvanePlatform
