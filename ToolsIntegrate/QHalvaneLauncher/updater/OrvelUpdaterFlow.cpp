#include "OrvelUpdaterFlow.h"

#include "LauncherLog.h"
#include "OrvelCrashPoint.h"
#include "OrvelPackageReader.h"
#include "OrvelUpdaterBackup.h"
#include "OrvelUpdaterRun.h"
#include "OrvelUpdaterWindow.h"
#include "platform/OrvelPlatformNames.h"
#include "platform/OrvelProcess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace
{
void Log(const QString& strMessage)
{
    LauncherLog::instance().write(strMessage);
}

// Every early end shows its status for a moment before the program quits.
int QuitAfter(int nMs)
{
    QTimer::singleShot(nMs, qApp, &QCoreApplication::quit);
    return QApplication::exec();
}

// Blocks until the process is gone. False when it is still there after the
// timeout; the comparison is unsigned, so a negative timeout waits for good.
bool WaitForProcessExit(quint32 uPid, qint32 nTimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    const quint32 uTimeout = static_cast<quint32>(nTimeoutMs);
    while (OrvelPlatform::IsProcessRunning(uPid))
    {
        if (static_cast<quint32>(timer.elapsed()) > uTimeout)
            return false;
        QThread::msleep(100);
    }
    return true;
}

// Tries every backed-up file and names each one that is still new.
bool RollBack(const QString& strBackupDir, const QString& strTargetDir)
{
    QStringList vecFailed;
    const bool bOk = OrvelUpdaterBackup::restoreBackup(strBackupDir, strTargetDir, &vecFailed);
    for (const QString& strRelativePath : qAsConst(vecFailed))
        Log(QStringLiteral("Rollback could not restore file, it remains new: %1").arg(strRelativePath));
    return bOk;
}

// On false *pbRestored says whether the rollback put every file back.
bool ApplyPackage(OrvelPackageReader& reader, const QString& strTargetDir, const QString& strBackupDir,
                  OrvelUpdaterWindow& window, bool* pbRestored)
{
    const int nCount = reader.fileCount();
    for (int i = 0; i < nCount; ++i)
    {
        const QString strRelativePath = reader.fileInfo(i).strRelativePath;
        window.setProgress(i + 1, nCount);
        window.setDetailText(strRelativePath);
        window.setStatusText(QCoreApplication::translate("main", "Backing up existing files..."));
        QCoreApplication::processEvents();

        if (!OrvelUpdaterBackup::backupFile(strTargetDir, strRelativePath, strBackupDir))
        {
            window.setStatusText(QCoreApplication::translate("main", "Backup failed, rolling back..."));
            Log(QStringLiteral("Backup failed for file: %1").arg(strRelativePath));
            *pbRestored = RollBack(strBackupDir, strTargetDir);
            return false;
        }
        OrvelCrashPoint::Reached("updater.backed-up");

        window.setStatusText(QCoreApplication::translate("main", "Replacing files..."));
        Log(QStringLiteral("Replacing file: %1").arg(strRelativePath));
        QCoreApplication::processEvents();

        if (!reader.extractFile(i, strTargetDir))
        {
            window.setStatusText(QCoreApplication::translate("main", "Update failed, rolling back..."));
            Log(QStringLiteral("Update failed for file: %1, reason: %2")
                    .arg(strRelativePath, reader.lastError()));
            *pbRestored = RollBack(strBackupDir, strTargetDir);
            if (!*pbRestored)
                Log(QStringLiteral("Rollback failed after update failure"));
            return false;
        }
        OrvelCrashPoint::Reached("updater.replaced");
        QCoreApplication::processEvents();
    }
    return true;
}
} // namespace

int RunOrvelUpdater(const OrvelUpdaterOptions& options)
{
    OrvelUpdaterWindow window;
    window.show();
    QCoreApplication::processEvents();
    Log(QStringLiteral("Updater started"));

    if (options.bHasPid)
    {
        window.setStatusText(QCoreApplication::translate("main", "Waiting for launcher to exit..."));
        Log(QStringLiteral("Waiting for launcher process to exit"));
        QCoreApplication::processEvents();
        if (!WaitForProcessExit(options.uPid, options.nTimeoutMs))
        {
            std::fputs("Error: Timeout waiting for main process to exit\n", stderr);
            const char szTimedOut[] =
                QT_TRANSLATE_NOOP("main", "Timed out waiting for launcher to exit. Please close the launcher "
                                          "manually and retry.");
            window.setStatusText(QCoreApplication::translate("main", szTimedOut));
            Log(QString::fromUtf8(szTimedOut));
            QFile::remove(options.strPackagePath);
            return QuitAfter(3000);
        }
    }

    window.setStatusText(QCoreApplication::translate("main", "Validating update package..."));
    Log(QStringLiteral("Validating update package"));
    QCoreApplication::processEvents();
    OrvelPackageReader reader;
    if (!reader.open(options.strPackagePath) || !reader.checkTarget(options.strTargetDir))
    {
        window.setStatusText(QCoreApplication::translate("main", "Failed to open update package"));
        Log(QStringLiteral("Failed to open update package: %1").arg(reader.lastError()));
        QFile::remove(options.strPackagePath);
        return QuitAfter(3000);
    }
    // Every entry is checked before the first file is touched: a package with
    // one changed entry leaves the launcher's files as they were.
    if (!reader.verifyContents())
    {
        window.setStatusText(QCoreApplication::translate(
            "main", "Update package does not match the store's files; nothing was changed"));
        Log(QStringLiteral("Update package refused, nothing was changed: %1").arg(reader.lastError()));
        reader.close();
        QFile::remove(options.strPackagePath);
        return QuitAfter(3000);
    }
    if (!reader.hasContentHashes())
        Log(QStringLiteral("Update package from an older launcher carries no SHA-256 of its files: "
                           "checked by its own FNV-1a only"));

    const QString strBackupDir = options.strTargetDir + QStringLiteral("/.bak");
    // A killed run leaves its temporary copies beside the files it was writing.
    QStringList vecDirs{QStringLiteral(".")};
    for (int i = 0; i < reader.fileCount(); ++i)
        vecDirs.append(QFileInfo(reader.fileInfo(i).strRelativePath).path());
    const QStringList vecRemoved =
        OrvelUpdaterBackup::removeLeftoverTemps(options.strTargetDir, vecDirs, strBackupDir);
    for (const QString& strPath : vecRemoved)
        Log(QStringLiteral("Removed leftover temporary file: %1").arg(strPath));

    const OrvelUpdaterRun::Start eStart =
        OrvelUpdaterRun::begin(strBackupDir, OrvelUpdaterRun::packageIdentity(reader));
    if (eStart == OrvelUpdaterRun::Start::Resumed)
        Log(QStringLiteral("Resuming an unfinished update of this package: its backups are kept"));
    else if (eStart == OrvelUpdaterRun::Start::Cleared)
        Log(QStringLiteral("Removed backups left by another update"));
    if (eStart == OrvelUpdaterRun::Start::Failed)
    {
        window.setStatusText(QCoreApplication::translate("main", "Failed to create backup directory"));
        Log(QStringLiteral("Failed to create backup directory: %1").arg(strBackupDir));
        reader.close();
        QFile::remove(options.strPackagePath);
        return QuitAfter(3000);
    }

    window.setFileCounter(0, reader.fileCount());
    bool bRestored = false;
    if (!ApplyPackage(reader, options.strTargetDir, strBackupDir, window, &bRestored))
    {
        // A complete rollback ends the run; otherwise the backups stay, the
        // only copy of the old content, for a rerun of this package.
        if (bRestored)
            OrvelUpdaterRun::finish(strBackupDir);
        Log(QStringLiteral("Update finished with failure"));
        reader.close();
        QFile::remove(options.strPackagePath);
        return QuitAfter(3000);
    }

    window.setStatusText(QCoreApplication::translate("main", "Update complete"));
    window.setDetailText(QString());
    Log(QStringLiteral("Update completed successfully"));
    reader.close();
    OrvelUpdaterRun::finish(strBackupDir);
    QFile::remove(options.strPackagePath);

    const QString strLauncher = QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                                QLatin1String(OrvelPlatform::kLauncherFileName);
    if (!QFileInfo::exists(strLauncher))
        return QuitAfter(2000);

    Log(QStringLiteral("Starting updated launcher: %1").arg(strLauncher));
    const QString strWorkingDir = options.strTargetDir;
    QTimer::singleShot(1000, qApp,
                       [strLauncher, strWorkingDir]()
                       {
                           if (!QProcess::startDetached(strLauncher, QStringList(), strWorkingDir))
                               Log(QStringLiteral("Failed to start updated launcher"));
                           QCoreApplication::quit();
                       });
    return QApplication::exec();
}
