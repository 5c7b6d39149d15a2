#include "OrvelSyncSession.h"

#include "LauncherLog.h"
#include "LauncherSettings.h"
#include "OrvelDirectoryReconcile.h"
#include "OrvelFileService.h"
#include "OrvelLauncherController.h"
#include "OrvelSpeedText.h"
#include "OrvelTerminalPrompt.h"
#include "OrvelTransferProgress.h"
#include "RuntimeConfigWriter.h"
#include "platform/OrvelInterrupt.h"
#include "workers/OrvelVersionList.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace
{
constexpr quint32 kLatestVersion = 0xFFFFFFFFu;

QString ModeName(const StartupInitializationResult& result)
{
    if (!result.success)
        return QStringLiteral("limited");
    return result.mode == StartupInitializationResult::ModeRepairOnlyLatest ? QStringLiteral("repair-only")
                                                                            : QStringLiteral("normal");
}
} // namespace

OrvelSyncSession::OrvelSyncSession(const OrvelSyncOptions& options) : m_options(options) {}

OrvelSyncSession::~OrvelSyncSession() = default;

void OrvelSyncSession::Log(const QString& strLine)
{
    if (m_pLog)
        m_pLog->write(strLine);
}

void OrvelSyncSession::Say(const QString& strLine)
{
    std::fprintf(stdout, "%s\n", strLine.toLocal8Bit().constData());
    std::fflush(stdout);
}

void OrvelSyncSession::Progress(quint32 uCurrent, quint32 uTotal, const QString& strDetail, quint64 uSpeed,
                                const OrvelTransferProgress& transfer)
{
    // By bytes where the task counts them: a file counter reads 100% as soon
    // as the last file starts, however much of it is still to come.
    const int nPercent = transfer.Known() ? transfer.Percent()
                         : uTotal > 0     ? static_cast<int>(100.0 * uCurrent / uTotal)
                                          : 0;
    // The worker's detail already names the item and its count when it has one.
    const QString strWhat =
        strDetail.isEmpty() ? QStringLiteral("%1/%2").arg(uCurrent).arg(uTotal) : strDetail;
    QString strLine = QStringLiteral("%1% %2  ").arg(nPercent, 3).arg(strWhat);
    if (transfer.Known())
    {
        strLine += QStringLiteral("%1 of %2  ")
                       .arg(OrvelSizeValue(transfer.uBytesDone), OrvelSizeValue(transfer.uBytesTotal));
    }
    strLine += SpeedText(transfer.Known() ? transfer.uBytesPerSecond : uSpeed);
    const qint64 nLeft = transfer.SecondsLeft();
    if (nLeft >= 0 && transfer.uBytesDone < transfer.uBytesTotal)
        strLine += QStringLiteral("  %1 left").arg(OrvelDurationText(nLeft));
    // One line per change: the poll repeats an unchanged state.
    if (strLine == m_strLastProgress)
        return;
    m_strLastProgress = strLine;
    std::fprintf(stderr, "%s\n", strLine.toLocal8Bit().constData());
    std::fflush(stderr);
}

QString OrvelSyncSession::SpeedText(quint64 uBytesPerSec)
{
    return QStringLiteral("Speed: ") + OrvelSpeedValue(uBytesPerSec);
}

void OrvelSyncSession::Note(const QString& strLine)
{
    std::fprintf(stderr, "%s\n", strLine.toLocal8Bit().constData());
    std::fflush(stderr);
}

void OrvelSyncSession::Complain(const QString& strLine)
{
    std::fprintf(stderr, "orvelsync: %s\n", strLine.toLocal8Bit().constData());
    std::fflush(stderr);
}

int OrvelSyncSession::Run()
{
    const int nPrepared = Prepare();
    if (nPrepared != kExitSuccess)
        return nPrepared;
    switch (m_options.eCommand)
    {
    case OrvelSyncOptions::CommandStatus:
        return Status();
    case OrvelSyncOptions::CommandVersions:
        return Versions();
    case OrvelSyncOptions::CommandCheck:
    case OrvelSyncOptions::CommandGetLatest:
    case OrvelSyncOptions::CommandRepair:
    case OrvelSyncOptions::CommandSwitch:
    case OrvelSyncOptions::CommandSelfUpdate:
    case OrvelSyncOptions::CommandReconcile:
        return RunThroughController();
    }
    return kExitUsage;
}

int OrvelSyncSession::Prepare()
{
    // Paths the user typed are relative to where they typed them; the store
    // configuration's own paths are relative to the installation, which
    // becomes the current directory below.
    const QString strAppDir =
        m_options.strAppDir.isEmpty() ? QCoreApplication::applicationDirPath() : m_options.strAppDir;
    m_strAppDir = QDir::cleanPath(QFileInfo(strAppDir).absoluteFilePath());
    const QString strConfig =
        m_options.strConfigPath.isEmpty() ? QString() : QFileInfo(m_options.strConfigPath).absoluteFilePath();
    const QString strWorkPath =
        m_options.strWorkPath.isEmpty() ? QString() : QFileInfo(m_options.strWorkPath).absoluteFilePath();

    // The settings dialog's rule, checked before anything is created: never the
    // directory that holds the installation.
    if (!strWorkPath.isEmpty() &&
        QDir::cleanPath(strWorkPath)
                .compare(QDir::cleanPath(QFileInfo(m_strAppDir).absolutePath()), Qt::CaseInsensitive) == 0)
    {
        Complain(QStringLiteral("Working path cannot be the parent directory of the launcher executable: %1")
                     .arg(QDir::cleanPath(strWorkPath)));
        return kExitUsage;
    }
    if (!QDir().mkpath(m_strAppDir) || !QDir::setCurrent(m_strAppDir))
    {
        Complain(QStringLiteral("Cannot use the application directory: %1").arg(m_strAppDir));
        return kExitFailure;
    }
    m_pLog = std::make_unique<LauncherLog>(m_strAppDir);
    m_pLog->initialise(QStringLiteral("orvelsync"), LauncherLog::kDefaultRetentionDays);
    m_pSettings = std::make_unique<LauncherSettings>(m_strAppDir);
    m_pConfigWriter = std::make_unique<RuntimeConfigWriter>(m_strAppDir);
    // A record from before records named their path belongs to the path
    // configured so far, not to the one given now.
    if (!strWorkPath.isEmpty() && m_pSettings->adoptProductRecord())
        m_pLog->write(
            QStringLiteral("The product record named no working path; it is taken as the record of %1")
                .arg(m_pSettings->workPath()));
    if (!strWorkPath.isEmpty())
        m_pSettings->setWorkPath(strWorkPath);

    if (!strConfig.isEmpty())
        m_strConfigPath = strConfig;
    else if (!m_options.vecServerUrls.isEmpty())
    {
        m_pConfigWriter->SetServerTrust(m_options.vecTrustKeys);
        if (!m_pConfigWriter->WriteProductConfigForServers(m_options.vecServerUrls))
        {
            Complain(m_pConfigWriter->LastError());
            return kExitFailure;
        }
        m_strConfigPath = m_pConfigWriter->ProductConfigPath();
    }
    else
    {
        if (!m_pConfigWriter->WriteProductConfig())
        {
            Complain(m_pConfigWriter->LastError());
            return kExitFailure;
        }
        m_strConfigPath = m_pConfigWriter->ProductConfigPath();
    }

    m_pPrimary = std::make_unique<OrvelFileService>();
    m_startup = OrvelStartup::Decide(*m_pPrimary, *m_pSettings, *m_pLog, *m_pConfigWriter, m_strConfigPath);
    if (!m_startup.success)
        Log(m_startup.error.isEmpty() ? QStringLiteral("Launcher started in limited mode") : m_startup.error);
    else if (m_startup.mode == StartupInitializationResult::ModeRepairOnlyLatest)
        Log(QStringLiteral("Launcher started in repair-only latest mode"));
    return kExitSuccess;
}

int OrvelSyncSession::Status()
{
    Say(QStringLiteral("Application directory: %1").arg(m_strAppDir));
    Say(QStringLiteral("Working path: %1").arg(m_pSettings->workPath()));
    Say(QStringLiteral("Configuration: %1").arg(m_strConfigPath));
    quint32 uRecorded = 0;
    QString strTag;
    if (m_pSettings->readProductRecord(&uRecorded, &strTag))
        Say(QStringLiteral("Recorded version: %1 (tag %2)")
                .arg(uRecorded)
                .arg(strTag.isEmpty() ? QStringLiteral("-") : strTag));
    else
        Say(QStringLiteral("Recorded version: none"));
    quint32 uTarget = 0;
    QString strTask;
    if (m_pSettings->readProductRecordPending(&uTarget, &strTask))
        Say(QStringLiteral("Interrupted: a %1 to version %2 did not finish; the working path is not whole "
                           "(run: orvelsync get-latest, or orvelsync repair)")
                .arg(strTask.isEmpty() ? QStringLiteral("task") : strTask)
                .arg(uTarget));
    Say(QStringLiteral("Mode: %1").arg(ModeName(m_startup)));
    if (!m_startup.success)
    {
        Say(QStringLiteral("Error: %1")
                .arg(m_startup.error.isEmpty() ? QStringLiteral("Resource service unavailable")
                                               : m_startup.error));
        return kExitFailure;
    }
    if (!m_startup.notice.isEmpty())
        Say(QStringLiteral("Notice: %1").arg(m_startup.notice));
    Say(QStringLiteral("Store version: %1").arg(m_pPrimary->CurrentVersion()));
    QString strError;
    std::unique_ptr<OrvelFileService> pLatest =
        m_pPrimary->CreateVersionBoundService(kLatestVersion, &strError);
    if (!pLatest)
    {
        Say(QStringLiteral("Latest version: unknown (%1)").arg(strError));
        return kExitFailure;
    }
    Say(QStringLiteral("Latest version: %1").arg(pLatest->CurrentVersion()));
    return kExitSuccess;
}

int OrvelSyncSession::Versions()
{
    if (!m_startup.success || !m_pPrimary->IsReady())
    {
        Complain(m_startup.error.isEmpty() ? QStringLiteral("Resource service unavailable")
                                           : m_startup.error);
        return kExitFailure;
    }
    if (m_startup.mode == StartupInitializationResult::ModeRepairOnlyLatest)
    {
        Log(QStringLiteral("Version browse skipped: repair-only mode is active"));
        Complain(
            QStringLiteral("Resource version mismatch detected; resource repair is required (run: orvelsync "
                           "repair)"));
        return kExitFailure;
    }
    const OrvelVersionList list = ListSwitchableVersions(m_pPrimary.get());
    if (list.vecVersions.isEmpty())
    {
        Complain(QStringLiteral("No version can be listed: %1").arg(m_pPrimary->LastError()));
        return kExitFailure;
    }
    for (int i = 0; i < list.vecVersions.size(); ++i)
    {
        const OrvelVersionEntry& entry = list.vecVersions.at(i);
        QString strLine =
            QStringLiteral("%1 %2  %3  %4")
                .arg(i == list.nCurrentIndex ? QStringLiteral("*") : QStringLiteral(" "))
                .arg(entry.uVersion, 6)
                .arg(entry.strTag.isEmpty() ? QStringLiteral("-") : entry.strTag, entry.strReleaseText);
        while (strLine.endsWith(QLatin1Char(' ')))
            strLine.chop(1);
        Say(strLine);
    }
    return kExitSuccess;
}

int OrvelSyncSession::RunThroughController()
{
    // Asking for the self-update is the answer to its offer.
    const bool bSelfUpdate = m_options.eCommand == OrvelSyncOptions::CommandSelfUpdate;
    OrvelTerminalPrompt prompt(m_options.bYes || bSelfUpdate, m_options.nRetryWeak);
    OrvelLauncherController controller(m_pSettings.get());
    controller.SetUserPrompt(&prompt);
    if (m_options.bHasLimit)
        controller.SetDownloadLimitOverride(m_options.uLimit);
    controller.SetForceFullDownload(m_options.bFull);

    // What the window would show: the status line and the log panel on
    // standard error, the run log in its file.
    QObject::connect(&controller, &OrvelLauncherController::LogMessage,
                     [this](const QString& strLine) { Log(strLine); });
    QObject::connect(&controller, &OrvelLauncherController::UiLogMessage,
                     [this](const QString& strLine) { Note(strLine); });
    QString strLastStatus;
    QObject::connect(&controller, &OrvelLauncherController::StatusChanged,
                     [&](const QString& strStatus)
                     {
                         strLastStatus = strStatus;
                         if (!m_options.bQuiet)
                             Note(strStatus);
                     });
    quint64 uSpeed = 0;
    QObject::connect(&controller, &OrvelLauncherController::DownloadSpeedChanged,
                     [&](quint64 uBytesPerSec) { uSpeed = uBytesPerSec; });
    // The file counter and the bytes arrive one after the other on each
    // poll; a line is printed once both are in, or for the counter alone
    // when the task counts no bytes.
    quint32 uFilesCurrent = 0;
    quint32 uFilesTotal = 0;
    QString strFilesDetail;
    OrvelTransferProgress transfer;
    QObject::connect(&controller, &OrvelLauncherController::ProgressChanged,
                     [&](quint32 uCurrent, quint32 uTotal, const QString& strDetail)
                     {
                         uFilesCurrent = uCurrent;
                         uFilesTotal = uTotal;
                         strFilesDetail = strDetail;
                         if (!m_options.bQuiet && !transfer.Known())
                             Progress(uCurrent, uTotal, strDetail, uSpeed, transfer);
                     });
    QObject::connect(&controller, &OrvelLauncherController::TransferProgressChanged,
                     [&](const OrvelTransferProgress& progress)
                     {
                         transfer = progress;
                         if (!m_options.bQuiet && transfer.Known())
                             Progress(uFilesCurrent, uFilesTotal, strFilesDetail, uSpeed, transfer);
                     });

    int nOutcome = -1; // -1 not reached, 0 failed, 1 succeeded, 2 checked and found an update
    QString strCheckSummary;
    bool bCheckFailed = false;
    QObject::connect(&controller, &OrvelLauncherController::CheckUpdateFailed,
                     [&](const QString&) { bCheckFailed = true; });
    QObject::connect(&controller, &OrvelLauncherController::CheckUpdateFinished,
                     [&](bool bHasUpdate, quint32 uServerVersion)
                     {
                         // A check that could not read the store found no update either.
                         if (bCheckFailed)
                             return;
                         strCheckSummary = QStringLiteral("Latest version: %1").arg(uServerVersion);
                         if (m_options.eCommand == OrvelSyncOptions::CommandCheck)
                             nOutcome = bHasUpdate ? 2 : 1;
                         else if (m_options.eCommand == OrvelSyncOptions::CommandGetLatest && !bHasUpdate)
                             nOutcome = 1;
                     });
    QString strRemovedSummary;
    QObject::connect(
        &controller, &OrvelLauncherController::StaleFilesHandled,
        [&](int nRemoved, int nKept)
        {
            strRemovedSummary =
                QStringLiteral("Removed %1 file(s) the version no longer holds").arg(nRemoved);
            if (nKept > 0)
                strRemovedSummary +=
                    QStringLiteral("; kept %1 made or changed here (named in the log)").arg(nKept);
        });
    const auto finished = [&](bool bSuccess) { nOutcome = bSuccess ? 1 : 0; };
    QObject::connect(&controller, &OrvelLauncherController::DownloadFinished, finished);
    QObject::connect(&controller, &OrvelLauncherController::RepairFinished,
                     [&](bool bSuccess, int, int) { finished(bSuccess); });
    QObject::connect(&controller, &OrvelLauncherController::VersionSwitchFinished, finished);
    QObject::connect(&controller, &OrvelLauncherController::SelfUpdateFinished,
                     [&](bool bSuccess)
                     {
                         // To another command the launcher's offer is a side question: a
                         // declined offer fails nothing, a hand-over ends the command.
                         if (m_options.eCommand == OrvelSyncOptions::CommandSelfUpdate || bSuccess)
                             finished(bSuccess);
                     });
    // The updater waits for this process: end as soon as it runs.
    bool bHandedOver = false;
    controller.SetQuitAction([&bHandedOver] { bHandedOver = true; });
    bool bReconcileDryRun = false;
    QObject::connect(&controller, &OrvelLauncherController::DirectoryReconcileFinished,
                     [&](qint32 nStatus, qint32, qint32)
                     {
                         // Without --yes the plan is only shown: its refusal is the expected end.
                         bReconcileDryRun =
                             nStatus == OrvelReconcile::StatusCancelledConfirmation && !m_options.bYes;
                         nOutcome = nStatus == OrvelReconcile::StatusComplete ||
                                            nStatus == OrvelReconcile::StatusNoChanges || bReconcileDryRun
                                        ? 1
                                        : 0;
                     });

    controller.SetFileService(m_pPrimary.get());
    if (m_startup.success && m_startup.mode == StartupInitializationResult::ModeRepairOnlyLatest)
        controller.SetRepairOnlyMode(true);
    if (!m_startup.success && bSelfUpdate)
        Note(m_startup.error.isEmpty() ? QStringLiteral("Resource service unavailable") : m_startup.error);
    else if (!m_startup.success)
    {
        Complain(m_startup.error.isEmpty() ? QStringLiteral("Resource service unavailable")
                                           : m_startup.error);
        return kExitFailure;
    }
    if (m_startup.success && m_startup.mode == StartupInitializationResult::ModeRepairOnlyLatest &&
        !m_startup.notice.isEmpty())
        Note(m_startup.notice);

    switch (m_options.eCommand)
    {
    case OrvelSyncOptions::CommandCheck:
        controller.CheckForUpdates();
        break;
    case OrvelSyncOptions::CommandGetLatest:
        controller.StartDownload();
        break;
    case OrvelSyncOptions::CommandRepair:
        controller.StartRepair();
        break;
    case OrvelSyncOptions::CommandSwitch:
        controller.StartVersionSwitch(m_options.uSwitchVersion);
        break;
    case OrvelSyncOptions::CommandSelfUpdate:
        // Limited mode checks the launcher's files alone and offers them, as
        // the launcher does; otherwise the offer is taken at once.
        if (m_startup.success)
            controller.StartSelfUpdate();
        else
            controller.RunLauncherOnlyUpdateCheck();
        break;
    case OrvelSyncOptions::CommandReconcile:
    {
        QStringList vecDirs;
        if (!ReconcileDirectories(&vecDirs))
            return kExitUsage;
        prompt.SetReconcile(vecDirs, m_options.bYes && !m_options.bDryRun);
        controller.SetReconcilePlanOnly(!m_options.bYes || m_options.bDryRun);
        controller.StartDirectoryReconcile();
        break;
    }
    default:
        return kExitUsage;
    }

    // Runs until the controller is idle again: a task, its rollback, its
    // retry of deferred files. Ctrl+C is the Stop button.
    bool bStopSent = false;
    QEventLoop loop;
    QTimer watch;
    const auto fnQuitWhenDone = [&]()
    {
        if (!controller.IsBusy() || bHandedOver)
            loop.quit();
    };
    QObject::connect(&watch, &QTimer::timeout,
                     [&]()
                     {
                         if (!bStopSent && OrvelPlatform::InterruptRequested() && controller.IsTaskActive())
                         {
                             bStopSent = true;
                             controller.StopCurrentTask();
                         }
                         fnQuitWhenDone();
                     });
    // End as a task's worker ends, not at the next tick. The look is queued,
    // so a task the controller starts from the same slot (a rollback, a
    // retry, the download after a check) is under way by then.
    QObject::connect(&controller, &OrvelLauncherController::WorkerActivityChanged, &loop,
                     [&](bool bActive)
                     {
                         if (!bActive)
                             QTimer::singleShot(0, &loop, fnQuitWhenDone);
                     });
    watch.start(100);
    if (controller.IsBusy())
        loop.exec();

    for (const WeakReplacementFailure& failure : prompt.Unresolved())
        Say(QStringLiteral("Not replaced: %1 - %2").arg(failure.strRelativePath, failure.strError));
    if (!strCheckSummary.isEmpty())
        Say(strCheckSummary);
    if (!strLastStatus.isEmpty())
        Say(strLastStatus);
    if (!strRemovedSummary.isEmpty())
        Say(strRemovedSummary);
    // Everything this run fetched, its start-up's reads included.
    const OrvelFileService::FetchTotals fetched = OrvelFileService::FetchedByProcess();
    Say(QStringLiteral("Fetched %1 in %2 requests")
            .arg(OrvelSizeValue(fetched.uBytes))
            .arg(fetched.uRequests));
    if (bReconcileDryRun)
        Say(QStringLiteral("Nothing changed (plan only); run again with --yes to apply it"));
    if (nOutcome == 1)
        return kExitSuccess;
    if (nOutcome == 2)
        return kExitUpdateAvailable;
    return bStopSent || OrvelPlatform::InterruptRequested() ? kExitStopped : kExitFailure;
}

bool OrvelSyncSession::ReconcileDirectories(QStringList* pvecDirs)
{
    const QString strRoot = QDir::cleanPath(QFileInfo(m_pSettings->workPath()).absoluteFilePath());
    for (const QString& strTyped : m_options.vecReconcileDirs)
    {
        // A relative name is the working path's; an absolute one must lie in it.
        QString strRelative = strTyped;
        if (QFileInfo(strTyped).isAbsolute())
        {
            const QString strAbsolute = QDir::cleanPath(strTyped);
            if (strAbsolute != strRoot && !strAbsolute.startsWith(strRoot + QLatin1Char('/')))
            {
                Complain(QStringLiteral("Not inside the working path %1: %2").arg(strRoot, strTyped));
                return false;
            }
            strRelative = QDir(strRoot).relativeFilePath(strAbsolute);
        }
        const QStringList vecOne = OrvelReconcile::NormaliseSelection({strRelative});
        if (vecOne.isEmpty())
        {
            Complain(QStringLiteral("Not a directory of the working path: %1").arg(strTyped));
            return false;
        }
        pvecDirs->append(vecOne.first());
    }
    return true;
}
