// The launcher's only main window: a frameless window with a sidebar of tool
// buttons, the title with the launcher's and the product's versions, the
// update-notice card, the download / preload / launch actions, the status line
// with progress, pause/resume, stop and speed, and the log and notice overlays.
// It is a view: clicks become signals, controller signals become widget state;
// it does no store work. Widgets carry the object names the style sheet uses.
//
// Closing: hides to the tray, exits, or asks, as the settings say. Exit is
// asked for once (ExitRequested); the window closes for good on OnExitReady
// and then emits ClosedForGood. Everything runs on the GUI thread.
#pragma once

#include "OrvelPreloadItem.h"
#include "OrvelTransferProgress.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

class LauncherSettings;
class OrvelCloseConfirmDialog;
class OrvelTrayIcon;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTextBrowser;
class QToolButton;

class OrvelMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int kDefaultWidth = 1000;
    static constexpr int kDefaultHeight = 640;

    // settings (not owned) must outlive the window: records for the title,
    // the close behaviour and its remembered choice.
    explicit OrvelMainWindow(LauncherSettings& settings, QWidget* pParent = nullptr);
    ~OrvelMainWindow() override;

    OrvelTrayIcon* Tray() const { return m_pTray; }
    // Replaces the tray (owned from now on); for a platform without one, or a test.
    void SetTray(OrvelTrayIcon* pTray);

    // "Speed: --", "Speed: 512 B/s", "Speed: 1.5 KB/s", "Speed: 150 KB/s".
    static QString SpeedText(quint64 uBytesPerSec);

    // The preload page, shown over the panel when ShowPreloadPage is called
    // (after PreloadPageRequested); owned by the window once attached.
    void SetPreloadPage(QWidget* pPage);
    QWidget* PreloadPage() const { return m_pPreloadPage; }
    void ShowPreloadPage();
    void HidePreloadPage();

    bool IsWorkerActive() const { return m_bWorkerActive; }
    bool IsExitRequested() const { return m_bExitRequested; }

signals:
    void CheckUpdateClicked();
    void DownloadClicked();
    void RepairClicked();
    void ReconcileClicked();
    void PauseResumeClicked();
    void StopClicked();
    void SettingsClicked();
    void LaunchClicked();
    void VersionBrowseClicked();
    void ExitRequested();
    void NoticeOpenRequested();
    void NoticeBrowseUpRequested();
    void NoticeBrowseDownRequested();
    // The preload button while no task runs: whoever owns the page loads its
    // table and calls ShowPreloadPage.
    void PreloadPageRequested();
    // The preload page asks for a run.
    void PreloadExecutionRequested(OrvelPreloadItemList tasks, QString preloadConfigPath,
                                   QString productConfigPath);
    // The controller's preload result, for the page.
    void PreloadResultReady(bool bSuccess);
    // The window accepted its final close (after OnExitReady).
    void ClosedForGood();

public slots:
    void OnPreload();
    void OnPauseResume();
    void OnStop();
    void OnToggleLog();
    void OnNoticeTitle();
    void OnMinimizeWindow();
    void OnCloseWindow();
    void OnTrayShowWindow();
    void OnTrayQuit();
    void OnCloseConfirmDialogFinished(int nResult);

    // Receivers of the controller's signals.
    void OnStatusChanged(const QString& strStatus);
    void OnProgressChanged(quint32 uCurrent, quint32 uTotal, const QString& strDetail);
    // While it is Known() the bar goes by bytes: "42% (12.5 MB of 30.0 MB, ...)".
    void OnTransferProgressChanged(const OrvelTransferProgress& progress);
    void OnDownloadSpeedChanged(quint64 uBytesPerSec);
    void OnWorkerActivityChanged(bool bActive);
    void OnPauseStateChanged(bool bEnabled, bool bPaused);
    void OnStopStateChanged(bool bEnabled);
    void AppendLog(const QString& strMessage);
    void OnShowLogOverlay();
    void OnPreloadFinished(bool bSuccess);
    void OnButtonStateChanged(bool bCheck, bool bDownload, bool bRepair, bool bReconcile, bool bSwitchVersion,
                              bool bSettings);
    void OnLaunchStateChanged(bool bEnabled);
    // Non-empty: Launch Tool stays disabled whatever the task state, with
    // the reason as its tooltip.
    void SetLaunchBlockedReason(const QString& strReason);
    void OnExitReady();
    void OnUpdateNoticeFetched(const QString& strHtml);
    void OnUpdateNoticeOverlayReady(const QString& strTitle, const QString& strContent,
                                    bool bCurrentUserVersion, bool bCanBrowseUp, bool bCanBrowseDown);
    void OnTitleVersionRefreshRequested(const QString& strReleaseText);
    // Redraws the title from the records and the last release text.
    void RefreshTitleVersions();
    // Start-up: the main area disabled and a busy cursor while true.
    void SetBusy(bool bBusy);

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void BuildUi();
    QWidget* BuildSidebar();
    QWidget* BuildPanel();
    void BuildOverlays();
    void Retranslate();
    void RepositionOverlays();
    void ConnectTray();
    bool TrayUsable() const;
    void HideToTray();
    void BeginExit();
    void StartSystemMove();

    LauncherSettings& m_settings;
    OrvelTrayIcon* m_pTray = nullptr;

    QWidget* m_pBackground = nullptr;
    QFrame* m_pSidebar = nullptr;
    QFrame* m_pPanel = nullptr;
    QWidget* m_pTitleArea = nullptr;
    QWidget* m_pContentArea = nullptr;
    QLabel* m_pSidebarLogo = nullptr;
    QLabel* m_pTitleLabel = nullptr;
    QLabel* m_pMainLogoLabel = nullptr;
    QToolButton* m_pVersionBrowseButton = nullptr;
    QLabel* m_pVersionBrowseLabel = nullptr;
    QToolButton* m_pRepairButton = nullptr;
    QLabel* m_pRepairLabel = nullptr;
    QToolButton* m_pCleanResButton = nullptr;
    QLabel* m_pCleanResLabel = nullptr;
    QToolButton* m_pToggleLogButton = nullptr;
    QLabel* m_pToggleLogLabel = nullptr;
    QToolButton* m_pSettingsButton = nullptr;
    QLabel* m_pSettingsLabel = nullptr;
    QToolButton* m_pMinimizeButton = nullptr;
    QToolButton* m_pCloseButton = nullptr;
    QFrame* m_pNoticeCard = nullptr;
    QPushButton* m_pNoticeTitleButton = nullptr;
    QTextBrowser* m_pNoticeBrowser = nullptr;
    QWidget* m_pUpdateActionContainer = nullptr;
    QStackedWidget* m_pUpdateActionStack = nullptr;
    QPushButton* m_pDownloadButton = nullptr;
    QPushButton* m_pPreloadButton = nullptr;
    QPushButton* m_pLaunchButton = nullptr;
    QLabel* m_pStatusLabel = nullptr;
    QProgressBar* m_pProgressBar = nullptr;
    QPushButton* m_pPauseResumeButton = nullptr;
    QPushButton* m_pStopButton = nullptr;
    QLabel* m_pSpeedLabel = nullptr;
    QPlainTextEdit* m_pLogEdit = nullptr;

    QFrame* m_pNoticeOverlay = nullptr;
    QLabel* m_pNoticeOverlayTitle = nullptr;
    QPushButton* m_pNoticeUpButton = nullptr;
    QPushButton* m_pNoticeDownButton = nullptr;
    QPushButton* m_pNoticeCloseButton = nullptr;
    QTextBrowser* m_pNoticeOverlayBrowser = nullptr;
    QFrame* m_pLogOverlay = nullptr;
    QLabel* m_pLogOverlayTitle = nullptr;
    QPushButton* m_pLogCloseButton = nullptr;
    QWidget* m_pPreloadPage = nullptr;

    QString m_strReleaseText;
    QString m_strStatus;
    int m_nPendingClose = 0; // 1: hide to the tray on the next close
    bool m_bCloseDialogOpen = false;
    QPointer<OrvelCloseConfirmDialog> m_pCloseDialog;
    bool m_bFinalClose = false;
    bool m_bExitRequested = false;
    bool m_bLaunchWanted = true;
    QString m_strLaunchBlocked;
    bool m_bWorkerActive = false;
    bool m_bPauseEnabled = false;
    bool m_bPaused = false;
    bool m_bStopEnabled = false;
    quint64 m_uLastSpeed = 0;
    // The bar's two sources: the worker's file counter and the transfer's bytes.
    quint32 m_uFilesCurrent = 0;
    quint32 m_uFilesTotal = 0;
    OrvelTransferProgress m_transfer;
    void RenderProgress();
};
