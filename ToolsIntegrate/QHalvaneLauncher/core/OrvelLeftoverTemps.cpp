#include "OrvelLeftoverTemps.h"

#include "OrvelAtomicFile.h"
#include "platform/OrvelProcess.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace OrvelLeftoverTemps
{

QStringList Remove(const QString& strRoot)
{
    QStringList vecRemoved;
    if (strRoot.isEmpty() || !QFileInfo(strRoot).isDir())
        return vecRemoved;
    const quint32 uOwnPid = static_cast<quint32>(QCoreApplication::applicationPid());
    QDirIterator files(strRoot, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (files.hasNext())
    {
        const QString strPath = files.next();
        quint32 uPid = 0;
        if (!OrvelIsAtomicTempName(files.fileName(), &uPid) || files.fileInfo().isSymLink())
            continue;
        // A second launcher writing the same tree is still using its own.
        if (uPid != uOwnPid && OrvelPlatform::IsProcessRunning(uPid))
            continue;
        if (QFile::remove(strPath))
            vecRemoved.append(strPath);
    }
    return vecRemoved;
}

} // namespace OrvelLeftoverTemps
