// Writes an update package (format in OrvelPackageFormat.h). Used by the launcher
// right before it starts the updater. Not thread-safe; one builder per package.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>

struct OrvelPackageEntry
{
    QString strSourcePath;   // file on disk; empty for in-memory entries
    QByteArray data;         // bytes of an in-memory entry
    QString strRelativePath; // path written into the file table
    quint64 uSize = 0;
    quint64 uHash = 0;
    QByteArray sha256;
    bool bInMemory = false;
};

class OrvelPackageBuilder : public QObject
{
    Q_OBJECT

public:
    explicit OrvelPackageBuilder(QObject* pParent = nullptr);

    // Queues a file on disk; its size and hash are taken by build().
    void addFile(const QString& strSourcePath, const QString& strRelativePath);
    // Queues bytes held in memory until the builder is destroyed or cleared. The
    // launcher passes what it read through the library, so the SHA-256 written
    // for the entry is the one the store's manifest holds.
    void addMemoryFile(const QByteArray& data, const QString& strRelativePath);
    // Hashes every entry, then writes the package. The output appears under its
    // name only when complete; on false nothing is left behind and lastError()
    // says why.
    bool build(const QString& strOutputPath, quint32 uContentVersion);
    QString lastError() const { return m_strLastError; }
    void clear();

private:
    bool fail(const QString& strError);
    bool checkPaths();
    bool hashEntries();
    bool writePackage(const QString& strOutputPath, quint32 uContentVersion);

    QVector<OrvelPackageEntry> m_vecEntries;
    QString m_strLastError;
};
