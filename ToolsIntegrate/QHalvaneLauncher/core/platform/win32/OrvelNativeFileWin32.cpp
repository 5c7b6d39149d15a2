#include "platform/OrvelNativeFile.h"

#include <QCoreApplication>
#include <windows.h>

namespace OrvelPlatform
{

namespace
{

// The system's own text comes in its language; ours follows the launcher's.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelNativeFile)
};

const wchar_t* Wide(const QString& strPath)
{
    return reinterpret_cast<const wchar_t*>(strPath.utf16());
}

} // namespace

FileErrorKind ClassifyFileError(int nCode)
{
    switch (nCode)
    {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return FileErrorKind::InUse;
    case ERROR_ACCESS_DENIED:
        return FileErrorKind::AccessDenied;
    case ERROR_WRITE_PROTECT:
        return FileErrorKind::WriteProtected;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return FileErrorKind::NoSpace;
    default:
        return FileErrorKind::Other;
    }
}

QString SystemErrorMessage(int nCode)
{
    if (nCode == 0)
        return QString();
    wchar_t* pszBuffer = nullptr;
    const DWORD uLength = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(nCode), 0, reinterpret_cast<wchar_t*>(&pszBuffer), 0, nullptr);
    QString strText;
    if (uLength > 0 && pszBuffer != nullptr)
        strText = QString::fromWCharArray(pszBuffer, static_cast<int>(uLength)).trimmed();
    if (pszBuffer != nullptr)
        ::LocalFree(pszBuffer);
    if (strText.isEmpty())
        return Text::tr("Windows error %1").arg(nCode);
    return Text::tr("%1 (error code: %2)").arg(strText).arg(nCode);
}

int AccessDeniedCode()
{
    return ERROR_ACCESS_DENIED;
}

bool IsReadOnlyFile(const QString& strPath)
{
    const DWORD uAttributes = ::GetFileAttributesW(Wide(strPath));
    return uAttributes != INVALID_FILE_ATTRIBUTES && (uAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (uAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool IsSymbolicLink(const QString& strPath)
{
    const DWORD uAttributes = ::GetFileAttributesW(Wide(strPath));
    return uAttributes != INVALID_FILE_ATTRIBUTES && (uAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

NativeFile::~NativeFile()
{
    if (IsOpen())
        ::CloseHandle(reinterpret_cast<HANDLE>(m_hFile));
}

bool NativeFile::CreateNew(const QString& strPath)
{
    HANDLE hFile = ::CreateFileW(Wide(strPath), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        m_nCode = static_cast<int>(::GetLastError());
        return false;
    }
    m_hFile = reinterpret_cast<qintptr>(hFile);
    return true;
}

bool NativeFile::MatchMode(const QString&, bool)
{
    return true;
}

bool NativeFile::WriteAll(const char* pData, qint64 nSize)
{
    while (nSize > 0)
    {
        DWORD uWritten = 0;
        const DWORD uChunk = static_cast<DWORD>(qMin<qint64>(nSize, 1 << 30));
        if (!::WriteFile(reinterpret_cast<HANDLE>(m_hFile), pData, uChunk, &uWritten, nullptr) ||
            uWritten == 0)
        {
            m_nCode = static_cast<int>(::GetLastError());
            return false;
        }
        pData += uWritten;
        nSize -= uWritten;
    }
    return true;
}

bool NativeFile::Sync()
{
    if (::FlushFileBuffers(reinterpret_cast<HANDLE>(m_hFile)))
        return true;
    m_nCode = static_cast<int>(::GetLastError());
    return false;
}

// Windows has no asynchronous flush of one file; the batch's flush does it all.
void NativeFile::StartWriteBack() {}

bool NativeFile::Close()
{
    HANDLE hFile = reinterpret_cast<HANDLE>(m_hFile);
    m_hFile = -1;
    if (::CloseHandle(hFile))
        return true;
    m_nCode = static_cast<int>(::GetLastError());
    return false;
}

bool NativeFile::IsOpen() const
{
    return m_hFile != -1;
}

bool ReplaceFile(const QString& strFrom, const QString& strTo, int* pnCode)
{
    if (::MoveFileExW(Wide(strFrom), Wide(strTo), MOVEFILE_REPLACE_EXISTING))
        return true;
    if (pnCode != nullptr)
        *pnCode = static_cast<int>(::GetLastError());
    return false;
}

bool RemoveFile(const QString& strPath)
{
    return ::DeleteFileW(Wide(strPath)) != 0;
}

bool SyncPath(const QString& strPath, bool bDirectory, int* pnCode)
{
    const DWORD uFlags = bDirectory ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL;
    HANDLE hFile =
        ::CreateFileW(Wide(strPath), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, uFlags, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        // Directories cannot always be opened for flushing; NTFS journals their entries.
        if (bDirectory)
            return true;
        if (pnCode != nullptr)
            *pnCode = static_cast<int>(::GetLastError());
        return false;
    }
    const bool bOk = ::FlushFileBuffers(hFile) != 0;
    if (!bOk && pnCode != nullptr)
        *pnCode = static_cast<int>(::GetLastError());
    ::CloseHandle(hFile);
    return bOk || bDirectory;
}

bool SyncFileSystemOf(const QString& strPath, int* pnCode)
{
    Q_UNUSED(strPath);
    if (pnCode != nullptr)
        *pnCode = ERROR_NOT_SUPPORTED;
    return false;
}

} // namespace OrvelPlatform
