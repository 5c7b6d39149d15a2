// Reads and applies an update package (format in OrvelPackageFormat.h). Used by
// the updater. open() validates the whole header and table before any file can
// be extracted, so a broken package changes nothing. Not thread-safe.
#pragma once

#include "OrvelPackageFormat.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <QVector>

#include <memory>

class QDataStream;

class OrvelPackageReader : public QObject
{
    Q_OBJECT

public:
    explicit OrvelPackageReader(QObject* pParent = nullptr);
    ~OrvelPackageReader() override;

    // On false the reader is closed and lastError() says why.
    bool open(const QString& strPackagePath);
    // Releases the file and the table; keeps the last error text.
    void close();

    int fileCount() const { return m_vecFiles.size(); }
    OrvelPackageFileInfo fileInfo(int nIndex) const;
    qint32 contentVersion() const { return m_nContentVersion; }
    qint32 formatVersion() const { return m_nFormatVersion; }
    // Whether every entry carries the store's SHA-256 of its content (false only
    // for a version 1 package from an older launcher).
    bool hasContentHashes() const { return m_nFormatVersion >= OrvelPackageFormat::kFormatVersion; }
    qint64 totalSize() const { return m_nTotalSize; }

    // Whether every entry, written under strTargetDir, stays inside it once the
    // links among its existing directories are followed. On false lastError()
    // names the first entry that would leave it.
    bool checkTarget(const QString& strTargetDir);

    // Reads every entry and checks its content against its SHA-256 (when the
    // package carries them) and its FNV-1a. Meant to run before the first file
    // is replaced, so a package with one bad entry changes nothing. On false
    // lastError() names the first entry that differs.
    bool verifyContents();

    // Writes entry nIndex under strTargetDir through a temporary file that
    // replaces the destination only when its hashes match. A replaced file keeps
    // its permissions; a new launcher, updater or library is made executable. On
    // false the destination is unchanged.
    bool extractFile(int nIndex, const QString& strTargetDir);
    QString lastError() const { return m_strLastError; }

private:
    bool fail(const QString& strError);
    bool readHeader(QDataStream& stream, qint32* pnFileCount);
    bool readTable(QDataStream& stream, qint32 nFileCount);
    bool checkTable();

    std::unique_ptr<QFile> m_pFile;
    qint32 m_nContentVersion = 0;
    qint32 m_nFormatVersion = 0;
    qint32 m_nFileCount = 0;
    qint64 m_nTotalSize = 0;
    QVector<OrvelPackageFileInfo> m_vecFiles;
    QString m_strLastError;
};
