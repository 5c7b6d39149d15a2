#include "OrvelLauncherController.h"

#include "OrvelSpeedText.h"

#include "IOrvelUserPrompt.h"
#include "LauncherSettings.h"
#include "OrvelActiveProcessGuard.h"
#include "OrvelCorvaneBinding.h"
#include "OrvelFileService.h"
#include "OrvelSpeedText.h"
#include "OrvelWorkPathGuard.h"
#include "workers/OrvelDownloadMode.h"
#include "workers/OrvelGetLatestWorker.h"
#include "workers/OrvelRepairWorker.h"
#include "workers/OrvelVersionCheckWorker.h"
#include "workers/OrvelVersionRollbackWorker.h"
#include "workers/OrvelVersionSwitchWorker.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

namespace
{

// The texts of this file, in the OrvelLauncherController translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelLauncherController)
};

QString OrDefault(const QString& strText, const char* pszDefault)
{
    return strText.isEmpty() ? Text::tr(pszDefault) : strText;
}

bool IsPausable(OrvelLauncherController::TaskKind eKind)
{
    return eKind == OrvelLauncherController::TaskDownload || eKind == OrvelLauncherController::TaskRepair ||
           eKind == OrvelLauncherController::TaskVersionSwitch ||
           eKind == OrvelLauncherController::TaskPreload;
}

bool ShowsSpeed(OrvelLauncherController::TaskKind eKind)
{
    return IsPausable(eKind) || eKind == OrvelLauncherController::TaskRollback;
}

struct KindTexts
{
    const char* pszStopStatus;
    const char* pszStopLog;
    const char* pszExitStatus;
    const char* pszExitLog;
};

KindTexts TextsOf(OrvelLauncherController::TaskKind eKind)
{
    switch (eKind)
    {
    case OrvelLauncherController::TaskVersionCheck:
        return {QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping version check..."),
                QT_TRANSLATE_NOOP("OrvelLauncherController", "User requested version check stop"),
                QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping background task before exit..."),
                QT_TRANSLATE_NOOP("OrvelLauncherController",
                                  "Application exit requested: stopping version check")};
    case OrvelLauncherController::TaskDownload:
        return {QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping download..."),
                QT_TRANSLATE_NOOP("OrvelLauncherController", "User requested resource download stop"),
                QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping download before exit..."),
                QT_TRANSLATE_NOOP("OrvelLauncherController",
                                  "Application exit requested: stopping resource download")};
    case OrvelLauncherController::TaskRepair:
        return {QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping repair..."),
                QT_TRANSLATE_NOOP("OrvelLauncherController", "User requested resource repair stop"),
                QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping repair before exit..."),
                QT_TRANSLATE_NOOP("OrvelLauncherController",
                                  "Application exit requested: stopping resource repair")};
    case OrvelLauncherController::TaskVersionSwitch:
        return {QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping version switch..."),
                QT_TRANSLATE_NOOP("OrvelLauncherController", "User requested version switch stop"),
                QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping version switch before exit..."),
                QT_TRANSLATE_NOOP("OrvelLauncherController",
                                  "Application exit requested: stopping version switch")};
    case OrvelLauncherController::TaskRollback:
        return {
            QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping rollback..."),
            QT_TRANSLATE_NOOP("OrvelLauncherController", "User requested rollback stop"),
            QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping rollback before exit..."),
            QT_TRANSLATE_NOOP("OrvelLauncherController", "Application exit requested: stopping rollback")};
    case OrvelLauncherController::TaskSelfUpdate:
        return {
            QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping self-update preparation..."),
            QT_TRANSLATE_NOOP("OrvelLauncherController", "User requested self-update preparation stop"),
            QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping self-update preparation before exit..."),
            QT_TRANSLATE_NOOP("OrvelLauncherController",
                              "Application exit requested: stopping self-update preparation")};
    case OrvelLauncherController::TaskPreload:
        return {QT_TRANSLATE_NOOP("OrvelLauncherController", "Stopping preload..."),
                QT_TRANSLATE_NOOP("OrvelLauncherController", "User requested preload stop"), nullptr,
                nullptr};
    case OrvelLauncherController::TaskNone:
        break;
    }
    return {nullptr, nullptr, nullptr, nullptr};
}

} // namespace

OrvelLauncherController::OrvelLauncherController(LauncherSettings* pSettings, QObject* pParent)
    : QObject(pParent), m_pSettings(pSettings), m_progressTimer(this), m_stopDeadline(this)
{
    qRegisterMetaType<OrvelTransferProgress>("OrvelTransferProgress");
    m_progressTimer.setInterval(kProgressPollMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &OrvelLauncherController::PublishPolledProgress);
    m_stopDeadline.setSingleShot(true);
    m_stopDeadline.setInterval(kBoundedStopMs);
    connect(&m_stopDeadline, &QTimer::timeout, this, &OrvelLauncherController::OnStopDeadline);
}

OrvelLauncherController::~OrvelLauncherController()
{
    m_progressTimer.stop();
    m_stopDeadline.stop();
    if (m_pWorker != nullptr)
        CancelWorker();
    if (!m_pThread.isNull())
    {
        m_pThread->quit();
        m_pThread->wait();
        delete m_pThread.data();
    }
    delete m_pWorker;
    m_pWorker = nullptr;
    m_pTaskService.reset();
}

void OrvelLauncherController::SetDownloadLimitOverride(quint64 uBytesPerSec)
{
    m_bHasLimitOverride = true;
    m_uLimitOverride = uBytesPerSec;
}

void OrvelLauncherController::LogBoth(const QString& strText)
{
    emit LogMessage(strText);
    emit UiLogMessage(strText);
}

OrvelFileService* OrvelLauncherController::ActiveService() const
{
    return m_pTaskService ? m_pTaskService.get() : m_pPrimary;
}

void OrvelLauncherController::LogTaskFetched()
{
    const OrvelFileService::FetchTotals now = OrvelFileService::FetchedByProcess();
    Log(Text::tr("Fetched %1 in %2 requests")
            .arg(OrvelSizeValue(now.uBytes - m_uFetchedBytesAtStart))
            .arg(now.uRequests - m_uFetchedRequestsAtStart));
}

QString OrvelLauncherController::WorkPath() const
{
    return m_pSettings != nullptr ? m_pSettings->workPath() : QString();
}

// ---------------------------------------------------------------- guards

bool OrvelLauncherController::CanStartTask() const
{
    // No new task while the previous worker's thread still runs, whatever
    // state the flags are in: two workers must never write at once.
    return !m_bTaskActive && !m_bStoppingInBackground && !m_bExiting && m_pThread.isNull() &&
           m_pWorker == nullptr && !m_bReconcileRunning;
}

bool OrvelLauncherController::RequireStore(const QString& strRepairOnlyLog, const QString& strUnavailableLog)
{
    if (m_bRepairOnly && !strRepairOnlyLog.isEmpty())
    {
        Status(Text::tr("Resource version mismatch detected; resource repair is required"));
        Log(strRepairOnlyLog);
        return false;
    }
    if (m_pPrimary == nullptr || !m_pPrimary->IsReady())
    {
        Status(Text::tr("Resource service unavailable"));
        Log(strUnavailableLog);
        return false;
    }
    return true;
}

bool OrvelLauncherController::CheckWorkPathGuard(const QString& strStatus, const QString& strLogText)
{
    QString strReason;
    if (OrvelCheckWorkPath(WorkPath(), &strReason))
        return true;
    Status(strStatus);
    LogBoth(strLogText.arg(strReason));
    return false;
}

bool OrvelLauncherController::CheckActiveProcessGuard(const QString& strOperation)
{
    const OrvelActiveProcessResult result = FindActiveToolProcesses(WorkPath());
    for (const QString& strWarning : result.vecWarnings)
        Log(Text::tr("Active-process check warning: %1").arg(strWarning));
    if (result.vecProcesses.isEmpty())
        return true;
    const OrvelQuestion warning = OrvelQuestion::ActiveProcessWarning(strOperation, result.vecProcesses);
    LogBoth(warning.strText);
    if (m_pPrompt != nullptr)
        m_pPrompt->Ask(warning);
    return false;
}

void OrvelLauncherController::CaptureBaseline()
{
    m_baseline = TaskBaseline();
    if (m_pPrimary == nullptr || !m_pPrimary->IsReady())
        return;
    m_baseline.uPrimaryVersion = m_pPrimary->CurrentVersion();
    if (m_pSettings != nullptr)
        m_baseline.bHasRecord =
            m_pSettings->readProductRecord(&m_baseline.uRecordedVersion, &m_baseline.strRecordedTag);
    m_baseline.bValid = true;
}

// ---------------------------------------------------------------- worker start

template <typename Worker, typename... Args>
void OrvelLauncherController::ConnectFinished(Worker* pWorker, void (Worker::*pSignal)(Args...),
                                              void (OrvelLauncherController::*pSlot)(Args...))
{
    // A Finished queued by a worker whose task was already cleaned up (the file
    // service was replaced meanwhile) must not finish the next task.
    const quint64 uGeneration = m_uTaskGeneration;
    connect(pWorker, pSignal, this,
            [this, uGeneration, pSlot](Args... args)
            {
                if (uGeneration == m_uTaskGeneration)
                    (this->*pSlot)(args...);
            });
    QThread* pThread = m_pThread.data();
    connect(
        pWorker, pSignal, pThread, [pThread](Args...) { pThread->quit(); }, Qt::DirectConnection);
}

void OrvelLauncherController::LaunchWorker(TaskKind eKind, OrvelOperationWorkerBase* pWorker,
                                           const QString& strStatus, const QString& strLog)
{
    m_eKind = eKind;
    m_bTaskActive = true;
    m_bPaused = false;
    m_bStopRequested = false;
    const OrvelFileService::FetchTotals atStart = OrvelFileService::FetchedByProcess();
    m_uFetchedBytesAtStart = atStart.uBytes;
    m_uFetchedRequestsAtStart = atStart.uRequests;
    if (m_bHasLimitOverride)
        pWorker->SetDownloadLimitOverride(m_uLimitOverride);

    emit WorkerActivityChanged(true);
    emit ButtonStateChanged(false, false, false, false, false, false);
    emit LaunchStateChanged(false);
    emit PauseStateChanged(IsPausable(eKind), false);
    emit StopStateChanged(true);
    emit TransferProgressChanged(OrvelTransferProgress());
    Status(strStatus);
    Log(strLog);

    const quint64 uGeneration = m_uTaskGeneration;
    connect(pWorker, &OrvelOperationWorkerBase::FileFailed, this,
            [this, uGeneration](const QString& strPath, const QString& strError)
            {
                if (uGeneration == m_uTaskGeneration)
                    OnFileFailed(strPath, strError);
            });
    connect(pWorker, &OrvelOperationWorkerBase::FileStopped, this,
            [this, uGeneration](const QString& strPath)
            {
                if (uGeneration == m_uTaskGeneration)
                    OnFileStopped(strPath);
            });
    connect(pWorker, &OrvelOperationWorkerBase::WarningRaised, this,
            [this, uGeneration](const QString& strMessage)
            {
                if (uGeneration == m_uTaskGeneration)
                    OnWorkerWarning(strMessage);
            });
    connect(m_pThread.data(), &QThread::finished, this, &OrvelLauncherController::OnWorkerThreadFinished);

    m_elapsed.start();
    m_pThread->start();
    m_progressTimer.start();
    QMetaObject::invokeMethod(pWorker, "DoWork", Qt::QueuedConnection);
}

void OrvelLauncherController::PrepareWorker(OrvelOperationWorkerBase* pWorker)
{
    ++m_uTaskGeneration;
    m_snapshot.Clear();
    m_pWorker = pWorker;
    m_pThread = new QThread();
    m_pWorker->moveToThread(m_pThread.data());
}

// ---------------------------------------------------------------- version check

void OrvelLauncherController::CheckForUpdates()
{
    if (!CanStartTask())
        return;
    if (!RequireStore(Text::tr("Check update skipped: repair-only mode is active"),
                      Text::tr("Check update skipped: resource service unavailable")))
        return;
    m_bDownloadAfterCheck = false;
    StartVersionCheck();
}

void OrvelLauncherController::StartVersionCheck()
{
    // A new task: a source the last one passed over is asked again.
    OrvelCorvaneBinding::ResetSources();
    const QString strAppDir = m_pSettings != nullptr ? m_pSettings->appDirectory() : QString();
    auto* pWorker = new OrvelVersionCheckWorker(m_pPrimary, m_pSettings, strAppDir);
    PrepareWorker(pWorker);
    ConnectFinished(pWorker, &OrvelVersionCheckWorker::Finished,
                    &OrvelLauncherController::OnCheckUpdateFinished);
    LaunchWorker(TaskVersionCheck, pWorker, Text::tr("Checking for updates..."),
                 Text::tr("Check update started"));
}

void OrvelLauncherController::OnCheckUpdateFinished(bool success, bool hasUpdate, quint32 serverVersion,
                                                    QString errorMessage, bool launcherCacheCleared,
                                                    bool launcherCheckSuccess, bool hasLauncherUpdate,
                                                    QString launcherErrorMessage, QStringList launcherFiles,
                                                    bool serverUnreachable)
{
    if (m_eKind != TaskVersionCheck)
        return;
    m_bTaskActive = false;
    m_stopDeadline.stop();
    LogTaskFetched();
    const bool bStartupCheck = !m_bServerVersionKnown;
    m_bServerVersionKnown = true;
    const bool bDownloadAfter = m_bDownloadAfterCheck;

    if (launcherCacheCleared)
    {
        Log(Text::tr("Launcher cache guid/version mismatch detected; _cache/ifslauncher was cleared"));
        RefreshVersionState();
    }
    if (m_bExiting)
    {
        RunAfterCleanup([this] { FinishIdleOrExit(); });
        return;
    }
    if (m_bStopRequested)
    {
        Status(Text::tr("Version check stopped"));
        Log(Text::tr("Version check stopped by user"));
        RunAfterCleanup([this] { FinishIdleOrExit(); });
        return;
    }
    if (!success)
    {
        if (serverUnreachable)
        {
            Status(errorMessage);
            LogBoth(errorMessage);
        }
        else
        {
            Status(Text::tr("Check update failed"));
            LogBoth(Text::tr("Check update failed: %1")
                        .arg(OrDefault(errorMessage,
                                       QT_TRANSLATE_NOOP("OrvelLauncherController", "unknown error"))));
        }
        m_bDownloadAfterCheck = false;
        RunAfterCleanup(
            [this, errorMessage]
            {
                if (m_bExiting)
                {
                    emit ExitReady();
                    return;
                }
                ApplyIdleButtonState();
                emit ButtonStateChanged(true, false, true, true, true, true);
                emit CheckUpdateFailed(
                    OrDefault(errorMessage, QT_TRANSLATE_NOOP("OrvelLauncherController", "unknown error")));
                emit CheckUpdateFinished(false, 0);
            });
        return;
    }
    if (hasLauncherUpdate && !launcherFiles.isEmpty())
    {
        m_vecLauncherFiles = launcherFiles;
        m_bLauncherUpdatePending = true;
        m_nConfirmationContext = 1;
        m_bSavedHasUpdate = hasUpdate;
        m_uSavedServerVersion = serverVersion;
        m_bSavedStartupCheck = bStartupCheck;
        m_bSavedLauncherCheckOk = launcherCheckSuccess;
        m_strSavedLauncherError = launcherErrorMessage;
        RunAfterCleanup(
            [this, bDownloadAfter]
            {
                m_bDownloadAfterCheck = bDownloadAfter;
                Status(Text::tr("Launcher update available"));
                Log(Text::tr("Launcher self-update available before finalizing version check"));
                emit SelfUpdateConfirmationRequested(m_bSavedStartupCheck);
                if (m_pPrompt != nullptr && m_nConfirmationContext == 1)
                    HandleSelfUpdateConfirmation(OrvelQuestion::IsAffirmative(
                        m_pPrompt->Ask(OrvelQuestion::SelfUpdateConfirmation(m_bSavedStartupCheck))));
            });
        return;
    }
    RunAfterCleanup(
        [this, hasUpdate, serverVersion, launcherCheckSuccess, launcherErrorMessage, bDownloadAfter]
        {
            if (bDownloadAfter && !hasUpdate && RefuseOlderLatest(serverVersion))
            {
                ApplyIdleButtonState();
                emit ButtonStateChanged(true, false, true, true, true, true);
                emit CheckUpdateFailed(Text::tr("Download refused: the server offers an older version"));
                emit CheckUpdateFinished(false, serverVersion);
                return;
            }
            FinishCheck(hasUpdate, serverVersion, launcherCheckSuccess, false, launcherErrorMessage);
            if (bDownloadAfter && hasUpdate)
                ConfirmAndStartDownload(serverVersion);
        });
}

void OrvelLauncherController::FinishCheck(bool bHasUpdate, quint32 uServerVersion, bool bLauncherCheckOk,
                                          bool bLauncherUpdatePending, const QString& strLauncherError)
{
    m_uLastServerVersion = uServerVersion;
    // The built-in notice in the launcher's language; English when it has none.
    QString strNotice = QStringLiteral(":/html/releaseNote_outnet.html");
    if (m_pSettings != nullptr)
    {
        const QString strLocalized =
            QStringLiteral(":/html/releaseNote_outnet_%1.html").arg(m_pSettings->language());
        if (QFile::exists(strLocalized))
            strNotice = strLocalized;
    }
    QFile notice(strNotice);
    if (notice.open(QIODevice::ReadOnly))
    {
        const QString strHtml = QString::fromUtf8(notice.readAll());
        if (!strHtml.isEmpty())
            emit UpdateNoticeFetched(strHtml);
    }
    ApplyIdleButtonState();
    if (bLauncherUpdatePending && bHasUpdate)
    {
        Status(Text::tr("Launcher and resource updates available"));
        emit ButtonStateChanged(true, true, true, true, true, true);
        emit CheckUpdateFinished(true, uServerVersion);
    }
    else if (bLauncherUpdatePending)
    {
        Status(Text::tr("Launcher update available"));
        emit ButtonStateChanged(true, false, true, true, true, true);
        emit CheckUpdateFinished(false, uServerVersion);
    }
    else if (bHasUpdate)
    {
        Status(bLauncherCheckOk ? Text::tr("Resource update available")
                                : Text::tr("Resource update available; launcher check unavailable"));
        emit ButtonStateChanged(true, true, true, true, true, true);
        emit CheckUpdateFinished(true, uServerVersion);
    }
    else if (bLauncherCheckOk)
    {
        Status(Text::tr("Already the newest version"));
        Log(Text::tr("Check update finished: launcher and resources are already the newest version"));
        emit ButtonStateChanged(true, false, true, true, true, true);
        emit CheckUpdateFinished(false, uServerVersion);
    }
    else
    {
        Status(Text::tr("Resources are already the newest version; launcher check unavailable"));
        LogBoth(Text::tr("Launcher update check unavailable: %1")
                    .arg(OrDefault(strLauncherError,
                                   QT_TRANSLATE_NOOP("OrvelLauncherController", "unknown reason"))));
        emit ButtonStateChanged(true, false, true, true, true, true);
        emit CheckUpdateFinished(false, uServerVersion);
    }
}

// ---------------------------------------------------------------- download

void OrvelLauncherController::StartDownload()
{
    if (!CanStartTask())
        return;
    if (!RequireStore(Text::tr("Download skipped: repair-only mode is active"),
                      Text::tr("Download skipped: resource service unavailable")))
        return;
    m_bDownloadAfterCheck = true;
    StartVersionCheck();
}

void OrvelLauncherController::ConfirmAndStartDownload(quint32 uCheckedVersion)
{
    if (!CanStartTask() || m_pPrimary == nullptr)
        return;
    // The version a check has just found is what the user is asked about:
    // binding to it reads its index from the cache, with no round trip to
    // ask the server for its latest version once more.
    QString strError;
    std::unique_ptr<OrvelFileService> pLatest = m_pPrimary->CreateVersionBoundService(
        uCheckedVersion != 0 ? uCheckedVersion : OrvelFileService::kLatestVersion, &strError);
    if (!pLatest)
    {
        Status(Text::tr("Resource download blocked"));
        LogBoth(Text::tr("Resource download blocked: failed to load latest version info: %1")
                    .arg(OrDefault(strError, QT_TRANSLATE_NOOP("OrvelLauncherController", "unknown error"))));
        ApplyIdleButtonState();
        return;
    }
    QString strLatest = QStringLiteral("v%1").arg(pLatest->CurrentVersion());
    const PakInfoResult info = pLatest->ReadPakInfo();
    if (info.status == PakInfoResult::StatusOk && !info.releaseText.isEmpty())
        strLatest += QStringLiteral(" - %1").arg(info.releaseText);
    const OrvelQuestion question = OrvelQuestion::GetLatestConfirmation(strLatest);
    const OrvelQuestion::Button eAnswer = m_pPrompt != nullptr ? m_pPrompt->Ask(question) : question.eDefault;
    if (!OrvelQuestion::IsAffirmative(eAnswer))
    {
        Status(Text::tr("Get Latest cancelled"));
        Log(Text::tr("Resource download cancelled before start after latest version confirmation"));
        ApplyIdleButtonState();
        return;
    }
    StartDownloadTask(std::move(pLatest));
}

void OrvelLauncherController::StartDownloadTask(std::unique_ptr<OrvelFileService> pLatest)
{
    if (!CanStartTask())
        return;
    if (!CheckWorkPathGuard(Text::tr("Download blocked"), Text::tr("Resource download blocked: %1")) ||
        !CheckActiveProcessGuard(Text::tr("resource download")))
    {
        ApplyIdleButtonState();
        return;
    }
    CaptureBaseline();
    const quint32 uLatest = pLatest->CurrentVersion();
    if (RefuseOlderLatest(uLatest))
    {
        ApplyIdleButtonState();
        return;
    }
    if (!PrepareWorkingPathChange(pLatest.get(), TaskDownload))
    {
        ApplyIdleButtonState();
        return;
    }
    m_uTaskTargetVersion = uLatest;
    m_pTaskService = std::move(pLatest);

    auto* pWorker = new OrvelGetLatestWorker(m_pTaskService.get(), m_pSettings, &m_snapshot, WorkPath());
    DownloadModeDecision decision =
        ChooseDownloadMode(m_baseline.bHasRecord, m_baseline.uRecordedVersion, uLatest);
    // The recorded version's hashes tell the store's files from the user's,
    // also after an interrupted task: what it wrote is of its own target.
    if ((m_baseline.bHasRecord || m_baseline.bInterrupted) &&
        m_baseline.uRecordedVersion == m_baseline.uPrimaryVersion)
        pWorker->SetRemovalBaseline(m_baseline.uRecordedVersion);
    const bool bForcedFull = m_bForceFull && decision.IsIncremental();
    if (bForcedFull)
        decision.eReason = DownloadModeDecision::NoBaseline;
    // The worker reads its range in DoWork on its own thread: it must be set
    // before that thread starts, never after the queued start.
    if (decision.IsIncremental())
        pWorker->SetIncrementalRange(decision.uFromVersion, decision.uToVersion);
    PrepareWorker(pWorker);
    ConnectFinished(pWorker, &OrvelGetLatestWorker::Finished, &OrvelLauncherController::OnGetLastestFinished);
    LaunchWorker(TaskDownload, pWorker, Text::tr("Downloading updates..."),
                 Text::tr("Resource download started"));
    if (bForcedFull)
        Log(Text::tr("Using full download (requested)"));
    else if (decision.eReason == DownloadModeDecision::AlreadyAtLatest)
        Log(Text::tr("Download skipped: already at latest version"));
    else
        Log(decision.LogText());
}

bool OrvelLauncherController::RefuseOlderLatest(quint32 uLatest)
{
    // A server (or a mirror that stopped updating) can hand out an older,
    // validly signed latest version: get-latest never goes down, only an
    // explicit switch does.
    quint32 uRecorded = 0;
    QString strTag;
    if (m_pSettings == nullptr || uLatest == 0 || !m_pSettings->readProductRecord(&uRecorded, &strTag) ||
        uLatest >= uRecorded)
        return false;
    Status(Text::tr("Download refused: the server offers an older version"));
    LogBoth(Text::tr("Resource download refused: the server's latest version v%1 is older than the "
                     "installed version v%2; switch to an older version explicitly to go back")
                .arg(uLatest)
                .arg(uRecorded));
    return true;
}

void OrvelLauncherController::OnGetLastestFinished(bool success)
{
    if (m_eKind == TaskDownload)
        CompleteVersionChangingTask(success, 0, 0);
}

// ---------------------------------------------------------------- repair

void OrvelLauncherController::StartRepair()
{
    StartRepairTask(true);
}

void OrvelLauncherController::StartRepairTask(bool bAsk)
{
    if (!CanStartTask())
        return;
    // A new task: a source the last one passed over is asked again.
    OrvelCorvaneBinding::ResetSources();
    if (!RequireStore(QString(), Text::tr("Repair skipped: resource service unavailable")))
        return;
    QString strError;
    std::unique_ptr<OrvelFileService> pService =
        m_pPrimary->CreateVersionBoundService(m_pPrimary->CurrentVersion(), &strError);
    if (!pService)
    {
        const QString strReason =
            OrDefault(strError, QT_TRANSLATE_NOOP("OrvelLauncherController",
                                                  "failed to create current version service"));
        Status(Text::tr("Resource service unavailable"));
        Log(Text::tr("Repair skipped: %1").arg(strReason));
        emit UiLogMessage(Text::tr("Resource repair blocked: %1").arg(strReason));
        return;
    }
    if (!CheckWorkPathGuard(Text::tr("Repair blocked"), Text::tr("Resource repair blocked: %1")) ||
        !CheckActiveProcessGuard(Text::tr("resource repair")))
        return;
    const OrvelQuestion question = OrvelQuestion::RepairConfirmation();
    const OrvelQuestion::Button eAnswer = !bAsk                  ? OrvelQuestion::Yes
                                          : m_pPrompt != nullptr ? m_pPrompt->Ask(question)
                                                                 : question.eDefault;
    if (!OrvelQuestion::IsAffirmative(eAnswer))
    {
        Status(Text::tr("Repair cancelled"));
        Log(Text::tr("Resource repair cancelled before start"));
        return;
    }
    CaptureBaseline();
    if (!PrepareWorkingPathChange(pService.get(), TaskRepair))
        return;
    m_uTaskTargetVersion = pService->CurrentVersion();
    m_pTaskService = std::move(pService);
    auto* pWorker = new OrvelRepairWorker(m_pTaskService.get(), m_pSettings, &m_snapshot, WorkPath());
    PrepareWorker(pWorker);
    ConnectFinished(pWorker, &OrvelRepairWorker::Finished, &OrvelLauncherController::OnRepairFinished);
    LaunchWorker(TaskRepair, pWorker, Text::tr("Repairing resources..."),
                 Text::tr("Resource repair started"));
}

void OrvelLauncherController::OnRepairFinished(bool success, int successCount, int failCount)
{
    if (m_eKind == TaskRepair)
        CompleteVersionChangingTask(success, successCount, failCount);
}

// ---------------------------------------------------------------- version switch

void OrvelLauncherController::OpenVersionBrowse()
{
    if (!CanStartTask())
        return;
    if (!RequireStore(Text::tr("Version browse skipped: repair-only mode is active"),
                      Text::tr("Version browse skipped: resource service unavailable")))
        return;
    quint32 uVersion = 0;
    if (m_pPrompt == nullptr || !m_pPrompt->ChooseVersion(m_pPrimary, &uVersion))
        return;
    StartVersionSwitch(uVersion);
}

void OrvelLauncherController::StartVersionSwitch(quint32 uVersion)
{
    if (!CanStartTask())
        return;
    // A new task: a source the last one passed over is asked again.
    OrvelCorvaneBinding::ResetSources();
    if (!RequireStore(Text::tr("Version browse skipped: repair-only mode is active"),
                      Text::tr("Version browse skipped: resource service unavailable")))
        return;
    QString strError;
    std::unique_ptr<OrvelFileService> pTarget = m_pPrimary->CreateVersionBoundService(uVersion, &strError);
    if (!pTarget)
    {
        Status(Text::tr("Version switch failed to initialize target version"));
        Log(Text::tr("Failed to create version-bound file service for version %1: %2")
                .arg(uVersion)
                .arg(OrDefault(strError, QT_TRANSLATE_NOOP("OrvelLauncherController", "unknown error"))));
        return;
    }
    if (!CheckWorkPathGuard(Text::tr("Version switch blocked"), Text::tr("Version switch blocked: %1")) ||
        !CheckActiveProcessGuard(Text::tr("version switch")))
        return;
    CaptureBaseline();
    if (!PrepareWorkingPathChange(pTarget.get(), TaskVersionSwitch))
        return;
    const quint32 uCurrent = m_baseline.uPrimaryVersion;
    m_uTaskTargetVersion = pTarget->CurrentVersion();
    m_pTaskService = std::move(pTarget);
    auto* pWorker = new OrvelVersionSwitchWorker(m_pPrimary, m_pTaskService.get(), m_pSettings, &m_snapshot,
                                                 uCurrent, m_uTaskTargetVersion, WorkPath());
    if (m_baseline.bInterrupted)
        pWorker->SetBaselineUntrusted();
    PrepareWorker(pWorker);
    ConnectFinished(pWorker, &OrvelVersionSwitchWorker::Finished,
                    &OrvelLauncherController::OnVersionSwitchFinished);
    LaunchWorker(TaskVersionSwitch, pWorker, Text::tr("Switching resource version..."),
                 Text::tr("Version switch started: %1 -> %2").arg(uCurrent).arg(m_uTaskTargetVersion));
}

void OrvelLauncherController::OnVersionSwitchFinished(bool success, int replacedCount, int skippedCount)
{
    if (m_eKind == TaskVersionSwitch)
        CompleteVersionChangingTask(success, replacedCount, skippedCount);
}

// ---------------------------------------------------------------- completion

TaskResultData OrvelLauncherController::EndTaskAndReadResult()
{
    m_bTaskActive = false;
    m_stopDeadline.stop();
    LogTaskFetched();
    const TaskResultData result = m_snapshot.Read();
    if (result.bProgressValid)
        emit ProgressChanged(result.uProgressCurrent, result.uProgressTotal, result.strProgressDetail);
    // Where the transfer ended: all of it, or as far as a stop let it come.
    PublishTransferProgress();
    return result;
}

void OrvelLauncherController::CompleteVersionChangingTask(bool bSuccess, int nFirstCount, int nSecondCount)
{
    const TaskKind eKind = m_eKind;
    const TaskResultData result = EndTaskAndReadResult();
    const bool bStopped = m_bStopRequested || m_bExiting;
    const bool bExiting = m_bExiting;
    LogStaleFiles(result, bSuccess);

    auto fnFinishedSignal = [this, eKind, nFirstCount, nSecondCount](bool bOk)
    {
        if (eKind == TaskDownload)
            emit DownloadFinished(bOk);
        else if (eKind == TaskRepair)
            emit RepairFinished(bOk, nFirstCount, nSecondCount);
        else if (eKind == TaskVersionSwitch)
            emit VersionSwitchFinished(bOk);
    };

    if (!bSuccess)
    {
        QString strFailureStatus;
        QString strFailureLog;
        QString strStoppedStatus;
        QString strStoppedLog;
        QString strExitStatus;
        QString strExitLog;
        switch (eKind)
        {
        case TaskDownload:
            strFailureStatus = Text::tr("Update failed");
            strFailureLog = bStopped ? Text::tr("Resource download stopped by user: %1")
                                           .arg(OrDefault(result.strStatusMessage,
                                                          QT_TRANSLATE_NOOP("OrvelLauncherController",
                                                                            "download stopped by user")))
                                     : Text::tr("Resource download failed: %1").arg(result.strStatusMessage);
            strStoppedStatus = Text::tr("Download stopped");
            strStoppedLog = Text::tr("Resource download stopped by user");
            strExitStatus = Text::tr("Download stopped, exiting...");
            strExitLog = Text::tr("Resource download stopped for application exit");
            break;
        case TaskVersionSwitch:
            strFailureStatus = Text::tr("Version switch failed");
            strFailureLog = bStopped
                                ? Text::tr("Version switch stopped by user: %1")
                                      .arg(OrDefault(result.strStatusMessage,
                                                     QT_TRANSLATE_NOOP("OrvelLauncherController",
                                                                       "version switch stopped by user")))
                                : Text::tr("Version switch failed: %1").arg(result.strStatusMessage);
            strStoppedStatus = Text::tr("Version switch stopped");
            strStoppedLog = Text::tr("Version switch stopped by user");
            strExitStatus = Text::tr("Version switch stopped, exiting...");
            strExitLog = Text::tr("Version switch stopped for application exit");
            break;
        default:
        {
            const QString strLast =
                OrDefault(result.strStatusMessage,
                          bStopped ? QT_TRANSLATE_NOOP("OrvelLauncherController", "repair stopped by user")
                                   : QT_TRANSLATE_NOOP("OrvelLauncherController", "unknown error"));
            strFailureStatus = Text::tr("Repair failed");
            strFailureLog =
                (bStopped
                     ? Text::tr("Resource repair stopped by user: %1 succeeded, %2 failed, last error: %3")
                     : Text::tr("Resource repair failed: %1 succeeded, %2 failed, last error: %3"))
                    .arg(nFirstCount)
                    .arg(nSecondCount)
                    .arg(strLast);
            strStoppedStatus = Text::tr("Repair stopped");
            strStoppedLog = Text::tr("Resource repair stopped by user");
            strExitStatus = Text::tr("Repair stopped, exiting...");
            strExitLog = Text::tr("Resource repair stopped for application exit");
            break;
        }
        }

        // Without a record nothing was ever in place to go back to (a first
        // install): what was written is whole files of the target, no record
        // claims them, and the next download completes them. A rollback would
        // only fetch the same files again.
        if (!result.vecChangedFiles.isEmpty() && !m_baseline.bHasRecord)
            Log(Text::tr(
                    "Rollback skipped: no sync baseline; %1 file(s) already written are kept for the next "
                    "download")
                    .arg(result.vecChangedFiles.size()));
        else if (!result.vecChangedFiles.isEmpty())
        {
            // The working path now holds a mix of two versions: put it back,
            // also when the application is exiting (ExitReady follows the rollback).
            m_vecRollbackFiles = result.vecChangedFiles;
            m_vecRollbackCreated = result.vecCreatedFiles;
            if (bExiting)
            {
                Status(strExitStatus);
                Log(strExitLog);
            }
            LogBoth(strFailureLog);
            emit ShowLogOverlay();
            fnFinishedSignal(false);
            RunAfterCleanup([this] { StartRollback(); });
            return;
        }
        if (result.vecChangedFiles.isEmpty())
            DropPendingMark();
        if (bStopped)
        {
            Status(bExiting ? strExitStatus : strStoppedStatus);
            Log(bExiting ? strExitLog : strStoppedLog);
        }
        else
        {
            Status(strFailureStatus);
            LogBoth(strFailureLog);
            emit ShowLogOverlay();
        }
        fnFinishedSignal(false);
        RunAfterCleanup([this] { FinishIdleOrExit(); });
        return;
    }

    // Succeeded: the working path is at the task's version.
    const int nWeakSkipped = bExiting ? static_cast<int>(result.vecWeakFailures.size())
                                      : RunWeakReplacementRetry(result.vecWeakFailures);
    const quint32 uVersion = m_uTaskTargetVersion;
    QString strTag;
    OrvelFileService* pTaskService = ActiveService();
    const PakInfoResult info = pTaskService != nullptr ? pTaskService->ReadPakInfo() : PakInfoResult();
    if (info.status == PakInfoResult::StatusOk)
        strTag = info.tag;
    else
    {
        const QString strError =
            info.error.isEmpty() && pTaskService != nullptr ? pTaskService->LastError() : info.error;
        const char* pszText =
            eKind == TaskDownload ? QT_TRANSLATE_NOOP("OrvelLauncherController",
                                                      "Failed to read download sync tag after completion: %1")
            : eKind == TaskVersionSwitch
                ? QT_TRANSLATE_NOOP("OrvelLauncherController",
                                    "Failed to read version switch sync tag after completion: %1")
                : QT_TRANSLATE_NOOP("OrvelLauncherController",
                                    "Failed to read repair sync tag after completion: %1");
        Log(Text::tr(pszText).arg(strError));
        // Read before the task began: a record without it would send the next
        // start into repair-only mode over files that are all in place.
        strTag = m_strTaskTag;
    }
    const bool bRecorded = m_pSettings != nullptr && m_pSettings->writeProductRecord(uVersion, strTag);
    if (!bRecorded)
        LogBoth(Text::tr("Failed to write the product version record: %1")
                    .arg(m_pSettings != nullptr ? m_pSettings->productRecordPath() : QString()));
    // Files the repair rewrote; the others it found correct already.
    const int nRestored = static_cast<int>(result.vecChangedFiles.size());
    // What the controller adds to the worker's own time (start, polling,
    // completion, record); the benchmark reads it.
    Log(Text::tr("Task took %1 ms, its worker %2 ms").arg(m_elapsed.elapsed()).arg(result.nWorkMs));
    if (eKind != TaskRepair)
        emit StaleFilesHandled(result.vecRemovedFiles.size(), result.vecKeptFiles.size());
    // Without its record the working path is claimed by no version: the task
    // ends as a failed one would, in repair-only mode.
    fnFinishedSignal(bRecorded);

    RunAfterCleanup(
        [this, eKind, uVersion, nFirstCount, nSecondCount, nWeakSkipped, nRestored, bRecorded]
        {
            if (eKind == TaskDownload && m_pPrimary != nullptr && !m_pPrimary->Rebind(uVersion))
                Log(Text::tr("Warning: failed to switch primary file service to downloaded version %1: %2")
                        .arg(uVersion)
                        .arg(m_pPrimary->LastError()));
            if (eKind == TaskVersionSwitch && m_pPrimary != nullptr)
            {
                if (m_pPrimary->Rebind(uVersion))
                    Log(Text::tr("Primary file service switched to target version %1").arg(uVersion));
                else
                    Log(Text::tr("Warning: failed to switch primary file service to target version %1: %2")
                            .arg(uVersion)
                            .arg(m_pPrimary->LastError()));
            }
            if (eKind == TaskRepair && bRecorded)
            {
                m_bRepairOnly = false;
                ResetNoticeState();
            }
            emit SyncVersionChanged(uVersion);
            RefreshVersionState();
            emit ProgressChanged(100, 100, QStringLiteral("complete"));
            switch (eKind)
            {
            case TaskDownload:
                Status(Text::tr("Update complete"));
                Log(nWeakSkipped == 0
                        ? Text::tr("Resource download completed successfully")
                        : Text::tr("Resource download completed with %1 total weak replacement file(s) "
                                   "skipped")
                              .arg(nWeakSkipped));
                break;
            case TaskVersionSwitch:
                Status(Text::tr("Version switch complete"));
                Log(nWeakSkipped == 0
                        ? Text::tr("Version switch completed: %1 replaced, %2 preserved")
                              .arg(nFirstCount)
                              .arg(nSecondCount)
                        : Text::tr("Version switch completed with %1 total weak replacement file(s) "
                                   "skipped: %2 replaced, %3 preserved")
                              .arg(nWeakSkipped)
                              .arg(nFirstCount)
                              .arg(nSecondCount));
                break;
            default:
            {
                const int nCorrect = qMax(0, nFirstCount - nRestored);
                Status((nWeakSkipped == 0
                            ? Text::tr("Repair complete: %1 files restored, %2 already correct")
                            : Text::tr("Repair complete with weak replacement skips: %1 files restored, %2 "
                                       "already correct"))
                           .arg(nRestored)
                           .arg(nCorrect));
                Log(nWeakSkipped == 0
                        ? Text::tr("Resource repair completed: %1 files restored, %2 already correct")
                              .arg(nRestored)
                              .arg(nCorrect)
                        : Text::tr("Resource repair completed with %1 total weak replacement file(s) "
                                   "skipped: %2 files restored, %3 already correct")
                              .arg(nWeakSkipped)
                              .arg(nRestored)
                              .arg(nCorrect));
                break;
            }
            }
            if (nWeakSkipped > 0 && eKind != TaskRepair)
                Status(Text::tr("Task complete with weak replacement skips"));
            if (!bRecorded)
            {
                Status(Text::tr("The version record could not be written; resource repair is required"));
                m_bRepairOnly = true;
            }
            FinishIdleOrExit();
        });
}

void OrvelLauncherController::LogStaleFiles(const TaskResultData& result, bool bSuccess)
{
    const quint32 uTarget = m_uTaskTargetVersion;
    for (int i = 0; i < result.vecKeptFiles.size(); ++i)
        Log(Text::tr("Kept %1, which version %2 does not hold: %3")
                .arg(result.vecKeptFiles.at(i))
                .arg(uTarget)
                .arg(result.vecKeptReasons.value(i)));
    if (result.vecRemovedFiles.isEmpty())
        return;
    for (const QString& strPath : result.vecRemovedFiles)
        Log(Text::tr("Removed %1, which version %2 does not hold").arg(strPath).arg(uTarget));
    // A failed task's removals are among the files its rollback brings back.
    if (bSuccess)
        Log(Text::tr("Removed %1 file(s) that version %2 does not hold")
                .arg(result.vecRemovedFiles.size())
                .arg(uTarget));
}

int OrvelLauncherController::RunWeakReplacementRetry(const std::vector<WeakReplacementFailure>& vecFailures)
{
    if (vecFailures.empty())
        return 0;
    if (m_pPrompt == nullptr)
    {
        Log(Text::tr("Weak replacement retry skipped by user: %1 file(s)").arg(vecFailures.size()));
        return static_cast<int>(vecFailures.size());
    }
    const OrvelWeakRetryOutcome outcome =
        m_pPrompt->RetryWeakReplacements(vecFailures, ActiveService(), WorkPath());
    const int nSkipped = static_cast<int>(outcome.vecUnresolved.size());
    if (outcome.bRetried)
        Log(Text::tr("Weak replacement retry finished: %1 succeeded, %2 skipped")
                .arg(static_cast<int>(vecFailures.size()) - nSkipped)
                .arg(nSkipped));
    else
        Log(Text::tr("Weak replacement retry skipped by user: %1 file(s)").arg(nSkipped));
    return nSkipped;
}

// ---------------------------------------------------------------- rollback

void OrvelLauncherController::StartRollback()
{
    const QStringList vecFiles = m_vecRollbackFiles;
    const QStringList vecCreated = m_vecRollbackCreated;
    m_vecRollbackFiles.clear();
    m_vecRollbackCreated.clear();
    if (!m_baseline.bValid)
    {
        LogBoth(Text::tr("Logic error: rollback baseline unavailable when rollback should start"));
        MarkRepairRequired(Text::tr("rollback baseline unavailable"));
        FinishIdleOrExit();
        return;
    }
    if (vecFiles.isEmpty())
    {
        LogBoth(Text::tr("Logic error: no applied files available when rollback should start"));
        FinishIdleOrExit();
        return;
    }
    QString strReason;
    if (!OrvelCheckWorkPath(WorkPath(), &strReason))
    {
        LogBoth(Text::tr("Logic error: rollback work path invalid: %1").arg(strReason));
        MarkRepairRequired(strReason);
        FinishIdleOrExit();
        return;
    }
    QString strError;
    std::unique_ptr<OrvelFileService> pService =
        m_pPrimary != nullptr ? m_pPrimary->CreateVersionBoundService(m_baseline.uPrimaryVersion, &strError)
                              : nullptr;
    if (!pService)
    {
        LogBoth(Text::tr("Logic error: failed to create rollback file service for version %1: %2")
                    .arg(m_baseline.uPrimaryVersion)
                    .arg(OrDefault(strError, QT_TRANSLATE_NOOP("OrvelLauncherController",
                                                               "primary file service unavailable"))));
        MarkRepairRequired(strError);
        FinishIdleOrExit();
        return;
    }
    m_pTaskService = std::move(pService);
    m_uTaskTargetVersion = m_baseline.uPrimaryVersion;
    auto* pWorker =
        new OrvelVersionRollbackWorker(m_pTaskService.get(), vecFiles, m_pSettings, &m_snapshot, WorkPath());
    pWorker->SetCreatedFiles(vecCreated);
    PrepareWorker(pWorker);
    ConnectFinished(pWorker, &OrvelVersionRollbackWorker::Finished,
                    &OrvelLauncherController::OnRollbackFinished);
    LaunchWorker(TaskRollback, pWorker, Text::tr("Rolling back changes..."),
                 Text::tr("Rollback started for %1 modified files").arg(vecFiles.size()));
}

void OrvelLauncherController::OnRollbackFinished(bool success, int rollbackSuccessCount,
                                                 int rollbackFailCount)
{
    if (m_eKind != TaskRollback)
        return;
    const TaskResultData result = EndTaskAndReadResult();
    const bool bStopped = m_bStopRequested || m_bExiting;

    if (success)
    {
        // Every changed file is the baseline's again: the record may say so.
        if (m_pSettings != nullptr)
        {
            if (m_baseline.bHasRecord)
                m_pSettings->writeProductRecord(m_baseline.uRecordedVersion, m_baseline.strRecordedTag);
            else
                m_pSettings->clearProductRecord();
        }
        Status(Text::tr("Rollback complete"));
        Log(Text::tr("Rollback succeeded (%1 succeeded, %2 failed)")
                .arg(rollbackSuccessCount)
                .arg(rollbackFailCount));
    }
    else if (bStopped)
    {
        Status(Text::tr("Rollback stopped"));
        LogBoth(Text::tr("Rollback stopped: %1 succeeded, %2 failed, last status: %3")
                    .arg(rollbackSuccessCount)
                    .arg(rollbackFailCount)
                    .arg(OrDefault(result.strStatusMessage,
                                   QT_TRANSLATE_NOOP("OrvelLauncherController", "stopped by user"))));
        MarkRepairRequired(Text::tr("rollback stopped"));
    }
    else
    {
        Status(Text::tr("Rollback failed"));
        LogBoth(Text::tr("Rollback failed: %1 succeeded, %2 failed, last error: %3")
                    .arg(rollbackSuccessCount)
                    .arg(rollbackFailCount)
                    .arg(OrDefault(result.strStatusMessage,
                                   QT_TRANSLATE_NOOP("OrvelLauncherController", "unknown error"))));
        emit ShowLogOverlay();
        MarkRepairRequired(Text::tr("rollback failed"));
    }

    RunAfterCleanup(
        [this]
        {
            const quint32 uBaseline = m_baseline.uPrimaryVersion;
            if (!m_baseline.bValid)
                Log(Text::tr("Failed to restore primary file service after rollback: %1")
                        .arg(Text::tr("rollback baseline unavailable")));
            else if (m_pPrimary == nullptr)
                Log(Text::tr("Failed to restore primary file service after rollback: %1")
                        .arg(Text::tr("primary file service unavailable")));
            else if (m_pPrimary->CurrentVersion() != uBaseline && !m_pPrimary->Rebind(uBaseline))
                Log(Text::tr("Failed to restore primary file service after rollback: %1")
                        .arg(Text::tr("failed to restore primary file service")));
            RefreshVersionState();
            FinishIdleOrExit();
        });
}

void OrvelLauncherController::MarkRepairRequired(const QString& strReason)
{
    // The working path is in no published version now. A record kept at the
    // baseline would let the next start trust it; a record without a tag
    // makes the next start enter repair-only mode instead, and this session
    // offers only the repair from here on.
    if (m_pSettings != nullptr)
        m_pSettings->writeProductRecord(m_baseline.bValid ? m_baseline.uPrimaryVersion : 0, QString());
    LogBoth(
        Text::tr("The working path could not be restored (%1); resource repair is required").arg(strReason));
    m_bRepairOnly = true;
}

// ---------------------------------------------------------------- pause, stop, exit

void OrvelLauncherController::TogglePause()
{
    if (!m_bTaskActive || !IsPausable(m_eKind) || m_bStoppingInBackground || m_bStopRequested || m_bExiting)
        return;
    OrvelFileService* pService = ActiveService();
    if (m_bPaused)
    {
        if (pService != nullptr)
            pService->Resume();
        if (m_pWorker != nullptr)
            m_pWorker->Resume();
        m_bPaused = false;
        Status(Text::tr("Continuing transfer..."));
        Log(Text::tr("Transfer resumed"));
    }
    else
    {
        if (pService != nullptr)
            pService->Pause();
        if (m_pWorker != nullptr)
            m_pWorker->Pause();
        m_bPaused = true;
        Status(Text::tr("Transfer paused"));
        Log(Text::tr("Transfer paused"));
    }
    emit PauseStateChanged(true, m_bPaused);
    emit DownloadSpeedChanged(m_bPaused || pService == nullptr ? 0 : pService->DownloadSpeed());
}

void OrvelLauncherController::StopCurrentTask()
{
    if (!m_bTaskActive || m_bStopRequested || m_bStoppingInBackground || m_bExiting)
        return;
    m_bStopRequested = true;
    m_bPaused = false;
    const KindTexts texts = TextsOf(m_eKind);
    if (texts.pszStopStatus != nullptr)
    {
        Status(Text::tr(texts.pszStopStatus));
        Log(Text::tr(texts.pszStopLog));
    }
    emit StopStateChanged(false);
    emit PauseStateChanged(IsPausable(m_eKind), false);
    CancelWorker();
    // Every worker ends with Finished before its thread ends, so the
    // completion always arrives through the task's slot; a worker that ignores
    // the cancel is left to end in the background after the bounded wait.
    if (!m_pThread.isNull() && !m_pThread->isFinished())
        m_stopDeadline.start();
}

void OrvelLauncherController::RequestApplicationExit()
{
    if (m_bExiting)
        return;
    if (!m_bTaskActive && !m_bStoppingInBackground && m_pThread.isNull())
    {
        m_bExiting = true;
        emit ExitReady();
        return;
    }
    m_bExiting = true;
    if (m_bStoppingInBackground || !m_bTaskActive)
        return; // OnWorkerThreadFinished answers
    const KindTexts texts = TextsOf(m_eKind);
    if (texts.pszExitStatus != nullptr)
    {
        Status(Text::tr(texts.pszExitStatus));
        Log(Text::tr(texts.pszExitLog));
    }
    emit ButtonStateChanged(false, false, false, false, false, false);
    emit LaunchStateChanged(false);
    emit PauseStateChanged(false, false);
    emit StopStateChanged(false);
    CancelWorker();
    m_stopDeadline.start();
}

void OrvelLauncherController::CancelWorker()
{
    // The worker learns of the stop before its transfers are cut: an open
    // that fails from then on is the stop's doing, not the server's.
    if (m_pWorker != nullptr)
        m_pWorker->Cancel();
    // No quit() here: a stop that came before DoWork was delivered would end
    // the thread without the worker ever running or emitting Finished, and
    // the task would never complete. Finished quits the thread.
    if (!m_pThread.isNull())
        m_pThread->requestInterruption();
    if (m_eKind != TaskPreload)
    {
        OrvelFileService* pService = ActiveService();
        if (pService != nullptr)
        {
            pService->Resume();
            pService->AbortDownloads();
        }
    }
}

void OrvelLauncherController::OnStopDeadline()
{
    // The worker has not answered the cancel within the bounded time.
    if (m_bTaskActive && !m_pThread.isNull() && !m_pThread->isFinished())
    {
        m_bTaskActive = false;
        EnterBackgroundStop();
    }
}

bool OrvelLauncherController::StopAndCleanup(bool bBounded)
{
    if (m_bTaskActive)
        CancelWorker();
    m_progressTimer.stop();
    m_stopDeadline.stop();
    if (!m_pThread.isNull() && !m_pThread->isFinished())
    {
        const bool bEnded = m_bStoppingInBackground
                                ? false
                                : (bBounded ? m_pThread->wait(kBoundedStopMs) : m_pThread->wait());
        if (!bEnded && bBounded)
        {
            m_bTaskActive = false;
            if (!m_bStoppingInBackground)
                EnterBackgroundStop();
            return false;
        }
        if (!bEnded)
            m_pThread->wait();
    }
    CleanupTaskState();
    return true;
}

void OrvelLauncherController::CleanupTaskState()
{
    // The thread has ended: nothing uses the worker or the task service now.
    const bool bWasInBackground = m_bStoppingInBackground;
    delete m_pWorker;
    m_pWorker = nullptr;
    if (!m_pThread.isNull())
        m_pThread->deleteLater();
    m_pThread = nullptr;
    m_snapshot.Clear();
    m_pTaskService.reset();
    m_bTaskActive = false;
    m_bPaused = false;
    m_bStopRequested = false;
    m_bStoppingInBackground = false;
    m_bDownloadAfterCheck = false;
    m_eKind = TaskNone;
    m_elapsed.invalidate();
    m_progressTimer.stop();
    emit WorkerActivityChanged(false);
    emit DownloadSpeedChanged(0);
    emit PauseStateChanged(false, false);
    emit StopStateChanged(false);
    if (bWasInBackground)
        Log(Text::tr("Background task cleanup completed"));
}

void OrvelLauncherController::EnterBackgroundStop()
{
    m_bStoppingInBackground = true;
    m_bTaskActive = false;
    m_progressTimer.stop();
    emit WorkerActivityChanged(true);
    emit ButtonStateChanged(false, false, false, false, false, false);
    emit LaunchStateChanged(false);
    Status(Text::tr("Background task is still stopping..."));
    Log(Text::tr("Background task did not stop within timeout; cleanup will continue asynchronously"));
    emit DownloadSpeedChanged(0);
    emit PauseStateChanged(false, false);
    emit StopStateChanged(false);
}

void OrvelLauncherController::RunAfterCleanup(std::function<void()> fnAfter)
{
    if (StopAndCleanup(true))
        fnAfter();
    else
        m_fnAfterThread = std::move(fnAfter);
}

void OrvelLauncherController::OnWorkerThreadFinished()
{
    QThread* pFinished = qobject_cast<QThread*>(sender());
    if (pFinished == nullptr || pFinished != m_pThread.data())
        return;
    if (m_bTaskActive)
    {
        // Every worker emits Finished before its thread ends, and that queued
        // call arrives first; a thread that ended without it must still give
        // the buttons back.
        Log(Text::tr("Worker thread ended without a result"));
        CleanupTaskState();
        FinishIdleOrExit();
        return;
    }
    if (!m_bStoppingInBackground)
        return; // the completion slot cleans up
    CleanupTaskState();
    std::function<void()> fnAfter = std::move(m_fnAfterThread);
    m_fnAfterThread = nullptr;
    if (fnAfter)
        fnAfter();
    else
        FinishIdleOrExit();
}

void OrvelLauncherController::FinishIdleOrExit()
{
    if (m_bExiting)
        emit ExitReady();
    else
        ApplyIdleButtonState();
}

void OrvelLauncherController::ApplyIdleButtonState()
{
    if (m_bExiting || IsBusy())
        return;
    if (m_bRepairOnly)
        emit ButtonStateChanged(false, false, true, false, false, true);
    else
    {
        quint32 uRecorded = 0;
        const bool bHasRecord = m_pSettings != nullptr && m_pSettings->readProductRecord(&uRecorded, nullptr);
        const bool bDownload = m_bServerVersionKnown && m_pPrimary != nullptr && m_pPrimary->IsReady() &&
                               (!bHasRecord || m_uLastServerVersion > uRecorded);
        emit ButtonStateChanged(true, bDownload, true, true, true, true);
    }
    // A task that was cut off left a tree that is no version: nothing starts
    // the editor over it until a task has made it whole.
    emit LaunchStateChanged(m_pSettings == nullptr || !m_pSettings->productRecordPending());
    emit StopStateChanged(false);
    emit PauseStateChanged(false, false);
}

// ---------------------------------------------------------------- progress, services

void OrvelLauncherController::PublishPolledProgress()
{
    if (m_pWorker == nullptr)
        return;
    quint32 uCurrent = 0;
    quint32 uTotal = 0;
    QString strDetail;
    if (m_pWorker->TryTakeProgress(&uCurrent, &uTotal, &strDetail))
        emit ProgressChanged(uCurrent, uTotal, strDetail);
    if (ShowsSpeed(m_eKind))
    {
        OrvelFileService* pService = ActiveService();
        emit DownloadSpeedChanged(m_bPaused || pService == nullptr ? 0 : pService->DownloadSpeed());
    }
    PublishTransferProgress();
}

void OrvelLauncherController::PublishTransferProgress()
{
    OrvelTransferProgress progress;
    if (m_pWorker == nullptr || !m_pWorker->TransferProgress(&progress))
        return;
    // Without a plan the speed is the reader's meter, as the speed label has it.
    if (!progress.bPlanned && m_bTaskActive)
    {
        OrvelFileService* pService = ActiveService();
        progress.uBytesPerSecond = pService != nullptr ? pService->DownloadSpeed() : 0;
    }
    if (m_bPaused || !m_bTaskActive)
        progress.uBytesPerSecond = 0;
    emit TransferProgressChanged(progress);
}

void OrvelLauncherController::OnFileFailed(QString filePath, QString error)
{
    LogBoth(Text::tr("Failed: %1 - %2").arg(filePath, error));
}

void OrvelLauncherController::OnFileStopped(QString filePath)
{
    LogBoth(Text::tr("Stopped: %1").arg(filePath));
}

void OrvelLauncherController::OnWorkerWarning(QString message)
{
    LogBoth(message);
}

void OrvelLauncherController::SetFileService(OrvelFileService* pService)
{
    if (pService == m_pPrimary)
        return;
    if (m_bTaskActive || m_bStoppingInBackground || !m_pThread.isNull())
    {
        // The old service may be in use by the worker: wait for it to end.
        m_bStoppingInBackground = false;
        StopAndCleanup(false);
        m_fnAfterThread = nullptr;
        // Its queued completion belongs to a task that no longer exists.
        ++m_uTaskGeneration;
    }
    m_pTaskService.reset();
    ResetNoticeState();
    m_pPrimary = pService;
    RefreshVersionState();
}

void OrvelLauncherController::SetRepairOnlyMode(bool bOn)
{
    m_bRepairOnly = bOn;
    if (IsBusy())
        return;
    if (bOn)
    {
        emit ButtonStateChanged(false, false, true, false, false, true);
        emit LaunchStateChanged(true);
        emit StopStateChanged(false);
        emit PauseStateChanged(false, false);
    }
    else
        ApplyIdleButtonState();
}

void OrvelLauncherController::RefreshVersionState()
{
    QString strText;
    if (m_pPrimary != nullptr && m_pPrimary->IsReady())
    {
        const PakInfoResult info = m_pPrimary->ReadPakInfo();
        if (info.status == PakInfoResult::StatusOk)
            strText = info.releaseText;
    }
    emit TitleVersionRefreshRequested(strText);
}
