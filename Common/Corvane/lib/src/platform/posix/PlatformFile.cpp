// SPDX-License-Identifier: MIT
#include "platform/PlatformFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace CorvanePlatform
{

namespace
{

bool SyncDirectory(const std::string& strDir)
{
    int nDir = ::open(strDir.empty() ? "." : strDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (nDir < 0)
    {
        return false;
    }
    bool bOk = ::fsync(nDir) == 0;
    ::close(nDir);
    return bOk;
}

std::string ParentOf(const std::string& strPath)
{
    size_t uPos = strPath.rfind('/');
    if (uPos == std::string::npos)
    {
        return std::string();
    }
    return uPos == 0 ? std::string("/") : strPath.substr(0, uPos);
}

} // namespace

int FileOpen(const char* pcszPath, FileMode eMode)
{
    if (!pcszPath || !*pcszPath)
    {
        return -1;
    }
    int nFlags = O_CLOEXEC;
    switch (eMode)
    {
    case FileMode::ReadShared:
        nFlags |= O_RDONLY;
        break;
    case FileMode::WriteExclusive:
        nFlags |= O_WRONLY | O_CREAT | O_EXCL;
        break;
    case FileMode::WriteTruncate:
    case FileMode::WriteTruncateShared:
        nFlags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    case FileMode::WriteAppend:
        nFlags |= O_WRONLY | O_CREAT | O_APPEND;
        break;
    case FileMode::WritePrivate:
        nFlags |= O_WRONLY | O_CREAT | O_EXCL;
        break;
    }
    const mode_t uMode = eMode == FileMode::WritePrivate ? 0600 : 0666;
    int nFile;
    do
    {
        nFile = ::open(pcszPath, nFlags, uMode);
    } while (nFile < 0 && errno == EINTR);
    if (nFile >= 0 && eMode == FileMode::ReadShared)
    {
        // Windows refuses to open a directory as a file; do the same so callers see one behaviour.
        struct stat st;
        if (::fstat(nFile, &st) != 0 || S_ISDIR(st.st_mode))
        {
            ::close(nFile);
            errno = EISDIR;
            return -1;
        }
    }
    return nFile;
}

bool FileClose(int nFile)
{
    // No retry on EINTR: the descriptor is gone either way on Linux.
    return nFile >= 0 && ::close(nFile) == 0;
}

int64_t FileRead(int nFile, void* pBuffer, uint32_t uSize)
{
    ssize_t nRead;
    do
    {
        nRead = ::read(nFile, pBuffer, uSize);
    } while (nRead < 0 && errno == EINTR);
    return nRead;
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
        ssize_t nWritten = ::write(nFile, p + uDone, static_cast<size_t>(uChunk));
        if (nWritten < 0 && errno == EINTR)
        {
            continue;
        }
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
    int nWhence = nOrigin == 0 ? SEEK_SET : nOrigin == 1 ? SEEK_CUR : SEEK_END;
    return ::lseek(nFile, static_cast<off_t>(nOffset), nWhence);
}

int64_t FileLength(int nFile)
{
    struct stat st;
    if (::fstat(nFile, &st) != 0)
    {
        return -1;
    }
    return st.st_size;
}

bool FileSync(int nFile)
{
    return ::fsync(nFile) == 0;
}

void FileStartWriteBack(int nFile)
{
#ifdef __linux__
    ::sync_file_range(nFile, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)nFile;
#endif
}

bool PathStat(const char* pcszPath, FileStat* pStat)
{
    if (!pcszPath || !*pcszPath || !pStat)
    {
        return false;
    }
    struct stat st;
    if (::lstat(pcszPath, &st) != 0)
    {
        return false;
    }
    pStat->bLink = S_ISLNK(st.st_mode);
    if (pStat->bLink && ::stat(pcszPath, &st) != 0)
    {
        // A dangling link: report the link itself.
        pStat->uSize = 0;
        pStat->nWriteTimeNs = 0;
        pStat->nChangeTimeNs = 0;
        pStat->id = FileIdentity();
        pStat->bDirectory = false;
        pStat->bRegular = false;
        return true;
    }
    pStat->uSize = static_cast<uint64_t>(st.st_size);
    pStat->nWriteTimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    pStat->nChangeTimeNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    pStat->id.uDevice = static_cast<uint64_t>(st.st_dev);
    pStat->id.uNode = static_cast<uint64_t>(st.st_ino);
    pStat->bDirectory = S_ISDIR(st.st_mode);
    pStat->bRegular = S_ISREG(st.st_mode);
    return true;
}

bool PathExists(const char* pcszPath)
{
    struct stat st;
    return pcszPath && *pcszPath && ::stat(pcszPath, &st) == 0;
}

bool RemoveFile(const char* pcszPath)
{
    return pcszPath && *pcszPath && ::unlink(pcszPath) == 0;
}

bool CreateDirectories(const std::string& strDir, std::string* pstrFailed)
{
    if (strDir.empty())
    {
        errno = ENOENT;
        return false;
    }
    struct stat st;
    if (::stat(strDir.c_str(), &st) == 0)
    {
        if (S_ISDIR(st.st_mode))
        {
            return true;
        }
        errno = EEXIST;
        if (pstrFailed)
        {
            *pstrFailed = strDir;
        }
        return false;
    }
    std::string strParent = ParentOf(strDir);
    if (!strParent.empty() && strParent != strDir && !CreateDirectories(strParent, pstrFailed))
    {
        return false;
    }
    if ((::mkdir(strDir.c_str(), 0777) == 0 || errno == EEXIST) && ::stat(strDir.c_str(), &st) == 0)
    {
        if (S_ISDIR(st.st_mode))
        {
            return true;
        }
        errno = EEXIST;
    }
    if (pstrFailed)
    {
        const int nError = errno;
        *pstrFailed = strDir;
        errno = nError;
    }
    return false;
}

bool ReplaceFile(const char* pcszFrom, const char* pcszTo)
{
    if (!pcszFrom || !pcszTo || ::rename(pcszFrom, pcszTo) != 0)
    {
        return false;
    }
    // The rename is durable only once the directory entry is on the device.
    return SyncDirectory(ParentOf(pcszTo));
}

bool ReplaceFileUnflushed(const char* pcszFrom, const char* pcszTo)
{
    return pcszFrom && pcszTo && ::rename(pcszFrom, pcszTo) == 0;
}

std::string TempDirectory()
{
    const char* pcszTmp = std::getenv("TMPDIR");
    std::string strDir = (pcszTmp && *pcszTmp) ? pcszTmp : "/tmp";
    while (strDir.size() > 1 && strDir.back() == '/')
    {
        strDir.pop_back();
    }
    return strDir;
}

} // namespace CorvanePlatform
