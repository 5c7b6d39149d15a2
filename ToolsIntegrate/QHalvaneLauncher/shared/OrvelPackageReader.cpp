#include "OrvelPackageReader.h"

#include "OrvelAtomicFile.h"
#include "OrvelFnv1a.h"
#include "OrvelPathGuard.h"
#include "platform/OrvelPlatformNames.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <cstring>

OrvelPackageReader::OrvelPackageReader(QObject* pParent) : QObject(pParent) {}

OrvelPackageReader::~OrvelPackageReader() = default;

bool OrvelPackageReader::fail(const QString& strError)
{
    m_strLastError = strError;
    return false;
}

void OrvelPackageReader::close()
{
    m_pFile.reset();
    m_vecFiles.clear();
    m_nContentVersion = 0;
    m_nFormatVersion = 0;
    m_nFileCount = 0;
    m_nTotalSize = 0;
}

OrvelPackageFileInfo OrvelPackageReader::fileInfo(int nIndex) const
{
    if (nIndex < 0 || nIndex >= m_vecFiles.size())
        return OrvelPackageFileInfo();
    return m_vecFiles.at(nIndex);
}

bool OrvelPackageReader::open(const QString& strPackagePath)
{
    close();
    auto pFile = std::make_unique<QFile>(strPackagePath);
    if (!pFile->open(QIODevice::ReadOnly))
        return fail(tr("Cannot open update package: %1").arg(strPackagePath));
    m_pFile = std::move(pFile);

    QDataStream stream(m_pFile.get());
    stream.setByteOrder(QDataStream::LittleEndian);
    qint32 nFileCount = 0;
    if (!readHeader(stream, &nFileCount) || !readTable(stream, nFileCount) || !checkTable())
    {
        close();
        return false;
    }
    m_nFileCount = nFileCount;
    return true;
}

bool OrvelPackageReader::readHeader(QDataStream& stream, qint32* pnFileCount)
{
    char szSignature[4];
    if (stream.readRawData(szSignature, 4) != 4)
        return fail(tr("Cannot read package signature"));
    if (std::memcmp(szSignature, OrvelPackageFormat::kSignature, 4) != 0)
        return fail(tr("Invalid update package signature"));
    qint32 nVersion = 0;
    stream >> nVersion;
    if (nVersion != OrvelPackageFormat::kFormatVersion &&
        nVersion != OrvelPackageFormat::kFormatVersionWithoutSha256)
        return fail(tr("Unsupported package version: %1").arg(nVersion));
    m_nFormatVersion = nVersion;
    qint64 nTotalSize = 0;
    stream >> m_nContentVersion >> *pnFileCount >> nTotalSize;
    if (stream.status() != QDataStream::Ok || nTotalSize == 0 || nTotalSize != m_pFile->size())
        return fail(tr("Update package size verification failed"));
    m_nTotalSize = nTotalSize;
    return true;
}

bool OrvelPackageReader::readTable(QDataStream& stream, qint32 nFileCount)
{
    QSet<QString> setSeen;
    while (!stream.atEnd() && m_vecFiles.size() < nFileCount)
    {
        qint16 nPathBytes = 0;
        stream >> nPathBytes;
        if (stream.status() != QDataStream::Ok || nPathBytes < 0)
            return fail(tr("Cannot read file path"));
        QByteArray path(nPathBytes, Qt::Uninitialized);
        if (stream.readRawData(path.data(), nPathBytes) != nPathBytes)
            return fail(tr("Cannot read file path"));

        OrvelPackageFileInfo info;
        info.strRelativePath = QString::fromUtf8(path.constData(), path.size());
        stream >> info.nSize >> info.uHash >> info.nOffset;
        if (hasContentHashes())
        {
            info.sha256.resize(OrvelPackageFormat::kSha256Size);
            if (stream.readRawData(info.sha256.data(), info.sha256.size()) != info.sha256.size())
                stream.setStatus(QDataStream::ReadPastEnd);
        }
        if (stream.status() != QDataStream::Ok)
            return fail(tr("Update package file table is truncated at: %1").arg(info.strRelativePath));
        // Checked before anything is extracted: no entry may reach outside the target.
        if (!OrvelPackageFormat::IsSafeRelativePath(info.strRelativePath))
            return fail(
                tr("Update package file path is not a safe relative path: %1").arg(info.strRelativePath));
        // A second copy would overwrite the backup of the first and break a rollback.
        const QString strKey = info.strRelativePath.toLower();
        if (setSeen.contains(strKey))
            return fail(tr("Update package holds the same file twice: %1").arg(info.strRelativePath));
        setSeen.insert(strKey);
        m_vecFiles.append(info);
    }
    if (m_vecFiles.size() != nFileCount)
        return fail(tr("Update package file count mismatch: expected %1, actual %2")
                        .arg(nFileCount)
                        .arg(m_vecFiles.size()));
    return true;
}

bool OrvelPackageReader::checkTable()
{
    for (int i = 0; i < m_vecFiles.size(); ++i)
    {
        const OrvelPackageFileInfo& info = m_vecFiles.at(i);
        // Written so that offset + size cannot overflow.
        if (info.nSize < 0 || info.nOffset < OrvelPackageFormat::kHeaderSize ||
            info.nOffset > m_nTotalSize - info.nSize)
            return fail(tr("Update package file offset out of range: %1").arg(info.strRelativePath));
        if (i + 1 < m_vecFiles.size() && info.nOffset > m_vecFiles.at(i + 1).nOffset)
            return fail(tr("Update package file offsets are not ordered: %1").arg(info.strRelativePath));
    }
    return true;
}

bool OrvelPackageReader::checkTarget(const QString& strTargetDir)
{
    for (const OrvelPackageFileInfo& info : qAsConst(m_vecFiles))
    {
        if (!OrvelResolvesInside(strTargetDir, info.strRelativePath))
            return fail(tr("Update package file would be written outside the target directory: %1")
                            .arg(info.strRelativePath));
    }
    return true;
}

bool OrvelPackageReader::verifyContents()
{
    if (!m_pFile)
        return fail(tr("Update package is not open"));
    QByteArray buffer(OrvelPackageFormat::kCopyChunkSize, Qt::Uninitialized);
    for (const OrvelPackageFileInfo& info : qAsConst(m_vecFiles))
    {
        if (!m_pFile->seek(info.nOffset))
            return fail(tr("Cannot seek to file data: %1").arg(info.strRelativePath));
        OrvelFnv1a hasher;
        QCryptographicHash sha256(QCryptographicHash::Sha256);
        qint64 nRemaining = info.nSize;
        while (nRemaining > 0)
        {
            const qint64 nChunk = qMin(nRemaining, OrvelPackageFormat::kCopyChunkSize);
            if (m_pFile->read(buffer.data(), nChunk) != nChunk)
                return fail(tr("Failed to read file data: %1").arg(info.strRelativePath));
            hasher.update(buffer.constData(), nChunk);
            sha256.addData(buffer.constData(), static_cast<int>(nChunk));
            nRemaining -= nChunk;
        }
        // The SHA-256 first: an edit that rewrote the FNV as well is named for what it is.
        if (hasContentHashes() && sha256.result() != info.sha256)
            return fail(
                tr("Update package content does not match its SHA-256: %1").arg(info.strRelativePath));
        if (hasher.value() != info.uHash)
            return fail(tr("Update package hash mismatch: %1").arg(info.strRelativePath));
    }
    return true;
}

bool OrvelPackageReader::extractFile(int nIndex, const QString& strTargetDir)
{
    if (!m_pFile || nIndex < 0 || nIndex >= m_vecFiles.size())
        return fail(tr("Invalid file index"));
    const OrvelPackageFileInfo& info = m_vecFiles.at(nIndex);
    const QString strDestination = strTargetDir + QLatin1Char('/') + info.strRelativePath;
    // Checked again here: a link may have appeared since the package was opened.
    if (!OrvelResolvesInside(strTargetDir, info.strRelativePath))
        return fail(tr("Update package file would be written outside the target directory: %1")
                        .arg(info.strRelativePath));

    const QFileInfo destination(strDestination);
    const QString strDir = destination.absolutePath();
    if (!QDir(strDir).exists() && !QDir().mkpath(strDir))
        return fail(tr("Cannot create directory: %1").arg(strDir));
    if (!m_pFile->seek(info.nOffset))
        return fail(tr("Cannot seek to file data: %1").arg(info.strRelativePath));

    OrvelAtomicFile output(strDestination);
    if (OrvelPlatform::NeedsExecutableMode(info.strRelativePath))
        output.setNewFilePermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                     QFileDevice::ExeOwner | QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                                     QFileDevice::ReadOther | QFileDevice::ExeOther);
    if (!output.open())
        return fail(tr("Cannot create file: %1").arg(strDestination));

    QByteArray buffer(OrvelPackageFormat::kCopyChunkSize, Qt::Uninitialized);
    OrvelFnv1a hasher;
    QCryptographicHash sha256(QCryptographicHash::Sha256);
    qint64 nRemaining = info.nSize;
    while (nRemaining > 0)
    {
        const qint64 nChunk = qMin(nRemaining, OrvelPackageFormat::kCopyChunkSize);
        if (m_pFile->read(buffer.data(), nChunk) != nChunk)
            return fail(tr("Failed to read file data: %1").arg(info.strRelativePath));
        if (!output.write(buffer.constData(), nChunk))
            return fail(tr("Failed to write target file: %1").arg(strDestination));
        hasher.update(buffer.constData(), nChunk);
        sha256.addData(buffer.constData(), static_cast<int>(nChunk));
        nRemaining -= nChunk;
    }
    // Checked before the rename, so a corrupt entry never replaces a good file;
    // again here because the package file may have changed since verifyContents.
    if (hasher.value() != info.uHash)
        return fail(tr("Update package hash mismatch: %1").arg(info.strRelativePath));
    if (hasContentHashes() && sha256.result() != info.sha256)
        return fail(tr("Update package content does not match its SHA-256: %1").arg(info.strRelativePath));
    if (!output.commit())
        return fail(tr("Failed to write target file: %1").arg(strDestination));
    return true;
}
