#include "OrvelApplicationController.h"

#include "IOrvelUserPrompt.h"
#include "LauncherLog.h"
#include "LauncherSettings.h"
#include "OrvelAppResources.h"
#include "OrvelEditorPath.h"
#include "OrvelFileService.h"
#include "OrvelLauncherController.h"
#include "OrvelMainWindow.h"
#include "OrvelSettingsDialog.h"

#include <QApplication>
#include <QProcess>

OrvelApplicationController::OrvelApplicationController(QApplication& app, QTranslator& translator,
                                                       OrvelMainWindow& window,
                                                       OrvelLauncherController& controller,
                                                       LauncherSettings& settings, LauncherLog& log,
                                                       IOrvelUserPrompt* pPrompt)
    : QObject(&window), m_app(app), m_translator(translator), m_window(window), m_controller(controller),
      m_settings(settings), m_log(log), m_pPrompt(pPrompt)
{
}

void OrvelApplicationController::Connect()
{
    if (m_bConnected)
        return;
    m_bConnected = true;
    OrvelMainWindow* pWindow = &m_window;
    OrvelLauncherController* pController = &m_controller;
    using W = OrvelMainWindow;
    using C = OrvelLauncherController;

    connect(pWindow, &W::CheckUpdateClicked, pController, &C::CheckForUpdates);
    connect(pWindow, &W::DownloadClicked, pController, &C::StartDownload);
    connect(pWindow, &W::VersionBrowseClicked, pController, &C::OpenVersionBrowse);
    connect(pWindow, &W::NoticeOpenRequested, pController, &C::OpenUpdateNotice);
    connect(pWindow, &W::NoticeBrowseUpRequested, pController, &C::BrowseNoticeUp);
    connect(pWindow, &W::NoticeBrowseDownRequested, pController, &C::BrowseNoticeDown);
    connect(pWindow, &W::RepairClicked, pController, &C::StartRepair);
    connect(pWindow, &W::ReconcileClicked, pController, &C::StartDirectoryReconcile);
    connect(pWindow, &W::PauseResumeClicked, pController, &C::TogglePause);
    connect(pWindow, &W::StopClicked, pController, &C::StopCurrentTask);
    connect(pWindow, &W::ExitRequested, pController, &C::RequestApplicationExit);
    connect(pWindow, &W::SettingsClicked, this, &OrvelApplicationController::OnOpenSettings);
    connect(pWindow, &W::LaunchClicked, this, &OrvelApplicationController::OnLaunchTool);
    connect(pWindow, &W::PreloadExecutionRequested, pController, &C::StartPreloadExecution);

    const Qt::ConnectionType eQueued = Qt::QueuedConnection;
    connect(pController, &C::StatusChanged, pWindow, &W::OnStatusChanged, eQueued);
    connect(pController, &C::ProgressChanged, pWindow, &W::OnProgressChanged, eQueued);
    connect(pController, &C::TransferProgressChanged, pWindow, &W::OnTransferProgressChanged, eQueued);
    connect(pController, &C::DownloadSpeedChanged, pWindow, &W::OnDownloadSpeedChanged, eQueued);
    connect(pController, &C::WorkerActivityChanged, pWindow, &W::OnWorkerActivityChanged, eQueued);
    connect(pController, &C::PauseStateChanged, pWindow, &W::OnPauseStateChanged, eQueued);
    connect(pController, &C::StopStateChanged, pWindow, &W::OnStopStateChanged, eQueued);
    connect(pController, &C::LogMessage, this, &OrvelApplicationController::OnForwardLog, eQueued);
    connect(pController, &C::UiLogMessage, pWindow, &W::AppendLog, eQueued);
    connect(pController, &C::ShowLogOverlay, pWindow, &W::OnShowLogOverlay, eQueued);
    connect(pController, &C::PreloadFinished, pWindow, &W::OnPreloadFinished, eQueued);
    connect(pController, &C::ButtonStateChanged, pWindow, &W::OnButtonStateChanged);
    // Whenever the launch may be offered again the editor's presence is
    // looked at first (a task, a new working path may have changed it).
    connect(pController, &C::LaunchStateChanged, this,
            &OrvelApplicationController::RefreshLaunchAvailability);
    connect(pController, &C::LaunchStateChanged, pWindow, &W::OnLaunchStateChanged);
    connect(this, &OrvelApplicationController::LanguageInstalled, this,
            &OrvelApplicationController::RefreshLaunchAvailability);
    RefreshLaunchAvailability();
    connect(pController, &C::ExitReady, pWindow, &W::OnExitReady, eQueued);
    connect(pController, &C::SelfUpdateConfirmationRequested, this,
            &OrvelApplicationController::OnConfirmSelfUpdate);
    connect(pController, &C::SelfUpdateReady, this, &OrvelApplicationController::OnSelfUpdateReady);
    connect(pController, &C::UpdateNoticeFetched, pWindow, &W::OnUpdateNoticeFetched, eQueued);
    connect(pController, &C::UpdateNoticeOverlayReady, pWindow, &W::OnUpdateNoticeOverlayReady, eQueued);
    connect(pController, &C::TitleVersionRefreshRequested, pWindow, &W::OnTitleVersionRefreshRequested,
            eQueued);
}

void OrvelApplicationController::OnOpenSettings()
{
    OrvelSettingsDialog dialog(m_settings, &m_window);
    connect(&dialog, &OrvelSettingsDialog::LanguageChanged, this,
            &OrvelApplicationController::OnLanguageChanged);
    if (m_controller.FileService() != nullptr && !m_controller.IsBusy())
        dialog.SetStoreTrust(m_controller.FileService()->StoreTrustText());
    const QString strWorkPath = m_settings.workPath();
    dialog.exec();
    RefreshLaunchAvailability();
    // The product record belongs to its working path: what the last check
    // offered is stale for another one, which may need everything.
    if (m_settings.workPath() != strWorkPath && m_controller.FileService() != nullptr &&
        !m_controller.IsBusy() && !m_controller.IsRepairOnly())
        m_controller.CheckForUpdates();
}

void OrvelApplicationController::OnLanguageChanged(const QString& strLanguage)
{
    OrvelAppResources::InstallTranslation(m_app, m_translator, strLanguage);
    emit LanguageInstalled(strLanguage);
}

void OrvelApplicationController::LogBoth(const QString& strMessage)
{
    m_log.write(strMessage);
    m_window.AppendLog(strMessage);
}

void OrvelApplicationController::OnLaunchTool()
{
    const QString strWorkPath = m_settings.workPath();
    const OrvelEditorProgram program = OrvelEditorPath::Resolve(strWorkPath);
    LogBoth(tr("Launching program: %1").arg(OrvelEditorPath::JoinedProgramPath(strWorkPath)));
    if (!program.ok)
    {
        LogBoth(program.strError);
        LogBoth(tr("Failed to launch program: %1").arg(OrvelEditorPath::JoinedProgramPath(strWorkPath)));
        return;
    }
    QString strWhy = OrvelEditorPath::StartBlocker(strWorkPath, program.strProgram);
    if (strWhy.isEmpty())
    {
        QProcess process;
        process.setProgram(program.strProgram);
        process.setWorkingDirectory(strWorkPath);
        if (process.startDetached())
            return;
        strWhy = process.errorString();
    }
    LogBoth(tr("Failed to launch program: %1").arg(program.strProgram));
    LogBoth(strWhy);
    RefreshLaunchAvailability();
}

void OrvelApplicationController::RefreshLaunchAvailability()
{
    m_window.SetLaunchBlockedReason(OrvelEditorPath::MissingReason(m_settings.workPath()));
}

void OrvelApplicationController::OnConfirmSelfUpdate(bool bStartupCheck)
{
    const OrvelQuestion question = OrvelQuestion::SelfUpdateConfirmation(bStartupCheck);
    const OrvelQuestion::Button eAnswer = m_pPrompt != nullptr ? m_pPrompt->Ask(question) : question.eDefault;
    m_controller.HandleSelfUpdateConfirmation(eAnswer == OrvelQuestion::Yes);
}

void OrvelApplicationController::OnForwardLog(const QString& strMessage)
{
    m_log.write(strMessage);
}

void OrvelApplicationController::OnSelfUpdateReady(const QString& strPackagePath)
{
    // The controller starts the updater and quits; the window says what comes next.
    m_window.AppendLog(tr("Launcher update package ready: %1").arg(strPackagePath));
}
