#include "OrvelLeftoverTemps.h"

#include "OrvelAtomicFile.h"
#include "platform/OrvelProcess.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace OrvelLeftoverTemps
{

namespace
{

QStringList RemoveMatching(const QString& strDir, const QString& strPrefix, QDirIterator::IteratorFlags flags)
{
    QStringList vecRemoved;
    if (strDir.isEmpty() || !QFileInfo(strDir).isDir())
        return vecRemoved;
    const quint32 uOwnPid = static_cast<quint32>(QCoreApplication::applicationPid());
    QDirIterator files(strDir, QDir::Files | QDir::Hidden | QDir::System, flags);
    while (files.hasNext())
    {
        const QString strPath = files.next();
        quint32 uPid = 0;
        if (!files.fileName().startsWith(strPrefix) || !OrvelIsAtomicTempName(files.fileName(), &uPid) ||
            files.fileInfo().isSymLink())
            continue;
        // A second launcher writing the same tree is still using its own.
        if (uPid != uOwnPid && OrvelPlatform::IsProcessRunning(uPid))
            continue;
        if (QFile::remove(strPath))
            vecRemoved.append(strPath);
    }
    return vecRemoved;
}

} // namespace

QStringList Remove(const QString& strRoot)
{
    return RemoveMatching(strRoot, QStringLiteral("."), QDirIterator::Subdirectories);
}

QStringList RemoveBeside(const QString& strTarget)
{
    const QFileInfo target(strTarget);
    return RemoveMatching(target.absolutePath(), QLatin1Char('.') + target.fileName() + QLatin1Char('.'),
                          QDirIterator::NoIteratorFlags);
}

} // namespace OrvelLeftoverTemps
