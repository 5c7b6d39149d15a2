// Writes a file under a temporary name beside its target and moves it over the
// target on commit, so the target is always either wholly old or wholly new.
// The new file keeps the permissions of the file it replaces (an executable stays
// executable); a file that did not exist gets the permissions set for new files,
// else the process default.
#pragma once

#include <QFile>
#include <QString>

class OrvelAtomicFile
{
public:
    explicit OrvelAtomicFile(const QString& strTarget);
    // Removes the temporary file unless commit() succeeded.
    ~OrvelAtomicFile();

    OrvelAtomicFile(const OrvelAtomicFile&) = delete;
    OrvelAtomicFile& operator=(const OrvelAtomicFile&) = delete;

    // Permissions for the file when the target does not exist yet.
    void setNewFilePermissions(QFileDevice::Permissions permissions);
    // Permissions for the file whatever the target has (a copy takes its source's).
    void setPermissions(QFileDevice::Permissions permissions);

    // Creates the temporary file in the target's directory (which must exist).
    bool open();
    // Writes all bytes or fails.
    bool write(const char* pData, qint64 nSize);
    // Flushes the data to disk, then renames it over the target durably.
    bool commit();
    // Drops what was written; the target stays as it was.
    void discard();

    QString targetPath() const { return m_strTarget; }
    QString errorString() const { return m_strError; }

private:
    QString m_strTarget;
    QFile m_file;
    QString m_strError;
    bool m_bCommitted = false;
    bool m_bHasNewFilePermissions = false;
    bool m_bHasPermissions = false;
    QFileDevice::Permissions m_newFilePermissions;
    QFileDevice::Permissions m_permissions;
};

// The permission bits of a file as its mode holds them, without the "User"
// flags, which say what this process may do with it.
QFileDevice::Permissions OrvelFileMode(const QFileDevice::Permissions& permissions);

// The suffix every temporary file of OrvelAtomicFile ends with.
extern const char kOrvelTempSuffix[];
// Whether a file name is one of OrvelAtomicFile's temporary names; *puPid gets the
// id of the process that made it.
bool OrvelIsAtomicTempName(const QString& strFileName, quint32* puPid);

// Copies strSource over strTarget through an OrvelAtomicFile, in 64 KiB chunks.
// The copy gets the source's permissions.
bool OrvelCopyFileAtomic(const QString& strSource, const QString& strTarget, QString* pstrError);
