#include "OrvelUpdaterBackup.h"

#include "OrvelAtomicFile.h"
#include "platform/OrvelFileSync.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

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
} // namespace

bool backupFile(const QString& strTargetDir, const QString& strRelativePath, const QString& strBackupDir)
{
    const QString strSource = strTargetDir + QLatin1Char('/') + strRelativePath;
    if (!QFileInfo::exists(strSource))
        return true;
    const QString strDestination = strBackupDir + QLatin1Char('/') + strRelativePath;
    if (!EnsureParentDir(strDestination))
        return false;
    if (!OrvelCopyFileAtomic(strSource, strDestination, nullptr))
        return false;
    FlushDirectoryChain(strDestination, strTargetDir);
    return true;
}

bool restoreBackup(const QString& strBackupDir, const QString& strTargetDir)
{
    const QDir backup(strBackupDir);
    if (!backup.exists())
        return true;
    QDirIterator files(strBackupDir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext())
    {
        const QString strBackupFile = files.next();
        // Left over by a copy that was interrupted: never a backed-up file.
        if (strBackupFile.endsWith(QLatin1String(".orveltmp")))
            continue;
        const QString strTarget = strTargetDir + QLatin1Char('/') + backup.relativeFilePath(strBackupFile);
        if (!EnsureParentDir(strTarget))
            return false;
        // Atomic, so an interrupted rollback never leaves a file missing or cut short.
        if (!OrvelCopyFileAtomic(strBackupFile, strTarget, nullptr))
            return false;
    }
    return true;
}

} // namespace OrvelUpdaterBackup
