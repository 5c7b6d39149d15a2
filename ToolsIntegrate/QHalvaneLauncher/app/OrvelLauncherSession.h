// One run of the launcher after the single-instance guard: translation and
// style, the controller, the window and the application controller, the busy
// start, the first-start settings, the start-up decision on its own thread and
// the mode the launcher then runs in, and the ordered tear-down. main() makes
// one over the settings, log and configuration writer beside the executable;
// tests make one over a directory of their own.
//
// Threads: everything here runs on the GUI thread except the start-up decision,
// which runs on one detached native thread and comes back as a queued call; a
// result that arrives after TearDown is dropped with its file service.
#pragma once

#include "OrvelApplicationController.h"
#include "OrvelMainWindow.h"
#include "OrvelStartup.h"

#include <QObject>
#include <QPointer>
#include <QTranslator>

#include <memory>

class LauncherLog;
class LauncherSettings;
class OrvelDialogPrompt;
class OrvelFileService;
class OrvelLauncherController;
class QApplication;
class RuntimeConfigWriter;
struct OrvelStartupHandoff;

class OrvelLauncherSession : public QObject
{
    Q_OBJECT

public:
    // Borrowed; each must outlive the session (the start-up thread may still
    // read them after TearDown, so they live to the end of the process in main).
    OrvelLauncherSession(QApplication& app, LauncherSettings& settings, LauncherLog& log,
                         RuntimeConfigWriter& configWriter);
    ~OrvelLauncherSession() override;

    // Makes the application directory the current one (the store
    // configuration's caches are relative to it); translation, style,
    // objects and connections, the busy window; then the
    // first-start settings dialog (from the event loop) or the initialisation.
    void Start();
    // Detaches the file service (ending a task that still runs), then destroys
    // the application controller, window, controller, file service and
    // translator, in that order. Idempotent.
    void TearDown();

    OrvelMainWindow* Window() const { return m_pWindow; }
    OrvelLauncherController* Controller() const { return m_pController.get(); }
    OrvelApplicationController* AppController() const { return m_pAppController; }
    // The start-up thread still works with the settings, log and writer.
    bool IsStartupThreadRunning() const;
    // The start-up result once it has been applied.
    bool StartupDone() const { return m_bStartupDone; }
    const StartupInitializationResult& StartupResult() const { return m_startupResult; }

signals:
    // The application should end with this code (settings cancelled, the
    // configuration could not be written, the window closed for good).
    void QuitRequested(int nExitCode);
    // The start-up result was applied and the mode entered.
    void StartupFinished();

private:
    void BeginInitialisation();
    void OnStartupResult(const StartupInitializationResult& result,
                         std::unique_ptr<OrvelFileService> pService);
    void EnterLimitedMode(const StartupInitializationResult& result);
    void EnterRepairOnlyMode(const StartupInitializationResult& result);
    void ShowFirstStartSettings();
    // The preload page over the window's panel, wired to the window.
    void AttachPreloadPage();

    QApplication& m_app;
    LauncherSettings& m_settings;
    LauncherLog& m_log;
    RuntimeConfigWriter& m_configWriter;

    std::unique_ptr<QTranslator> m_pTranslator;
    std::unique_ptr<OrvelLauncherController> m_pController;
    QPointer<OrvelMainWindow> m_pWindow;
    QPointer<OrvelApplicationController> m_pAppController;
    std::unique_ptr<OrvelDialogPrompt> m_pPrompt;
    std::unique_ptr<OrvelFileService> m_pFileService;
    std::shared_ptr<OrvelStartupHandoff> m_pHandoff;
    StartupInitializationResult m_startupResult;
    bool m_bStartupDone = false;
    bool m_bTornDown = false;
};
