#include "OrvelWorkPathGuard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

bool OrvelCheckWorkPath(const QString& strWorkPath, QString* pstrReason)
{
    if (strWorkPath.trimmed().isEmpty())
    {
        *pstrReason = QCoreApplication::translate("OrvelLauncherController", "Working path is empty");
        return false;
    }
    const QFileInfo info(strWorkPath);
    if (info.exists() && !info.isDir())
    {
        *pstrReason =
            QCoreApplication::translate("OrvelLauncherController", "Working path is not a directory: %1")
                .arg(strWorkPath);
        return false;
    }
    if (!info.exists() && !QDir().mkpath(strWorkPath))
    {
        *pstrReason =
            QCoreApplication::translate("OrvelLauncherController", "Failed to create working path: %1")
                .arg(strWorkPath);
        return false;
    }
    // Asking the file system beats reading permission bits: ACLs, read-only
    // mounts and root all answer here.
    QTemporaryFile probe(strWorkPath + QStringLiteral("/.orvel_write_probe_XXXXXX"));
    if (!probe.open())
    {
        *pstrReason =
            QCoreApplication::translate("OrvelLauncherController", "Working path is not writable: %1")
                .arg(strWorkPath);
        return false;
    }
    return true;
}
