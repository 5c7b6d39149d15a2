#include "platform/OrvelNativeFile.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace OrvelPlatform
{

namespace
{

// The system's own text comes in its language; ours follows the launcher's.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelNativeFile)
};

QByteArray Native(const QString& strPath)
{
    return QFile::encodeName(strPath);
}

} // namespace

FileErrorKind ClassifyFileError(int nCode)
{
    switch (nCode)
    {
    case EBUSY:
    case ETXTBSY:
        return FileErrorKind::InUse;
    case EACCES:
    case EPERM:
        return FileErrorKind::AccessDenied;
    case EROFS:
        return FileErrorKind::WriteProtected;
    case ENOSPC:
    case EDQUOT:
        return FileErrorKind::NoSpace;
    default:
        return FileErrorKind::Other;
    }
}

QString SystemErrorMessage(int nCode)
{
    if (nCode == 0)
        return QString();
    char szBuffer[256] = {};
    // The GNU strerror_r returns its text, the XSI one fills the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    const char* pcszText = ::strerror_r(nCode, szBuffer, sizeof(szBuffer));
#else
    const char* pcszText = ::strerror_r(nCode, szBuffer, sizeof(szBuffer)) == 0 ? szBuffer : "";
#endif
    const QString strText = QString::fromLocal8Bit(pcszText != nullptr ? pcszText : "").trimmed();
    if (strText.isEmpty())
        return Text::tr("System error %1").arg(nCode);
    return Text::tr("%1 (error code: %2)").arg(strText).arg(nCode);
}

int AccessDeniedCode()
{
    return EACCES;
}

bool IsReadOnlyFile(const QString& strPath)
{
    struct stat st = {};
    if (::lstat(Native(strPath).constData(), &st) != 0)
        return false;
    return S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

bool IsSymbolicLink(const QString& strPath)
{
    struct stat st = {};
    return ::lstat(Native(strPath).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

NativeFile::~NativeFile()
{
    if (IsOpen())
        ::close(static_cast<int>(m_hFile));
}

bool NativeFile::CreateNew(const QString& strPath)
{
    // O_EXCL with O_NOFOLLOW: never opens an existing file or a link planted
    // under the temporary name.
    const int nFd =
        ::open(Native(strPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (nFd < 0)
    {
        m_nCode = errno;
        return false;
    }
    m_hFile = nFd;
    return true;
}

bool NativeFile::MatchMode(const QString& strReference, bool bExecutable)
{
    const int nFd = static_cast<int>(m_hFile);
    struct stat reference = {};
    if (!strReference.isEmpty() && ::stat(Native(strReference).constData(), &reference) == 0 &&
        S_ISREG(reference.st_mode))
    {
        if (::fchmod(nFd, reference.st_mode & 07777) == 0)
            return true;
        m_nCode = errno;
        return false;
    }
    if (!bExecutable)
        return true;
    struct stat own = {};
    if (::fstat(nFd, &own) != 0 || ::fchmod(nFd, (own.st_mode & 0777) | ((own.st_mode & 0444) >> 2)) != 0)
    {
        m_nCode = errno;
        return false;
    }
    return true;
}

bool NativeFile::WriteAll(const char* pData, qint64 nSize)
{
    const int nFd = static_cast<int>(m_hFile);
    while (nSize > 0)
    {
        const ssize_t nWritten = ::write(nFd, pData, static_cast<size_t>(qMin<qint64>(nSize, 1 << 30)));
        if (nWritten < 0)
        {
            if (errno == EINTR)
                continue;
            m_nCode = errno;
            return false;
        }
        if (nWritten == 0)
        {
            m_nCode = ENOSPC;
            return false;
        }
        pData += nWritten;
        nSize -= nWritten;
    }
    return true;
}

bool NativeFile::Sync()
{
    if (::fsync(static_cast<int>(m_hFile)) == 0)
        return true;
    m_nCode = errno;
    return false;
}

void NativeFile::StartWriteBack()
{
#if defined(__linux__)
    ::sync_file_range(static_cast<int>(m_hFile), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

bool NativeFile::Close()
{
    const int nFd = static_cast<int>(m_hFile);
    m_hFile = -1;
    if (::close(nFd) == 0)
        return true;
    m_nCode = errno;
    return false;
}

bool NativeFile::IsOpen() const
{
    return m_hFile >= 0;
}

bool ReplaceFile(const QString& strFrom, const QString& strTo, int* pnCode)
{
    // rename() would replace it silently; the read-only mark means "keep me".
    if (IsReadOnlyFile(strTo))
    {
        if (pnCode != nullptr)
            *pnCode = EACCES;
        return false;
    }
    if (std::rename(Native(strFrom).constData(), Native(strTo).constData()) != 0)
    {
        if (pnCode != nullptr)
            *pnCode = errno;
        return false;
    }
    return true;
}

bool RemoveFile(const QString& strPath)
{
    return ::unlink(Native(strPath).constData()) == 0;
}

bool SyncPath(const QString& strPath, bool bDirectory, int* pnCode)
{
    const int nFlags = (bDirectory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC | O_NOFOLLOW;
    const int nFd = ::open(Native(strPath).constData(), nFlags);
    if (nFd < 0)
    {
        if (pnCode != nullptr)
            *pnCode = errno;
        return false;
    }
    const bool bOk = ::fsync(nFd) == 0;
    if (!bOk && pnCode != nullptr)
        *pnCode = errno;
    ::close(nFd);
    return bOk;
}

bool SyncFileSystemOf(const QString& strPath, int* pnCode)
{
#if defined(__linux__)
    const int nFd = ::open(Native(strPath).constData(), O_RDONLY | O_CLOEXEC);
    if (nFd < 0)
    {
        if (pnCode != nullptr)
            *pnCode = errno;
        return false;
    }
    // One call flushes every dirty page of that file system; it reports write
    // errors since this descriptor was opened's file system last synced.
    const bool bOk = ::syncfs(nFd) == 0;
    if (!bOk && pnCode != nullptr)
        *pnCode = errno;
    ::close(nFd);
    return bOk;
#else
    Q_UNUSED(strPath);
    if (pnCode != nullptr)
        *pnCode = ENOSYS;
    return false;
#endif
}

} // namespace OrvelPlatform
