// Wires the main window to the launcher controller and does what belongs to
// the application rather than to either: the settings dialog (with the
// translation it switches), starting the editor, the self-update question and
// the run log. Lives on the GUI thread, as a child of the window.
#pragma once

#include <QObject>
#include <QString>

class IOrvelUserPrompt;
class LauncherLog;
class LauncherSettings;
class OrvelLauncherController;
class OrvelMainWindow;
class QApplication;
class QTranslator;

class OrvelApplicationController : public QObject
{
    Q_OBJECT

public:
    // Every reference is borrowed and must outlive this object; pPrompt asks
    // the self-update question (the window's dialogs).
    OrvelApplicationController(QApplication& app, QTranslator& translator, OrvelMainWindow& window,
                               OrvelLauncherController& controller, LauncherSettings& settings,
                               LauncherLog& log, IOrvelUserPrompt* pPrompt);

    // Makes every connection between window and controller, once.
    void Connect();

signals:
    // The settings dialog switched the language; the translator is installed again.
    void LanguageInstalled(QString strLanguage);

public slots:
    void OnOpenSettings();
    void OnLaunchTool();
    void OnConfirmSelfUpdate(bool bStartupCheck);
    void OnForwardLog(const QString& strMessage);
    void OnSelfUpdateReady(const QString& strPackagePath);
    void OnLanguageChanged(const QString& strLanguage);
    // Launch Tool only while the editor's program is in the working path.
    void RefreshLaunchAvailability();

private:
    // To the run log and the window's log panel.
    void LogBoth(const QString& strMessage);

    QApplication& m_app;
    QTranslator& m_translator;
    OrvelMainWindow& m_window;
    OrvelLauncherController& m_controller;
    LauncherSettings& m_settings;
    LauncherLog& m_log;
    IOrvelUserPrompt* m_pPrompt;
    bool m_bConnected = false;
};
