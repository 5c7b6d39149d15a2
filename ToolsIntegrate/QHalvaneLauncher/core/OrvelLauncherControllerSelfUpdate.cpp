// The controller's launcher self-update: the two offers (after a version check
// and in limited mode), the flow an accepted offer runs, and the hand-over to
// the updater.
#include "OrvelLauncherController.h"

#include "IOrvelUserPrompt.h"
#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "workers/OrvelSelfUpdateWorker.h"

#include <platform/OrvelPlatformNames.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTimer>

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

// QProcess says no more than "Unknown error" when a detached start fails.
QString StartFailureReason(const QString& strProgram)
{
    const QFileInfo info(strProgram);
    if (!info.exists())
        return Text::tr("%1 does not exist").arg(strProgram);
    if (!info.isExecutable())
        return Text::tr("%1 is not executable").arg(strProgram);
    return Text::tr("%1 could not be executed").arg(strProgram);
}

} // namespace

QString OrvelLauncherController::SelfUpdatePackagePath(const QString& strAppDir)
{
    return QDir::cleanPath(strAppDir) + QStringLiteral("/QHalvaneLauncher_update.pkg");
}

void OrvelLauncherController::HandleSelfUpdateConfirmation(bool accepted)
{
    const int nContext = m_nConfirmationContext;
    m_nConfirmationContext = 0;
    if (nContext == 1)
    {
        if (accepted)
        {
            // The check's result stays known: the fallback package version
            // and the idle buttons after a failed attempt rely on it.
            m_uLastServerVersion = m_uSavedServerVersion;
            m_bDownloadAfterCheck = false;
            StartSelfUpdate();
            return;
        }
        FinishCheck(m_bSavedHasUpdate, m_uSavedServerVersion, m_bSavedLauncherCheckOk, true,
                    m_strSavedLauncherError);
        emit SelfUpdateFinished(false);
        if (m_bDownloadAfterCheck && m_bSavedHasUpdate)
        {
            m_bDownloadAfterCheck = false;
            ConfirmAndStartDownload();
        }
        m_bDownloadAfterCheck = false;
        return;
    }
    if (nContext == 2)
    {
        if (accepted)
        {
            StartSelfUpdate();
            return;
        }
        Status(Text::tr("Resource service unavailable"));
        Log(Text::tr("Launcher self-update skipped after IDE resource initialization failure"));
        emit UiLogMessage(
            Text::tr("IDE resource initialization failed. Launcher self-update was skipped by user."));
        emit SelfUpdateFinished(false);
        return;
    }
    Status(Text::tr("Launcher update skipped"));
}

void OrvelLauncherController::RunLauncherOnlyUpdateCheck()
{
    if (!CanStartTask() || m_pSettings == nullptr)
        return;
    Status(Text::tr("Checking launcher update..."));
    Log(Text::tr("Launcher-only update check started because IDE resource initialization failed"));
    const LauncherCheckResult result =
        OrvelFileService::CheckLauncherUpdate(m_pSettings->appDirectory(), *m_pSettings);
    if (!result.success)
    {
        Status(Text::tr("Launcher update check failed"));
        LogBoth(
            Text::tr("Launcher update check failed: %1")
                .arg(OrDefault(result.error, QT_TRANSLATE_NOOP("OrvelLauncherController", "unknown error"))));
        emit SelfUpdateFinished(false);
        return;
    }
    if (result.cacheCleared)
    {
        Log(Text::tr("Launcher cache guid mismatch detected; _cache/ifslauncher was cleared"));
        RefreshVersionState();
    }
    if (!result.changedFiles.isEmpty())
    {
        m_vecLauncherFiles = result.changedFiles;
        m_bLauncherUpdatePending = true;
        m_nConfirmationContext = 2;
        Status(Text::tr("Launcher update available"));
        Log(Text::tr("Launcher self-update available after IDE resource initialization failure"));
        emit SelfUpdateConfirmationRequested(true);
        if (m_pPrompt != nullptr && m_nConfirmationContext == 2)
            HandleSelfUpdateConfirmation(
                OrvelQuestion::IsAffirmative(m_pPrompt->Ask(OrvelQuestion::SelfUpdateConfirmation(true))));
        return;
    }
    Status(Text::tr("Resource service unavailable"));
    Log(Text::tr("Launcher-only update check finished: launcher is already the newest version"));
    emit UiLogMessage(
        Text::tr("IDE resource initialization failed, but launcher is already the newest version."));
    emit SelfUpdateFinished(true);
}

void OrvelLauncherController::StartSelfUpdate()
{
    if (!CanStartTask() || m_pSettings == nullptr)
        return;
    const QString strAppDir = m_pSettings->appDirectory();
    // The files may have changed since the offer: what is packed is what
    // differs now.
    const LauncherCheckResult check = OrvelFileService::CheckLauncherUpdate(strAppDir, *m_pSettings);
    if (!check.success)
    {
        Status(Text::tr("Launcher update check failed"));
        LogBoth(
            Text::tr("Launcher update check failed: %1")
                .arg(OrDefault(check.error, QT_TRANSLATE_NOOP("OrvelLauncherController", "unknown error"))));
        EndSelfUpdate(false);
        return;
    }
    if (check.cacheCleared)
    {
        Log(Text::tr("Launcher cache guid mismatch detected; _cache/ifslauncher was cleared"));
        RefreshVersionState();
    }
    if (check.changedFiles.isEmpty())
    {
        m_bLauncherUpdatePending = false;
        Status(Text::tr("Launcher is already the newest version"));
        Log(Text::tr("Self-update skipped: launcher files are already the newest version"));
        EndSelfUpdate(true);
        return;
    }

    m_bSelfUpdateInProgress = true;
    m_vecLauncherFiles = check.changedFiles;
    const QString strPackage = SelfUpdatePackagePath(strAppDir);
    QFile::remove(strPackage);

    auto* pWorker =
        new OrvelSelfUpdateWorker(strAppDir, m_vecLauncherFiles, strPackage, m_uLastServerVersion);
    PrepareWorker(pWorker);
    const quint64 uGeneration = m_uTaskGeneration;
    connect(pWorker, &OrvelSelfUpdateWorker::UpdaterPrepared, this,
            [this, uGeneration](const QString& strUpdater)
            {
                if (uGeneration != m_uTaskGeneration || m_eKind != TaskSelfUpdate)
                    return;
                Log(Text::tr("Updater prepared successfully: %1").arg(strUpdater));
                if (!m_bStopRequested && !m_bExiting)
                    Status(Text::tr("Building update package..."));
                Log(Text::tr("Self-update package build started"));
            });
    // As every task's Finished: a late one of a task already cleaned up is
    // dropped, and the worker's thread ends with it.
    connect(pWorker, &OrvelSelfUpdateWorker::Finished, this,
            [this, uGeneration](bool bSuccess, bool bStopped, int nStage, const QString& strError,
                                const QString& strDetail, quint32 uVersion)
            {
                if (uGeneration == m_uTaskGeneration)
                    OnSelfUpdatePrepared(bSuccess, bStopped, nStage, strError, strDetail, uVersion);
            });
    QThread* pThread = m_pThread.data();
    connect(
        pWorker, &OrvelSelfUpdateWorker::Finished, pThread, [pThread] { pThread->quit(); },
        Qt::DirectConnection);
    LaunchWorker(TaskSelfUpdate, pWorker, Text::tr("Preparing updater..."),
                 Text::tr("Self-update updater replacement started"));
}

void OrvelLauncherController::OnSelfUpdatePrepared(bool success, bool stopped, int stage, QString error,
                                                   QString detail, quint32 version)
{
    Q_UNUSED(version);
    if (m_eKind != TaskSelfUpdate)
        return;
    m_bTaskActive = false;
    m_stopDeadline.stop();
    const QString strPackage = SelfUpdatePackagePath(m_pSettings->appDirectory());

    // Nothing may hand over once a stop or an exit was asked for.
    if (stopped || (success && (m_bStopRequested || m_bExiting)))
    {
        QFile::remove(strPackage);
        Status(Text::tr("Self-update preparation stopped"));
        Log(Text::tr("Self-update preparation stopped by user"));
        RunAfterCleanup([this] { EndSelfUpdate(false); });
        return;
    }
    if (!success && stage == OrvelSelfUpdateWorker::StageUpdater)
    {
        Status(Text::tr("Failed to prepare updater"));
        LogBoth(Text::tr("Failed to prepare updater: %1")
                    .arg(OrDefault(error, QT_TRANSLATE_NOOP("OrvelLauncherController", "unknown error"))));
        RunAfterCleanup([this] { EndSelfUpdate(false); });
        return;
    }
    if (!success)
    {
        QFile::remove(strPackage);
        Status(Text::tr("Failed to build update package"));
        LogBoth(
            OrDefault(error, QT_TRANSLATE_NOOP("OrvelLauncherController", "Failed to build update package")));
        if (!detail.isEmpty())
            Log(detail);
        RunAfterCleanup(
            [this]
            {
                const bool bIdle = !m_bExiting && m_pPrimary != nullptr && m_pPrimary->IsReady();
                EndSelfUpdate(false);
                if (bIdle)
                    emit ButtonStateChanged(true, false, true, true, true, true);
            });
        return;
    }
    RunAfterCleanup([this, strPackage] { LaunchUpdater(strPackage); });
}

void OrvelLauncherController::LaunchUpdater(const QString& strPackagePath)
{
    if (m_bExiting)
    {
        QFile::remove(strPackagePath);
        EndSelfUpdate(false);
        return;
    }
    const QString strAppDir = QDir::cleanPath(m_pSettings->appDirectory());
    Status(Text::tr("Preparing to launch updater..."));
    Log(Text::tr("Update package built successfully: %1").arg(strPackagePath));
    emit SelfUpdateReady(strPackagePath);

    const QString strUpdater = strAppDir + QLatin1Char('/') + QLatin1String(OrvelPlatform::kUpdaterFileName);
    QProcess process;
    process.setProgram(strUpdater);
    process.setArguments({QStringLiteral("--package"), strPackagePath, QStringLiteral("--target"), strAppDir,
                          QStringLiteral("--pid"), QString::number(QCoreApplication::applicationPid())});
    process.setWorkingDirectory(strAppDir);
    // startDetached reports whether the program was really executed, not only
    // forked: only then may the launcher go away.
    qint64 nPid = 0;
    if (!process.startDetached(&nPid))
    {
        QFile::remove(strPackagePath);
        Status(Text::tr("Failed to launch updater"));
        LogBoth(Text::tr("Failed to launch updater: %1").arg(StartFailureReason(strUpdater)));
        EndSelfUpdate(false);
        return;
    }
    Log(Text::tr("Updater launched: %1").arg(strUpdater));
    emit SelfUpdateFinished(true);
    // The updater waits for this process to end; the window closes on the next turn.
    std::function<void()> fnQuit = m_fnQuit;
    if (!fnQuit)
        fnQuit = [] { QCoreApplication::quit(); };
    QTimer::singleShot(0, this, fnQuit);
}

void OrvelLauncherController::EndSelfUpdate(bool bSuccess)
{
    m_bSelfUpdateInProgress = false;
    if (m_bExiting)
        emit ExitReady();
    else if (m_pPrimary != nullptr && m_pPrimary->IsReady())
        ApplyIdleButtonState();
    else if (!IsBusy())
    {
        // Limited mode: the store's actions stay off, the launch stays on.
        emit ButtonStateChanged(false, false, false, false, false, false);
        emit LaunchStateChanged(true);
        emit StopStateChanged(false);
        emit PauseStateChanged(false, false);
    }
    emit SelfUpdateFinished(bSuccess);
}
