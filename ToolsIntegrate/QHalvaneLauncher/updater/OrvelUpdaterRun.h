// Ties the backup directory to the run that filled it. A marker beside the
// backup directory names the package of an unfinished run; only a later run of
// that same package may trust the backups (they hold the true old content of
// the files it was replacing). Any other backups are of a run that is over.
#pragma once

#include <QString>

class OrvelPackageReader;

namespace OrvelUpdaterRun
{

// What makes two packages the same update: content version and every entry's
// path, size and hash, in table order. Two builds of one content agree.
QString packageIdentity(const OrvelPackageReader& reader);

// The marker's path for a backup directory.
QString markerPath(const QString& strBackupDir);

enum class Start
{
    Fresh,   // no backups were there
    Resumed, // backups of an unfinished run of this package, kept
    Cleared, // backups of another or a finished run, removed
    Failed,  // the directory or the marker could not be made
};

// Makes strBackupDir ready for a run of the package strIdentity: keeps it when
// the marker names this package, otherwise removes it, then writes the marker
// durably before the first backup is made.
Start begin(const QString& strBackupDir, const QString& strIdentity);

// The run is over (replaced or rolled back): its backups go, the marker first,
// so a half-removed directory is never taken for an unfinished run.
void finish(const QString& strBackupDir);

} // namespace OrvelUpdaterRun
