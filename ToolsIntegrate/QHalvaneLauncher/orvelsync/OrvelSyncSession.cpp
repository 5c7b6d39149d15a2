#include "OrvelSyncSession.h"

#include "LauncherLog.h"
#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "OrvelSyncTaskRunner.h"
#include "OrvelWorkPathGuard.h"
#include "RuntimeConfigWriter.h"
#include "workers/OrvelDownloadMode.h"
#include "workers/OrvelGetLatestWorker.h"
#include "workers/OrvelRepairWorker.h"
#include "workers/OrvelTaskResultSnapshot.h"
#include "workers/OrvelVersionCheckWorker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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
    case OrvelSyncOptions::CommandCheck:
        return Check();
    case OrvelSyncOptions::CommandGetLatest:
        return GetLatest();
    case OrvelSyncOptions::CommandRepair:
        return Repair();
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
    if (!strWorkPath.isEmpty())
        m_pSettings->setWorkPath(strWorkPath);

    if (!strConfig.isEmpty())
        m_strConfigPath = strConfig;
    else if (!m_options.strServerUrl.isEmpty())
    {
        if (!m_pConfigWriter->WriteProductConfigForServer(m_options.strServerUrl))
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

bool OrvelSyncSession::RequireStore(const QString& strRepairOnlyText, const QString& strUnavailableText)
{
    if (!m_startup.success || !m_pPrimary->IsReady())
    {
        const QString strError =
            m_startup.error.isEmpty() ? QStringLiteral("Resource service unavailable") : m_startup.error;
        Log(strUnavailableText);
        Complain(strError);
        return false;
    }
    if (!strRepairOnlyText.isEmpty() && m_startup.mode == StartupInitializationResult::ModeRepairOnlyLatest)
    {
        Log(strRepairOnlyText);
        Complain(
            QStringLiteral("Resource version mismatch detected; resource repair is required (run: orvelsync "
                           "repair)"));
        if (!m_startup.notice.isEmpty())
            Complain(m_startup.notice);
        return false;
    }
    return true;
}

bool OrvelSyncSession::RequireWorkPath(const QString& strBlockedText)
{
    QString strReason;
    if (OrvelCheckWorkPath(m_pSettings->workPath(), &strReason))
        return true;
    Log(strBlockedText.arg(strReason));
    Complain(strBlockedText.arg(strReason));
    return false;
}

QString OrvelSyncSession::ReadSyncTag(OrvelFileService& service, const QString& strFailureText)
{
    const PakInfoResult info = service.ReadPakInfo();
    if (info.status == PakInfoResult::StatusOk)
        return info.tag;
    const QString strError = info.error.isEmpty() ? service.LastError() : info.error;
    Log(strFailureText.arg(strError));
    Complain(strFailureText.arg(strError));
    return QString();
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

int OrvelSyncSession::Check()
{
    if (!RequireStore(QStringLiteral("Check update skipped: repair-only mode is active"),
                      QStringLiteral("Check update skipped: resource service unavailable")))
        return kExitFailure;
    Log(QStringLiteral("Check update started"));
    auto* pWorker = new OrvelVersionCheckWorker(m_pPrimary.get(), m_pSettings.get(), m_strAppDir);
    OrvelSyncTaskRunner runner(m_pPrimary.get(), *m_pLog, true,
                               QStringLiteral("User requested version check stop"));
    bool bOk = false;
    bool bHasUpdate = false;
    quint32 uServerVersion = 0;
    QString strError;
    bool bLauncherOk = false;
    bool bLauncherUpdate = false;
    QString strLauncherError;
    QStringList vecLauncherFiles;
    QObject::connect(
        pWorker, &OrvelVersionCheckWorker::Finished, &runner,
        [&](bool bSuccess, bool bUpdate, quint32 uVersion, const QString& strMessage, bool bCacheCleared,
            bool bLauncherCheckOk, bool bLauncherHasUpdate, const QString& strLauncherMessage,
            const QStringList& vecFiles)
        {
            bOk = bSuccess;
            bHasUpdate = bUpdate;
            uServerVersion = uVersion;
            strError = strMessage;
            bLauncherOk = bLauncherCheckOk;
            bLauncherUpdate = bLauncherHasUpdate;
            strLauncherError = strLauncherMessage;
            vecLauncherFiles = vecFiles;
            if (bCacheCleared)
                Log(QStringLiteral(
                    "Launcher cache guid/version mismatch detected; _cache/ifslauncher was cleared"));
            runner.Done();
        });
    runner.Run(pWorker);
    if (runner.StopRequested() && !bOk)
    {
        Log(QStringLiteral("Version check stopped by user"));
        return kExitStopped;
    }
    if (!bOk)
    {
        const QString strLine = QStringLiteral("Check update failed: %1")
                                    .arg(strError.isEmpty() ? QStringLiteral("unknown error") : strError);
        Log(strLine);
        Complain(strLine);
        return kExitFailure;
    }
    Say(QStringLiteral("Latest version: %1").arg(uServerVersion));
    Say(bHasUpdate ? QStringLiteral("Resource update available")
                   : QStringLiteral("Resources are the newest version"));
    if (!bLauncherOk)
    {
        Say(QStringLiteral("Launcher update check unavailable: %1")
                .arg(strLauncherError.isEmpty() ? QStringLiteral("unknown reason") : strLauncherError));
        Log(QStringLiteral("Launcher update check unavailable: %1")
                .arg(strLauncherError.isEmpty() ? QStringLiteral("unknown reason") : strLauncherError));
    }
    else if (bLauncherUpdate)
    {
        Say(QStringLiteral("Launcher update available: %1 file(s)").arg(vecLauncherFiles.size()));
        for (const QString& strFile : qAsConst(vecLauncherFiles))
            Say(QStringLiteral("  %1").arg(strFile));
    }
    else
        Say(QStringLiteral("Launcher is the newest version"));
    if (!bHasUpdate && bLauncherOk && !bLauncherUpdate)
        Log(QStringLiteral("Check update finished: launcher and resources are already the newest version"));
    return kExitSuccess;
}

int OrvelSyncSession::GetLatest()
{
    if (!RequireStore(QStringLiteral("Download skipped: repair-only mode is active"),
                      QStringLiteral("Download skipped: resource service unavailable")))
        return kExitFailure;
    QString strError;
    std::unique_ptr<OrvelFileService> pTask =
        m_pPrimary->CreateVersionBoundService(kLatestVersion, &strError);
    if (!pTask)
    {
        const QString strLine =
            QStringLiteral("Resource download blocked: failed to load latest version info: %1")
                .arg(strError.isEmpty() ? QStringLiteral("unknown error") : strError);
        Log(strLine);
        Complain(strLine);
        return kExitFailure;
    }
    if (!RequireWorkPath(QStringLiteral("Resource download blocked: %1")))
        return kExitFailure;
    const quint32 uLatest = pTask->CurrentVersion();

    quint32 uRecorded = 0;
    const bool bHasRecord = m_pSettings->readProductRecord(&uRecorded, nullptr);
    DownloadModeDecision decision = ChooseDownloadMode(bHasRecord, uRecorded, uLatest);
    Log(QStringLiteral("Resource download started"));
    if (m_options.bFull)
    {
        decision.eReason = DownloadModeDecision::NoBaseline;
        Log(QStringLiteral("Using full download (requested)"));
    }
    else if (decision.eReason == DownloadModeDecision::AlreadyAtLatest)
        Log(QStringLiteral("Download skipped: already at latest version"));
    else
        Log(decision.LogText());

    TaskResultSnapshot snapshot;
    auto* pWorker = new OrvelGetLatestWorker(pTask.get(), m_pSettings.get(), &snapshot);
    if (decision.IsIncremental())
        pWorker->SetIncrementalRange(decision.uFromVersion, decision.uToVersion);
    if (m_options.bHasLimit)
        pWorker->SetDownloadLimitOverride(m_options.uLimit);
    Say(QStringLiteral("Getting version %1 (%2)")
            .arg(uLatest)
            .arg(decision.IsIncremental() ? QStringLiteral("incremental from %1").arg(decision.uFromVersion)
                                          : QStringLiteral("full")));

    OrvelSyncTaskRunner runner(pTask.get(), *m_pLog, m_options.bQuiet,
                               QStringLiteral("User requested resource download stop"));
    bool bOk = false;
    QObject::connect(pWorker, &OrvelGetLatestWorker::Finished, &runner,
                     [&](bool bSuccess)
                     {
                         bOk = bSuccess;
                         runner.Done();
                     });
    runner.Run(pWorker);
    const TaskResultData result = snapshot.Read();

    if (!bOk)
    {
        if (runner.StopRequested())
        {
            Log(QStringLiteral("Resource download stopped by user"));
            Complain(QStringLiteral("Download stopped"));
            return kExitStopped;
        }
        const QString strLine = QStringLiteral("Resource download failed: %1").arg(result.strStatusMessage);
        Log(strLine);
        Complain(strLine);
        return kExitFailure;
    }

    const QString strTag =
        ReadSyncTag(*pTask, QStringLiteral("Failed to read download sync tag after completion: %1"));
    if (!m_pSettings->writeProductRecord(uLatest, strTag))
    {
        const QString strLine =
            QStringLiteral("Resource download failed: cannot write %1").arg(m_pSettings->productRecordPath());
        Log(strLine);
        Complain(strLine);
        return kExitFailure;
    }
    for (const WeakReplacementFailure& failure : result.vecWeakFailures)
        Say(QStringLiteral("Not replaced: %1 - %2").arg(failure.strRelativePath, failure.strError));
    if (result.vecWeakFailures.empty())
        Log(QStringLiteral("Resource download completed successfully"));
    else
        Log(QStringLiteral("Resource download completed with %1 total weak replacement file(s) skipped")
                .arg(result.vecWeakFailures.size()));
    Say(QStringLiteral("Update complete: version %1, %2 file(s) written")
            .arg(uLatest)
            .arg(result.vecChangedFiles.size()));
    return kExitSuccess;
}

int OrvelSyncSession::Repair()
{
    if (!RequireStore(QString(), QStringLiteral("Repair skipped: resource service unavailable")))
        return kExitFailure;
    QString strError;
    const quint32 uVersion = m_pPrimary->CurrentVersion();
    std::unique_ptr<OrvelFileService> pTask = m_pPrimary->CreateVersionBoundService(uVersion, &strError);
    if (!pTask)
    {
        const QString strReason =
            strError.isEmpty() ? QStringLiteral("failed to create current version service") : strError;
        Log(QStringLiteral("Repair skipped: %1").arg(strReason));
        Complain(QStringLiteral("Resource repair blocked: %1").arg(strReason));
        return kExitFailure;
    }
    if (!RequireWorkPath(QStringLiteral("Resource repair blocked: %1")))
        return kExitFailure;

    Log(QStringLiteral("Resource repair started"));
    Say(QStringLiteral("Repairing version %1").arg(uVersion));
    TaskResultSnapshot snapshot;
    auto* pWorker = new OrvelRepairWorker(pTask.get(), m_pSettings.get(), &snapshot);
    if (m_options.bHasLimit)
        pWorker->SetDownloadLimitOverride(m_options.uLimit);
    OrvelSyncTaskRunner runner(pTask.get(), *m_pLog, m_options.bQuiet,
                               QStringLiteral("User requested resource repair stop"));
    bool bOk = false;
    int nSucceeded = 0;
    int nFailed = 0;
    QObject::connect(pWorker, &OrvelRepairWorker::Finished, &runner,
                     [&](bool bSuccess, int nSuccessCount, int nFailCount)
                     {
                         bOk = bSuccess;
                         nSucceeded = nSuccessCount;
                         nFailed = nFailCount;
                         runner.Done();
                     });
    runner.Run(pWorker);
    const TaskResultData result = snapshot.Read();

    if (!bOk)
    {
        const QString strLast = result.strStatusMessage.isEmpty()
                                    ? (runner.StopRequested() ? QStringLiteral("repair stopped by user")
                                                              : QStringLiteral("unknown error"))
                                    : result.strStatusMessage;
        const QString strLine =
            runner.StopRequested()
                ? QStringLiteral("Resource repair stopped by user: %1 succeeded, %2 failed, last error: %3")
                : QStringLiteral("Resource repair failed: %1 succeeded, %2 failed, last error: %3");
        Log(strLine.arg(nSucceeded).arg(nFailed).arg(strLast));
        Complain(strLine.arg(nSucceeded).arg(nFailed).arg(strLast));
        return runner.StopRequested() ? kExitStopped : kExitFailure;
    }

    const QString strTag =
        ReadSyncTag(*pTask, QStringLiteral("Failed to read repair sync tag after completion: %1"));
    if (!m_pSettings->writeProductRecord(uVersion, strTag))
    {
        const QString strLine =
            QStringLiteral("Resource repair failed: cannot write %1").arg(m_pSettings->productRecordPath());
        Log(strLine);
        Complain(strLine);
        return kExitFailure;
    }
    for (const WeakReplacementFailure& failure : result.vecWeakFailures)
        Say(QStringLiteral("Not replaced: %1 - %2").arg(failure.strRelativePath, failure.strError));
    if (result.vecWeakFailures.empty())
        Log(QStringLiteral("Resource repair completed: %1 succeeded, %2 failed")
                .arg(nSucceeded)
                .arg(nFailed));
    else
        Log(QStringLiteral("Resource repair completed with %1 total weak replacement file(s) skipped: %2 "
                           "succeeded, %3 failed")
                .arg(result.vecWeakFailures.size())
                .arg(nSucceeded)
                .arg(nFailed));
    Say(QStringLiteral("Repair complete: %1 succeeded, %2 failed, %3 file(s) rewritten")
            .arg(nSucceeded)
            .arg(nFailed)
            .arg(result.vecChangedFiles.size()));
    return kExitSuccess;
}
