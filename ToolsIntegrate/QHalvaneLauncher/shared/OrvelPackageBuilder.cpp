#include "OrvelPackageBuilder.h"

#include "OrvelAtomicFile.h"
#include "OrvelFnv1a.h"
#include "OrvelPackageFormat.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QSet>

OrvelPackageBuilder::OrvelPackageBuilder(QObject* pParent) : QObject(pParent) {}

void OrvelPackageBuilder::addFile(const QString& strSourcePath, const QString& strRelativePath)
{
    OrvelPackageEntry entry;
    entry.strSourcePath = strSourcePath;
    entry.strRelativePath = strRelativePath;
    const QFileInfo info(strSourcePath);
    entry.uSize = info.exists() ? static_cast<quint64>(info.size()) : 0;
    m_vecEntries.append(entry);
}

void OrvelPackageBuilder::addMemoryFile(const QByteArray& data, const QString& strRelativePath)
{
    OrvelPackageEntry entry;
    entry.data = data;
    entry.strRelativePath = strRelativePath;
    entry.uSize = static_cast<quint64>(data.size());
    entry.bInMemory = true;
    m_vecEntries.append(entry);
}

void OrvelPackageBuilder::clear()
{
    m_vecEntries.clear();
}

bool OrvelPackageBuilder::fail(const QString& strError)
{
    m_strLastError = strError;
    return false;
}

bool OrvelPackageBuilder::build(const QString& strOutputPath, quint32 uContentVersion)
{
    if (m_vecEntries.isEmpty())
        return fail(tr("No files to package"));
    if (!checkPaths() || !hashEntries())
        return false;
    return writePackage(strOutputPath, uContentVersion);
}

bool OrvelPackageBuilder::checkPaths()
{
    // The reader refuses these, so a package holding one could never be applied.
    QSet<QString> setSeen;
    for (const OrvelPackageEntry& entry : qAsConst(m_vecEntries))
    {
        if (!OrvelPackageFormat::IsSafeRelativePath(entry.strRelativePath))
            return fail(tr("Cannot package unsafe relative path: %1").arg(entry.strRelativePath));
        const QString strKey = entry.strRelativePath.toLower();
        if (setSeen.contains(strKey))
            return fail(tr("Cannot package the same file twice: %1").arg(entry.strRelativePath));
        setSeen.insert(strKey);
    }
    return true;
}

bool OrvelPackageBuilder::hashEntries()
{
    QByteArray buffer(OrvelPackageFormat::kCopyChunkSize, Qt::Uninitialized);
    for (OrvelPackageEntry& entry : m_vecEntries)
    {
        if (entry.bInMemory)
        {
            entry.uSize = static_cast<quint64>(entry.data.size());
            entry.uHash = OrvelFnv1a::hash(entry.data);
            entry.sha256 = QCryptographicHash::hash(entry.data, QCryptographicHash::Sha256);
            continue;
        }
        if (!QFileInfo::exists(entry.strSourcePath))
            return fail(tr("Cannot package missing file: %1").arg(entry.strSourcePath));
        QFile file(entry.strSourcePath);
        if (!file.open(QIODevice::ReadOnly))
            return fail(tr("Cannot read file: %1").arg(entry.strSourcePath));
        OrvelFnv1a hasher;
        QCryptographicHash sha256(QCryptographicHash::Sha256);
        quint64 uHashed = 0;
        for (;;)
        {
            const qint64 nRead = file.read(buffer.data(), buffer.size());
            if (nRead < 0)
                return fail(tr("Failed to read file for hashing: %1").arg(entry.strSourcePath));
            if (nRead == 0)
                break;
            hasher.update(buffer.constData(), nRead);
            sha256.addData(buffer.constData(), static_cast<int>(nRead));
            uHashed += static_cast<quint64>(nRead);
        }
        // Size and hash describe the same bytes even if the file changed since addFile.
        entry.uSize = uHashed;
        entry.uHash = hasher.value();
        entry.sha256 = sha256.result();
    }
    return true;
}

bool OrvelPackageBuilder::writePackage(const QString& strOutputPath, quint32 uContentVersion)
{
    qint64 nTableSize = 0;
    qint64 nDataSize = 0;
    for (const OrvelPackageEntry& entry : qAsConst(m_vecEntries))
    {
        nTableSize += entry.strRelativePath.toUtf8().size() + OrvelPackageFormat::kEntryFixedSize;
        nDataSize += static_cast<qint64>(entry.uSize);
    }
    const qint64 nDataStart = OrvelPackageFormat::kHeaderSize + nTableSize;

    QByteArray head;
    {
        QDataStream stream(&head, QIODevice::WriteOnly);
        stream.setByteOrder(QDataStream::LittleEndian);
        stream.writeRawData(OrvelPackageFormat::kSignature, 4);
        stream << OrvelPackageFormat::kFormatVersion << static_cast<qint32>(uContentVersion)
               << static_cast<qint32>(m_vecEntries.size()) << (nDataStart + nDataSize);
        qint64 nOffset = nDataStart;
        for (const OrvelPackageEntry& entry : qAsConst(m_vecEntries))
        {
            const QByteArray path = entry.strRelativePath.toUtf8();
            stream << static_cast<qint16>(path.size());
            stream.writeRawData(path.constData(), path.size());
            stream << static_cast<qint64>(entry.uSize) << entry.uHash << nOffset;
            stream.writeRawData(entry.sha256.constData(), entry.sha256.size());
            nOffset += static_cast<qint64>(entry.uSize);
        }
    }

    // Written under a temporary name: a failed or interrupted build leaves no package.
    OrvelAtomicFile output(strOutputPath);
    if (!output.open())
        return fail(tr("Cannot create output file: %1").arg(strOutputPath));
    if (!output.write(head.constData(), head.size()))
        return fail(tr("Cannot create output file: %1").arg(strOutputPath));

    QByteArray buffer(OrvelPackageFormat::kCopyChunkSize, Qt::Uninitialized);
    for (const OrvelPackageEntry& entry : qAsConst(m_vecEntries))
    {
        if (entry.bInMemory)
        {
            if (!output.write(entry.data.constData(), entry.data.size()))
                return fail(
                    tr("Failed to write package data for in-memory file: %1").arg(entry.strRelativePath));
            continue;
        }
        QFile source(entry.strSourcePath);
        if (!source.open(QIODevice::ReadOnly))
            return fail(tr("Cannot read file: %1").arg(entry.strSourcePath));
        qint64 nRemaining = static_cast<qint64>(entry.uSize);
        while (nRemaining > 0)
        {
            const qint64 nChunk = qMin(nRemaining, OrvelPackageFormat::kCopyChunkSize);
            if (source.read(buffer.data(), nChunk) != nChunk)
                return fail(tr("Failed to read file: %1").arg(entry.strSourcePath));
            if (!output.write(buffer.constData(), nChunk))
                return fail(tr("Failed to write package data for file: %1").arg(entry.strSourcePath));
            nRemaining -= nChunk;
        }
    }
    if (!output.commit())
        return fail(tr("Cannot create output file: %1").arg(strOutputPath));
    return true;
}
