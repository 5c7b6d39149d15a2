// Backup and rollback of the files the updater replaces. The backup directory
// mirrors the relative paths under the target directory. Relative paths come
// from a validated package, so none reaches outside either directory.
#pragma once

#include <QString>

namespace OrvelUpdaterBackup
{

// Copies the target's file at strRelativePath into the backup directory and
// makes the copy durable (file and every directory up to strTargetDir) before
// returning, so a replacement that follows can always be undone. A file that
// does not exist yet needs no backup: true.
bool backupFile(const QString& strTargetDir, const QString& strRelativePath, const QString& strBackupDir);

// Puts every file found below strBackupDir back into strTargetDir, each one
// atomically. Stops at the first failure. A missing backup directory: true.
bool restoreBackup(const QString& strBackupDir, const QString& strTargetDir);

} // namespace OrvelUpdaterBackup
