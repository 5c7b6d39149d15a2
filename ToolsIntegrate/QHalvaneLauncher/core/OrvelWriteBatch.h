// Durability for many files written into one tree, without a flush per file.
// Writers record each file they renamed into place (and so its directory);
// Flush makes all of them durable in one pass before a record may claim the
// version. Thread-safe: pool threads record, the worker flushes.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <mutex>

class OrvelWriteBatch
{
public:
    // strRoot: the tree the files are written into (the working path).
    explicit OrvelWriteBatch(const QString& strRoot);

    OrvelWriteBatch(const OrvelWriteBatch&) = delete;
    OrvelWriteBatch& operator=(const OrvelWriteBatch&) = delete;

    // A file now in place under its final name; its directory is recorded too.
    void AddFile(const QString& strPath);
    // A name removed from (or created in) a directory.
    void AddDirectory(const QString& strDir);
    int PendingFiles() const;

    // Makes every recorded file's data and every recorded directory's entries
    // durable, then forgets them. False with the first failure in *pstrError;
    // the records stay so that a second call retries.
    bool Flush(QString* pstrError);

private:
    QString m_strRoot;
    mutable std::mutex m_mutex;
    QSet<QString> m_setFiles;
    QSet<QString> m_setDirs;
};
