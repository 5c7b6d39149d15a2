// Deletes expired store cache files and old run logs, once per run, on a
// detached thread so that start-up does not wait for the disk.
#pragma once

#include <QString>

class LauncherLog;

namespace LauncherHousekeeping
{

// Deletes regular files below strCacheDir last modified more than 3 days ago,
// then the directories left empty. Returns the number of files deleted and logs
// it when not 0.
int CleanCache(const QString& strCacheDir, LauncherLog& log);

// Deletes "<any prefix>_<yyyyMMdd_HHmmss>.log" files in strLogDir dated more
// than 13 days before today. Returns the number deleted and logs it when not 0.
int CleanLogs(const QString& strLogDir, LauncherLog& log);

// Runs CleanCache on "_cache/ifse" and then CleanLogs on "_logs" under
// strAppDir on a detached thread; later calls in the same process do nothing.
void StartOnce(const QString& strAppDir, LauncherLog& log);

} // namespace LauncherHousekeeping
