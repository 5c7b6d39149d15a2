// Backup and rollback of the files the updater replaces. The backup directory
// mirrors the relative paths under the target directory. Relative paths come
// from a validated package, so none reaches outside either directory.
#pragma once

#include <QString>
#include <QStringList>

namespace OrvelUpdaterBackup
{

// Copies the target's file at strRelativePath into the backup directory and
// makes the copy durable (file and every directory up to strTargetDir) before
// returning, so a replacement that follows can always be undone. A file that
// does not exist yet needs no backup: true. A backup that is already there was
// made by an unfinished run of the same package (OrvelUpdaterRun drops any
// other run's) before it replaced the file: it holds the true old content and
// is kept.
bool backupFile(const QString& strTargetDir, const QString& strRelativePath, const QString& strBackupDir);

// Puts every file found below strBackupDir back into strTargetDir, each one
// atomically; one that is still the same as its backup is left alone. A file that cannot be restored does not
// stop the others; its relative path goes to *pvecFailed. A missing backup directory: true.
bool restoreBackup(const QString& strBackupDir, const QString& strTargetDir,
                   QStringList* pvecFailed = nullptr);

// Removes the temporary files that an earlier, killed run of an atomic write left
// in the given directories (below strTargetDir), and in the backup directory and
// all of its subdirectories. Only names of that shape are touched, and none of a
// process that is still running. Returns the paths removed.
QStringList removeLeftoverTemps(const QString& strTargetDir, const QStringList& vecRelativeDirs,
                                const QString& strBackupDir);

} // namespace OrvelUpdaterBackup
