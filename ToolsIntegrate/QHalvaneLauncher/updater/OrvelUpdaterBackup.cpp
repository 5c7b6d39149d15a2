#include "OrvelUpdaterBackup.h"

#include "OrvelAtomicFile.h"
#include "platform/OrvelFileSync.h"
#include "platform/OrvelProcess.h"

#include <QCoreApplication>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cstring>

namespace OrvelUpdaterBackup
{

namespace
{
bool EnsureParentDir(const QString& strFilePath)
{
    const QString strDir = QFileInfo(strFilePath).absolutePath();
    return QDir(strDir).exists() || QDir().mkpath(strDir);
}

// Syncs each directory from the file's own up to and including strTopDir, so the
// names created on the way (".bak" and its subdirectories) survive a crash too.
void FlushDirectoryChain(const QString& strFilePath, const QString& strTopDir)
{
    const QString strTop = QDir::cleanPath(QFileInfo(strTopDir).absoluteFilePath());
    QString strDir = QFileInfo(strFilePath).absolutePath();
    while (strDir.startsWith(strTop))
    {
        OrvelPlatform::FlushDirectory(strDir);
        if (strDir.size() <= strTop.size())
            break;
        strDir = QFileInfo(strDir).absolutePath();
    }
}
bool SameContent(const QString& strA, const QString& strB)
{
    QFile a(strA);
    QFile b(strB);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.size() != b.size())
        return false;
    if (OrvelFileMode(QFileInfo(strA).permissions()) != OrvelFileMode(QFileInfo(strB).permissions()))
        return false;
    QByteArray bufferA(65536, Qt::Uninitialized);
    QByteArray bufferB(65536, Qt::Uninitialized);
    for (;;)
    {
        const qint64 nA = a.read(bufferA.data(), bufferA.size());
        const qint64 nB = b.read(bufferB.data(), bufferB.size());
        if (nA != nB || nA < 0)
            return false;
        if (nA == 0)
            return true;
        if (std::memcmp(bufferA.constData(), bufferB.constData(), static_cast<size_t>(nA)) != 0)
            return false;
    }
}
} // namespace

bool backupFile(const QString& strTargetDir, const QString& strRelativePath, const QString& strBackupDir)
{
    const QString strSource = strTargetDir + QLatin1Char('/') + strRelativePath;
    if (!QFileInfo::exists(strSource))
        return true;
    const QString strDestination = strBackupDir + QLatin1Char('/') + strRelativePath;
    // Backups are written atomically, so one under its final name is whole.
    // Copying again would put the already replaced new file over it.
    if (QFileInfo(strDestination).isFile())
        return true;
    if (!EnsureParentDir(strDestination))
        return false;
    if (!OrvelCopyFileAtomic(strSource, strDestination, nullptr))
        return false;
    FlushDirectoryChain(strDestination, strTargetDir);
    return true;
}

bool restoreBackup(const QString& strBackupDir, const QString& strTargetDir, QStringList* pvecFailed)
{
    const QDir backup(strBackupDir);
    if (!backup.exists())
        return true;
    bool bAll = true;
    QDirIterator files(strBackupDir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext())
    {
        const QString strBackupFile = files.next();
        // Left over by a copy that was interrupted: never a backed-up file.
        if (OrvelIsAtomicTempName(files.fileName(), nullptr))
            continue;
        const QString strRelative = backup.relativeFilePath(strBackupFile);
        const QString strTarget = strTargetDir + QLatin1Char('/') + strRelative;
        // Not replaced yet (or its replacement is what failed): nothing to undo.
        if (SameContent(strBackupFile, strTarget))
            continue;
        // Atomic, so an interrupted rollback never leaves a file missing or cut
        // short. One file that cannot be restored must not leave the rest new.
        if (!EnsureParentDir(strTarget) || !OrvelCopyFileAtomic(strBackupFile, strTarget, nullptr))
        {
            bAll = false;
            if (pvecFailed != nullptr)
                pvecFailed->append(strRelative);
        }
    }
    return bAll;
}

namespace
{
void RemoveTempsIn(const QString& strDir, QDirIterator::IteratorFlags flags, QStringList* pvecRemoved)
{
    const quint32 uOwnPid = static_cast<quint32>(QCoreApplication::applicationPid());
    QDirIterator files(strDir, QDir::Files | QDir::Hidden | QDir::System, flags);
    while (files.hasNext())
    {
        const QString strPath = files.next();
        quint32 uPid = 0;
        if (!OrvelIsAtomicTempName(files.fileName(), &uPid) || files.fileInfo().isSymLink())
            continue;
        // Another live writer (a second updater) may still be using it.
        if (uPid != uOwnPid && OrvelPlatform::IsProcessRunning(uPid))
            continue;
        if (QFile::remove(strPath))
            pvecRemoved->append(strPath);
    }
}
} // namespace

QStringList removeLeftoverTemps(const QString& strTargetDir, const QStringList& vecRelativeDirs,
                                const QString& strBackupDir)
{
    QStringList vecRemoved;
    QSet<QString> setSeen;
    for (const QString& strRelative : vecRelativeDirs)
    {
        const QString strDir = QDir::cleanPath(strTargetDir + QLatin1Char('/') + strRelative);
        if (setSeen.contains(strDir))
            continue;
        setSeen.insert(strDir);
        RemoveTempsIn(strDir, QDirIterator::NoIteratorFlags, &vecRemoved);
    }
    if (QFileInfo(strBackupDir).isDir() && !QFileInfo(strBackupDir).isSymLink())
        RemoveTempsIn(strBackupDir, QDirIterator::Subdirectories, &vecRemoved);
    return vecRemoved;
}

} // namespace OrvelUpdaterBackup
