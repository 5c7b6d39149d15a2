#include "OrvelLauncherSession.h"

#include "LauncherLog.h"
#include "LauncherSettings.h"
#include "OrvelAppResources.h"
#include "OrvelApplicationController.h"
#include "OrvelDialogPrompt.h"
#include "OrvelFileService.h"
#include "OrvelLauncherController.h"
#include "OrvelMainWindow.h"
#include "OrvelPreloadPageWidget.h"
#include "OrvelSettingsDialog.h"
#include "OrvelWindowIconSyncFilter.h"
#include "RuntimeConfigWriter.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <mutex>
#include <thread>

// What the start-up thread and the session share: the receiver of the
// result, cleared under the mutex when the session tears down, so the thread
// never posts to an object that is going away.
struct OrvelStartupHandoff
{
    std::mutex mutex;
    OrvelLauncherSession* pReceiver = nullptr;
    bool bStarted = false;
    bool bDone = false; // the thread touches nothing of the session's any more
};

OrvelLauncherSession::OrvelLauncherSession(QApplication& app, LauncherSettings& settings, LauncherLog& log,
                                           RuntimeConfigWriter& configWriter)
    : m_app(app), m_settings(settings), m_log(log), m_configWriter(configWriter),
      m_pHandoff(std::make_shared<OrvelStartupHandoff>())
{
    m_pHandoff->pReceiver = this;
}

OrvelLauncherSession::~OrvelLauncherSession()
{
    TearDown();
}

void OrvelLauncherSession::Start()
{
    // The store configuration names its caches relative to the installation,
    // and the library writes its log into the current directory.
    QDir::setCurrent(m_settings.appDirectory());
    m_pTranslator = std::make_unique<QTranslator>();
    OrvelAppResources::InstallTranslation(m_app, *m_pTranslator, m_settings.language());
    OrvelAppResources::ApplyStyleSheet(m_app, m_log);

    m_pController = std::make_unique<OrvelLauncherController>(&m_settings);

    m_pWindow = new OrvelMainWindow(m_settings);
    if (!QApplication::windowIcon().isNull())
        m_pWindow->setWindowIcon(QApplication::windowIcon());
    m_pPrompt = std::make_unique<OrvelDialogPrompt>(m_pWindow.data());
    m_pController->SetUserPrompt(m_pPrompt.get());
    m_pWindow->show();
    m_pWindow->RefreshTitleVersions();
    m_pWindow->OnLaunchStateChanged(true);
    OrvelWindowIconSyncFilter::Apply(m_pWindow);

    m_pAppController = new OrvelApplicationController(m_app, *m_pTranslator, *m_pWindow, *m_pController,
                                                      m_settings, m_log, m_pPrompt.get());
    m_pAppController->Connect();
    AttachPreloadPage();
    connect(m_pWindow, &OrvelMainWindow::ClosedForGood, this, [this] { emit QuitRequested(0); });

    // Nothing but settings, the log and closing until the store is known.
    m_pWindow->SetBusy(true);
    m_pWindow->OnButtonStateChanged(false, false, false, false, false, false);
    m_pWindow->OnLaunchStateChanged(false);
    m_pWindow->OnStatusChanged(tr("Checking FileService startup state..."));

    if (!m_settings.hasWorkPath())
    {
        m_pWindow->OnStatusChanged(tr("Please complete initial settings to continue startup."));
        QTimer::singleShot(0, m_pWindow, [this] { ShowFirstStartSettings(); });
        return;
    }
    BeginInitialisation();
}

void OrvelLauncherSession::AttachPreloadPage()
{
    auto* pPage = new OrvelPreloadPageWidget(&m_settings, &m_configWriter);
    pPage->setObjectName(QStringLiteral("preloadPage"));
    m_pWindow->SetPreloadPage(pPage);
    OrvelMainWindow* pWindow = m_pWindow;
    // The page opens once its table has loaded; a failure is in the log panel.
    connect(pWindow, &OrvelMainWindow::PreloadPageRequested, pPage,
            [pWindow, pPage]
            {
                pPage->Activate();
                if (pPage->IsLoaded())
                    pWindow->ShowPreloadPage();
            });
    connect(pPage, &OrvelPreloadPageWidget::BackRequested, pWindow, &OrvelMainWindow::HidePreloadPage);
    connect(pPage, &OrvelPreloadPageWidget::LogMessage, pWindow, &OrvelMainWindow::AppendLog);
    connect(pPage, &OrvelPreloadPageWidget::StartExecutionRequested, pWindow,
            &OrvelMainWindow::PreloadExecutionRequested);
    connect(pWindow, &OrvelMainWindow::PreloadResultReady, pPage,
            &OrvelPreloadPageWidget::OnExecutionFinished);
}

void OrvelLauncherSession::ShowFirstStartSettings()
{
    OrvelSettingsDialog dialog(m_settings, m_pWindow);
    connect(&dialog, &OrvelSettingsDialog::LanguageChanged, m_pAppController,
            &OrvelApplicationController::OnLanguageChanged);
    if (dialog.exec() == QDialog::Accepted && !m_bTornDown)
    {
        BeginInitialisation();
        return;
    }
    emit QuitRequested(0);
}

void OrvelLauncherSession::BeginInitialisation()
{
    if (!m_configWriter.WriteProductConfig())
    {
        const QString strError = m_configWriter.LastError();
        m_log.write(strError);
        QMessageBox::critical(m_pWindow, tr("Error"), strError);
        // A launcher that could not start says so to whoever started it.
        emit QuitRequested(1);
        return;
    }
    const QString strConfigPath = m_configWriter.ProductConfigPath();
    std::shared_ptr<OrvelStartupHandoff> pHandoff = m_pHandoff;
    {
        std::lock_guard<std::mutex> lock(pHandoff->mutex);
        pHandoff->bStarted = true;
    }
    LauncherSettings* pSettings = &m_settings;
    LauncherLog* pLog = &m_log;
    RuntimeConfigWriter* pWriter = &m_configWriter;
    QThread* pMainThread = thread();
    std::thread(
        [pHandoff, pSettings, pLog, pWriter, strConfigPath, pMainThread]
        {
            auto pService = std::make_unique<OrvelFileService>();
            StartupInitializationResult result;
            if (pSettings != nullptr)
                result = OrvelStartup::Decide(*pService, *pSettings, *pLog, *pWriter, strConfigPath);
            else
                result.error = tr("Startup settings unavailable");
            std::unique_lock<std::mutex> lock(pHandoff->mutex);
            if (pHandoff->pReceiver == nullptr)
            {
                // The session is gone: the service ends here, on its own thread.
                lock.unlock();
                pService.reset();
                lock.lock();
                pHandoff->bDone = true;
                return;
            }
            pService->moveToThread(pMainThread);
            // Owned by the queued call until it runs; if it never runs, the
            // event's destruction on the GUI thread frees the service there.
            auto pCarrier = std::make_shared<std::unique_ptr<OrvelFileService>>(std::move(pService));
            OrvelLauncherSession* pReceiver = pHandoff->pReceiver;
            QMetaObject::invokeMethod(
                pReceiver,
                [pReceiver, result, pCarrier] { pReceiver->OnStartupResult(result, std::move(*pCarrier)); },
                Qt::QueuedConnection);
            pHandoff->bDone = true;
        })
        .detach();
}

void OrvelLauncherSession::OnStartupResult(const StartupInitializationResult& result,
                                           std::unique_ptr<OrvelFileService> pService)
{
    if (m_bTornDown || m_pWindow.isNull())
        return;
    m_pFileService = std::move(pService);
    m_pController->SetFileService(m_pFileService.get());
    m_pWindow->SetBusy(false);
    m_pController->RefreshVersionState();
    m_startupResult = result;
    if (!result.success)
        EnterLimitedMode(result);
    else if (result.mode == StartupInitializationResult::ModeRepairOnlyLatest)
        EnterRepairOnlyMode(result);
    else
    {
        m_log.write(tr("Launcher started in normal mode"));
        if (!m_pController->OfferToFinishInterruptedTask())
            m_pController->CheckForUpdates();
    }
    m_bStartupDone = true;
    emit StartupFinished();
}

void OrvelLauncherSession::EnterLimitedMode(const StartupInitializationResult& result)
{
    const QString strStatus = result.error.isEmpty() ? tr("Resource service unavailable") : result.error;
    m_pWindow->OnButtonStateChanged(false, false, false, false, false, false);
    // The working path may have been chosen since the window was wired.
    if (m_pAppController)
        m_pAppController->RefreshLaunchAvailability();
    m_pWindow->OnLaunchStateChanged(true);
    m_pWindow->OnStatusChanged(strStatus);
    m_log.write(result.error.isEmpty() ? tr("Launcher started in limited mode") : result.error);
    m_pWindow->AppendLog(tr("IDE resource initialization is unavailable. Resource actions are disabled, but "
                            "offline launch remains available."));
    QMessageBox::warning(m_pWindow, tr("Limited Mode"), strStatus);
    if (!m_bTornDown && m_pController)
        m_pController->RunLauncherOnlyUpdateCheck();
}

void OrvelLauncherSession::EnterRepairOnlyMode(const StartupInitializationResult& result)
{
    m_pController->SetRepairOnlyMode(true);
    m_pWindow->OnStatusChanged(tr("Resource version mismatch detected. Resource repair is required before "
                                  "update features can be used."));
    m_pWindow->AppendLog(
        !result.notice.isEmpty()
            ? result.notice
            : tr("Recorded resource sync state mismatched the current Corvane state. Switched to "
                 "latest version and enabled repair-only mode."));
    if (result.removedCacheItems > 0)
        m_pWindow->AppendLog(
            tr("Removed %1 cache item(s) from _cache and rebuilt Corvane reader for repair-only "
               "startup.")
                .arg(result.removedCacheItems));
    m_log.write(tr("Launcher started in repair-only latest mode"));
}

bool OrvelLauncherSession::IsStartupThreadRunning() const
{
    std::lock_guard<std::mutex> lock(m_pHandoff->mutex);
    return m_pHandoff->bStarted && !m_pHandoff->bDone;
}

void OrvelLauncherSession::TearDown()
{
    if (m_bTornDown)
        return;
    m_bTornDown = true;
    {
        std::lock_guard<std::mutex> lock(m_pHandoff->mutex);
        m_pHandoff->pReceiver = nullptr;
    }
    if (m_pController)
        m_pController->SetFileService(nullptr);
    delete m_pAppController.data();
    delete m_pWindow.data();
    m_pController.reset();
    m_pPrompt.reset();
    m_pFileService.reset();
    if (m_pTranslator)
        m_app.removeTranslator(m_pTranslator.get());
    m_pTranslator.reset();
}
