// The file operations of the working path that depend on the OS, reporting
// the system's error code so that messages can say what went wrong (in use,
// access denied, write-protected). Error codes are errno values on POSIX and
// Windows error codes on Windows; callers only pass them back to this layer.
#pragma once

#include <QString>
#include <QtGlobal>

namespace OrvelPlatform
{

enum class FileErrorKind
{
    Other,
    InUse,          // EBUSY, ETXTBSY / sharing and lock violations
    AccessDenied,   // EACCES, EPERM / access denied
    WriteProtected, // EROFS / write-protected medium
    NoSpace,        // ENOSPC, EDQUOT / disk full
};

FileErrorKind ClassifyFileError(int nCode);
// The system's text for the code as "<text> (error code: <code>)"; empty for 0.
QString SystemErrorMessage(int nCode);
// The code an access-denied failure carries on this system.
int AccessDeniedCode();

// A regular file that carries the read-only mark (no write permission for its
// owner here; the read-only attribute on Windows). Does not follow links.
bool IsReadOnlyFile(const QString& strPath);
// True for a symbolic link (or any reparse point on Windows); never follows it.
bool IsSymbolicLink(const QString& strPath);

// A file being written. Move-only; the destructor closes an open handle.
class NativeFile
{
public:
    NativeFile() = default;
    ~NativeFile();
    NativeFile(const NativeFile&) = delete;
    NativeFile& operator=(const NativeFile&) = delete;

    // Creates strPath, which must not exist yet.
    bool CreateNew(const QString& strPath);
    // Gives the new file the permissions of strReference when that is a
    // regular file (a replaced program stays executable); otherwise, with
    // bExecutable, makes it executable wherever it is readable. Windows has no
    // such bits: true.
    bool MatchMode(const QString& strReference, bool bExecutable);
    bool WriteAll(const char* pData, qint64 nSize);
    // The data on the disk.
    bool Sync();
    // Asks the system to start writing the data out without waiting for it,
    // so that a later flush of many files has little left to wait for.
    void StartWriteBack();
    bool Close();
    bool IsOpen() const;
    int ErrorCode() const { return m_nCode; }

private:
    qintptr m_hFile = -1;
    int m_nCode = 0;
};

// Moves strFrom over strTo in one step, replacing a target that exists. A
// read-only target is not replaced (fails with AccessDeniedCode()), as on
// Windows. Not flushed: see SyncPath. *pnCode receives the failure's code.
bool ReplaceFile(const QString& strFrom, const QString& strTo, int* pnCode);
bool RemoveFile(const QString& strPath);

// Makes a file's data, or a directory's entries, durable.
bool SyncPath(const QString& strPath, bool bDirectory, int* pnCode);
// Makes everything written to the file system that holds strPath durable in
// one call where the system offers it; false when it does not (callers then
// sync path by path).
bool SyncFileSystemOf(const QString& strPath, int* pnCode);

} // namespace OrvelPlatform
