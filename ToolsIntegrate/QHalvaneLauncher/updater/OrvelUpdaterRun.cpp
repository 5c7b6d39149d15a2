#include "OrvelUpdaterRun.h"

#include "OrvelAtomicFile.h"
#include "OrvelPackageReader.h"
#include "platform/OrvelFileSync.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace OrvelUpdaterRun
{

QString packageIdentity(const OrvelPackageReader& reader)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::number(reader.contentVersion()));
    for (int i = 0; i < reader.fileCount(); ++i)
    {
        const OrvelPackageFileInfo info = reader.fileInfo(i);
        hash.addData(QByteArray(1, '\n'));
        hash.addData(info.strRelativePath.toUtf8());
        hash.addData(QByteArray(1, '\0'));
        hash.addData(QByteArray::number(info.nSize) + ' ' + QByteArray::number(info.uHash, 16));
    }
    return QStringLiteral("v%1 %2")
        .arg(reader.contentVersion())
        .arg(QString::fromLatin1(hash.result().toHex()));
}

QString markerPath(const QString& strBackupDir)
{
    return QDir::cleanPath(strBackupDir) + QStringLiteral(".run");
}

namespace
{
QString ReadMarker(const QString& strPath)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll()).trimmed();
}

bool WriteMarker(const QString& strPath, const QString& strIdentity)
{
    OrvelAtomicFile file(strPath);
    const QByteArray data = strIdentity.toUtf8() + '\n';
    return file.open() && file.write(data.constData(), data.size()) && file.commit();
}
} // namespace

Start begin(const QString& strBackupDir, const QString& strIdentity)
{
    const QString strMarker = markerPath(strBackupDir);
    const bool bHadBackups = QFileInfo::exists(strBackupDir) || QFileInfo(strBackupDir).isSymLink();
    if (ReadMarker(strMarker) == strIdentity)
        return QDir().mkpath(strBackupDir) ? Start::Resumed : Start::Failed;

    // Restoring another run's copies would put files back that this package
    // never touched: they are dropped before anything of this run is written.
    QFile::remove(strMarker);
    if (QFileInfo(strBackupDir).isSymLink() ? !QFile::remove(strBackupDir)
                                            : !QDir(strBackupDir).removeRecursively())
        return Start::Failed;
    if (!WriteMarker(strMarker, strIdentity) || !QDir().mkpath(strBackupDir))
        return Start::Failed;
    OrvelPlatform::FlushDirectory(QFileInfo(strMarker).absolutePath());
    return bHadBackups ? Start::Cleared : Start::Fresh;
}

void finish(const QString& strBackupDir)
{
    QFile::remove(markerPath(strBackupDir));
    OrvelPlatform::FlushDirectory(QFileInfo(markerPath(strBackupDir)).absolutePath());
    if (QFileInfo(strBackupDir).isSymLink())
        QFile::remove(strBackupDir);
    else
        QDir(strBackupDir).removeRecursively();
}

} // namespace OrvelUpdaterRun
