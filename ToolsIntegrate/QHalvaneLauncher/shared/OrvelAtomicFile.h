// Writes a file under a temporary name beside its target and moves it over the
// target on commit, so the target is always either wholly old or wholly new.
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
};

// Copies strSource over strTarget through an OrvelAtomicFile, in 64 KiB chunks.
bool OrvelCopyFileAtomic(const QString& strSource, const QString& strTarget, QString* pstrError);
