#include "LauncherHousekeeping.h"

#include "LauncherLog.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <mutex>
#include <thread>

namespace LauncherHousekeeping
{

int CleanCache(const QString& strCacheDir, LauncherLog& log)
{
    if (!QFileInfo(strCacheDir).isDir())
        return 0;

    const QDateTime dtCutOff = QDateTime::currentDateTime().addDays(-3);
    int nRemoved = 0;
    QDirIterator files(strCacheDir, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
    {
        files.next();
        if (files.fileInfo().lastModified() < dtCutOff && QFile::remove(files.filePath()))
            ++nRemoved;
    }

    QStringList vecDirs;
    QDirIterator dirs(strCacheDir, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (dirs.hasNext())
        vecDirs.append(dirs.next());
    // Deepest first, so a parent empties before its turn comes.
    std::stable_sort(vecDirs.begin(), vecDirs.end(),
                     [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& strDir : qAsConst(vecDirs))
        QDir().rmdir(strDir); // fails, as intended, while anything is left inside

    if (nRemoved > 0)
        log.write(QStringLiteral("Cache cleaner removed %1 expired file(s)").arg(nRemoved));
    return nRemoved;
}

int CleanLogs(const QString& strLogDir, LauncherLog& log)
{
    const QDir dir(strLogDir);
    if (!dir.exists())
        return 0;
    const QDate dtCutOff = QDate::currentDate().addDays(-13);
    int nRemoved = 0;
    const QStringList vecNames = dir.entryList(QStringList{QStringLiteral("*.log")}, QDir::Files);
    for (const QString& strName : vecNames)
    {
        // "<prefix>_" + 15 stamp characters + ".log"
        const int nPos = strName.size() - 19;
        if (nPos <= 0 || strName.at(nPos - 1) != QLatin1Char('_'))
            continue;
        const QDateTime dtStamp =
            QDateTime::fromString(strName.mid(nPos, 15), QStringLiteral("yyyyMMdd_HHmmss"));
        if (dtStamp.isValid() && dtStamp.date() < dtCutOff && QFile::remove(dir.filePath(strName)))
            ++nRemoved;
    }
    if (nRemoved > 0)
        log.write(QStringLiteral("Log cleaner removed %1 expired file(s)").arg(nRemoved));
    return nRemoved;
}

void StartOnce(const QString& strAppDir, LauncherLog& log)
{
    static std::once_flag s_once;
    std::call_once(s_once,
                   [strAppDir, &log]()
                   {
                       std::thread(
                           [strAppDir, &log]()
                           {
                               CleanCache(strAppDir + QStringLiteral("/_cache/ifse"), log);
                               CleanLogs(strAppDir + QStringLiteral("/_logs"), log);
                           })
                           .detach();
                   });
}

} // namespace LauncherHousekeeping
