#include "OrvelMainWindow.h"

#include "LauncherSettings.h"
#include "OrvelCloseConfirmDialog.h"
#include "OrvelDialogPrompt.h"
#include "OrvelSpeedText.h"
#include "OrvelTrayIcon.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace
{

constexpr int kSidebarIcon = 28;
constexpr int kTransferIcon = 24;
constexpr int kOverlayMargin = 12;

QToolButton* SidebarGroup(QWidget* pParent, QLayout* pSidebarLayout, const QString& strName,
                          const char* pszIcon, QLabel** ppLabel)
{
    auto* pWrapper = new QWidget(pParent);
    pWrapper->setObjectName(strName + QStringLiteral("Wrapper"));
    auto* pLayout = new QVBoxLayout(pWrapper);
    pLayout->setObjectName(strName + QStringLiteral("Layout"));
    pLayout->setContentsMargins(0, 6, 0, 6);
    pLayout->setSpacing(4);
    auto* pButton = new QToolButton(pWrapper);
    pButton->setObjectName(strName + QStringLiteral("Button"));
    pButton->setIcon(QIcon(QString::fromLatin1(pszIcon)));
    pButton->setIconSize(QSize(kSidebarIcon, kSidebarIcon));
    pButton->setCursor(Qt::PointingHandCursor);
    auto* pLabel = new QLabel(pWrapper);
    pLabel->setObjectName(strName + QStringLiteral("Label"));
    pLabel->setAlignment(Qt::AlignHCenter);
    pLabel->setWordWrap(true);
    pLayout->addWidget(pButton, 0, Qt::AlignHCenter);
    pLayout->addWidget(pLabel);
    pSidebarLayout->addWidget(pWrapper);
    *ppLabel = pLabel;
    return pButton;
}

QPushButton* OverlayButton(QWidget* pParent, const QString& strName, const QString& strText)
{
    auto* pButton = new QPushButton(strText, pParent);
    pButton->setObjectName(strName);
    pButton->setCursor(Qt::PointingHandCursor);
    pButton->setFlat(true);
    return pButton;
}

} // namespace

OrvelMainWindow::OrvelMainWindow(LauncherSettings& settings, QWidget* pParent)
    : QMainWindow(pParent), m_settings(settings)
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setObjectName(QStringLiteral("OrvelMainWindow"));
    resize(kDefaultWidth, kDefaultHeight);
    setMinimumSize(860, 560);
    BuildUi();
    BuildOverlays();
    SetTray(new OrvelTrayIcon(QIcon(QStringLiteral(":/icons/app.ico")), this));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.ico")));
    Retranslate();
    OnDownloadSpeedChanged(0);
    OnPauseStateChanged(false, false);
    OnStopStateChanged(false);
    RefreshTitleVersions();
}

OrvelMainWindow::~OrvelMainWindow() = default;

void OrvelMainWindow::SetTray(OrvelTrayIcon* pTray)
{
    if (pTray == m_pTray)
        return;
    delete m_pTray;
    m_pTray = pTray;
    if (m_pTray != nullptr)
    {
        m_pTray->setParent(this);
        ConnectTray();
    }
}

void OrvelMainWindow::ConnectTray()
{
    connect(m_pTray, &OrvelTrayIcon::ShowWindowRequested, this, &OrvelMainWindow::OnTrayShowWindow);
    connect(m_pTray, &OrvelTrayIcon::QuitRequested, this, &OrvelMainWindow::OnTrayQuit);
}

// ---------------------------------------------------------------- layout

void OrvelMainWindow::BuildUi()
{
    m_pBackground = new QWidget(this);
    m_pBackground->setObjectName(QStringLiteral("mainWindowBackground"));
    auto* pRow = new QHBoxLayout(m_pBackground);
    pRow->setObjectName(QStringLiteral("horizontalLayout_2"));
    pRow->setContentsMargins(0, 0, 0, 0);
    pRow->setSpacing(0);
    pRow->addWidget(BuildSidebar());
    pRow->addWidget(BuildPanel(), 1);
    setCentralWidget(m_pBackground);
}

QWidget* OrvelMainWindow::BuildSidebar()
{
    m_pSidebar = new QFrame(m_pBackground);
    m_pSidebar->setObjectName(QStringLiteral("launcherSidebar"));
    m_pSidebar->setFixedWidth(104);
    auto* pLayout = new QVBoxLayout(m_pSidebar);
    pLayout->setObjectName(QStringLiteral("sidebarLayout"));
    pLayout->setContentsMargins(8, 16, 8, 16);
    pLayout->setSpacing(6);

    m_pSidebarLogo = new QLabel(m_pSidebar);
    m_pSidebarLogo->setObjectName(QStringLiteral("sidebarLogo"));
    m_pSidebarLogo->setAlignment(Qt::AlignCenter);
    m_pSidebarLogo->setPixmap(QIcon(QStringLiteral(":/images/sidebar_logo.png")).pixmap(QSize(56, 56)));
    m_pSidebarLogo->installEventFilter(this);
    pLayout->addWidget(m_pSidebarLogo);
    pLayout->addSpacing(18);

    m_pVersionBrowseButton = SidebarGroup(m_pSidebar, pLayout, QStringLiteral("versionBrowse"),
                                          ":/icons/ver_browser.png", &m_pVersionBrowseLabel);
    m_pRepairButton = SidebarGroup(m_pSidebar, pLayout, QStringLiteral("repair"), ":/icons/res_repair.png",
                                   &m_pRepairLabel);
    m_pCleanResButton = SidebarGroup(m_pSidebar, pLayout, QStringLiteral("cleanRes"), ":/icons/res_clear.png",
                                     &m_pCleanResLabel);
    m_pToggleLogButton = SidebarGroup(m_pSidebar, pLayout, QStringLiteral("toggleLog"),
                                      ":/icons/show_log.png", &m_pToggleLogLabel);
    pLayout->addStretch(1);
    m_pSettingsButton = SidebarGroup(m_pSidebar, pLayout, QStringLiteral("settings"), ":/icons/setting.png",
                                     &m_pSettingsLabel);

    connect(m_pVersionBrowseButton, &QToolButton::clicked, this, &OrvelMainWindow::VersionBrowseClicked);
    connect(m_pRepairButton, &QToolButton::clicked, this, &OrvelMainWindow::RepairClicked);
    connect(m_pCleanResButton, &QToolButton::clicked, this, &OrvelMainWindow::ReconcileClicked);
    connect(m_pToggleLogButton, &QToolButton::clicked, this, &OrvelMainWindow::OnToggleLog);
    connect(m_pSettingsButton, &QToolButton::clicked, this, &OrvelMainWindow::SettingsClicked);
    return m_pSidebar;
}

QWidget* OrvelMainWindow::BuildPanel()
{
    m_pPanel = new QFrame(m_pBackground);
    m_pPanel->setObjectName(QStringLiteral("launcherPanel"));
    auto* pLayout = new QVBoxLayout(m_pPanel);
    pLayout->setObjectName(QStringLiteral("verticalLayout"));
    pLayout->setContentsMargins(24, 12, 24, 20);
    pLayout->setSpacing(14);

    // Title row: logo, versions, minimise and close.
    m_pTitleArea = new QWidget(m_pPanel);
    m_pTitleArea->setObjectName(QStringLiteral("titleArea"));
    auto* pTitleRow = new QHBoxLayout(m_pTitleArea);
    pTitleRow->setObjectName(QStringLiteral("titleBarLayout"));
    pTitleRow->setContentsMargins(0, 0, 0, 0);
    auto* pBrand = new QHBoxLayout;
    pBrand->setObjectName(QStringLiteral("brandLayout"));
    pBrand->setSpacing(12);
    m_pMainLogoLabel = new QLabel(m_pTitleArea);
    m_pMainLogoLabel->setObjectName(QStringLiteral("mainLogoLabel"));
    m_pMainLogoLabel->setPixmap(QIcon(QStringLiteral(":/images/main_logo.png")).pixmap(QSize(168, 36)));
    m_pMainLogoLabel->installEventFilter(this);
    m_pTitleLabel = new QLabel(m_pTitleArea);
    m_pTitleLabel->setObjectName(QStringLiteral("titleLabel"));
    m_pTitleLabel->installEventFilter(this);
    pBrand->addWidget(m_pMainLogoLabel);
    pBrand->addWidget(m_pTitleLabel, 1);
    pTitleRow->addLayout(pBrand, 1);
    m_pMinimizeButton = new QToolButton(m_pTitleArea);
    m_pMinimizeButton->setObjectName(QStringLiteral("titleMinimizeButton"));
    m_pMinimizeButton->setIcon(QIcon(QStringLiteral(":/icons/minimize.png")));
    m_pMinimizeButton->setIconSize(QSize(16, 16));
    m_pCloseButton = new QToolButton(m_pTitleArea);
    m_pCloseButton->setObjectName(QStringLiteral("titleCloseButton"));
    m_pCloseButton->setIcon(QIcon(QStringLiteral(":/icons/close.png")));
    m_pCloseButton->setIconSize(QSize(16, 16));
    pTitleRow->addWidget(m_pMinimizeButton, 0, Qt::AlignTop);
    pTitleRow->addWidget(m_pCloseButton, 0, Qt::AlignTop);
    pLayout->addWidget(m_pTitleArea);

    // The content: notice card on the left, actions on the right.
    m_pContentArea = new QWidget(m_pPanel);
    m_pContentArea->setObjectName(QStringLiteral("contentArea"));
    auto* pContent = new QHBoxLayout(m_pContentArea);
    pContent->setObjectName(QStringLiteral("horizontalLayout"));
    pContent->setContentsMargins(0, 0, 0, 0);
    pContent->setSpacing(20);

    m_pNoticeCard = new QFrame(m_pContentArea);
    m_pNoticeCard->setObjectName(QStringLiteral("noticeCard"));
    auto* pCard = new QVBoxLayout(m_pNoticeCard);
    pCard->setObjectName(QStringLiteral("verticalLayout_2"));
    pCard->setContentsMargins(16, 12, 16, 16);
    m_pNoticeTitleButton = new QPushButton(m_pNoticeCard);
    m_pNoticeTitleButton->setObjectName(QStringLiteral("noticeTitleButton"));
    m_pNoticeTitleButton->setCursor(Qt::PointingHandCursor);
    m_pNoticeTitleButton->setFlat(true);
    m_pNoticeBrowser = new QTextBrowser(m_pNoticeCard);
    m_pNoticeBrowser->setObjectName(QStringLiteral("noticeBrowser"));
    m_pNoticeBrowser->setOpenExternalLinks(true);
    pCard->addWidget(m_pNoticeTitleButton, 0, Qt::AlignLeft);
    pCard->addWidget(m_pNoticeBrowser, 1);
    pContent->addWidget(m_pNoticeCard, 1);

    auto* pActions = new QVBoxLayout;
    pActions->setObjectName(QStringLiteral("actionLayout"));
    pActions->setSpacing(12);
    m_pUpdateActionContainer = new QWidget(m_pContentArea);
    m_pUpdateActionContainer->setObjectName(QStringLiteral("updateActionContainer"));
    auto* pContainerLayout = new QVBoxLayout(m_pUpdateActionContainer);
    pContainerLayout->setContentsMargins(0, 0, 0, 0);
    m_pUpdateActionStack = new QStackedWidget(m_pUpdateActionContainer);
    m_pUpdateActionStack->setObjectName(QStringLiteral("updateActionStack"));
    m_pDownloadButton = new QPushButton(m_pUpdateActionStack);
    m_pDownloadButton->setObjectName(QStringLiteral("downloadLatestButton"));
    m_pDownloadButton->setIcon(QIcon(QStringLiteral(":/icons/update_latest.png")));
    m_pDownloadButton->setIconSize(QSize(22, 22));
    m_pDownloadButton->setCursor(Qt::PointingHandCursor);
    m_pUpdateActionStack->addWidget(m_pDownloadButton);
    pContainerLayout->addWidget(m_pUpdateActionStack);
    m_pPreloadButton = new QPushButton(m_pContentArea);
    m_pPreloadButton->setObjectName(QStringLiteral("preloadButton"));
    m_pPreloadButton->setCursor(Qt::PointingHandCursor);
    m_pLaunchButton = new QPushButton(m_pContentArea);
    m_pLaunchButton->setObjectName(QStringLiteral("launchButton"));
    m_pLaunchButton->setIcon(QIcon(QStringLiteral(":/icons/launch.png")));
    m_pLaunchButton->setIconSize(QSize(22, 22));
    m_pLaunchButton->setCursor(Qt::PointingHandCursor);
    pActions->addWidget(m_pUpdateActionContainer);
    pActions->addWidget(m_pPreloadButton);
    pActions->addStretch(1);
    pActions->addWidget(m_pLaunchButton);
    pContent->addLayout(pActions);
    pLayout->addWidget(m_pContentArea, 1);

    // Status line, progress and transfer controls.
    auto* pStatus = new QVBoxLayout;
    pStatus->setObjectName(QStringLiteral("statusLayout"));
    pStatus->setSpacing(8);
    m_pStatusLabel = new QLabel(m_pPanel);
    m_pStatusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_pStatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pProgressBar = new QProgressBar(m_pPanel);
    m_pProgressBar->setObjectName(QStringLiteral("mainProgressBar"));
    m_pProgressBar->setRange(0, 100);
    m_pProgressBar->setValue(0);
    m_pProgressBar->setTextVisible(true);
    auto* pTransfer = new QHBoxLayout;
    pTransfer->setObjectName(QStringLiteral("transferLayout"));
    m_pPauseResumeButton = new QPushButton(m_pPanel);
    m_pPauseResumeButton->setObjectName(QStringLiteral("pauseResumeButton"));
    m_pPauseResumeButton->setIconSize(QSize(kTransferIcon, kTransferIcon));
    m_pStopButton = new QPushButton(m_pPanel);
    m_pStopButton->setObjectName(QStringLiteral("stopButton"));
    m_pStopButton->setIcon(QIcon(QStringLiteral(":/icons/stop.png")));
    m_pStopButton->setIconSize(QSize(kTransferIcon, kTransferIcon));
    m_pSpeedLabel = new QLabel(m_pPanel);
    m_pSpeedLabel->setObjectName(QStringLiteral("speedLabel"));
    m_pSpeedLabel->installEventFilter(this);
    pTransfer->addWidget(m_pPauseResumeButton);
    pTransfer->addWidget(m_pStopButton);
    pTransfer->addStretch(1);
    pTransfer->addWidget(m_pSpeedLabel);
    pStatus->addWidget(m_pStatusLabel);
    pStatus->addWidget(m_pProgressBar);
    pStatus->addLayout(pTransfer);
    pLayout->addLayout(pStatus);

    m_pLogEdit = new QPlainTextEdit;
    m_pLogEdit->setObjectName(QStringLiteral("logEdit"));
    m_pLogEdit->setReadOnly(true);
    m_pLogEdit->setMaximumBlockCount(5000);

    connect(m_pMinimizeButton, &QToolButton::clicked, this, &OrvelMainWindow::OnMinimizeWindow);
    connect(m_pCloseButton, &QToolButton::clicked, this, &OrvelMainWindow::OnCloseWindow);
    connect(m_pNoticeTitleButton, &QPushButton::clicked, this, &OrvelMainWindow::OnNoticeTitle);
    connect(m_pDownloadButton, &QPushButton::clicked, this, &OrvelMainWindow::DownloadClicked);
    connect(m_pPreloadButton, &QPushButton::clicked, this, &OrvelMainWindow::OnPreload);
    connect(m_pLaunchButton, &QPushButton::clicked, this, &OrvelMainWindow::LaunchClicked);
    connect(m_pPauseResumeButton, &QPushButton::clicked, this, &OrvelMainWindow::OnPauseResume);
    connect(m_pStopButton, &QPushButton::clicked, this, &OrvelMainWindow::OnStop);
    return m_pPanel;
}

void OrvelMainWindow::BuildOverlays()
{
    m_pNoticeOverlay = new QFrame(m_pBackground);
    m_pNoticeOverlay->setObjectName(QStringLiteral("noticeOverlay"));
    auto* pNotice = new QVBoxLayout(m_pNoticeOverlay);
    pNotice->setContentsMargins(16, 12, 16, 16);
    auto* pNoticeHead = new QHBoxLayout;
    m_pNoticeOverlayTitle = new QLabel(m_pNoticeOverlay);
    m_pNoticeOverlayTitle->setObjectName(QStringLiteral("noticeOverlayTitleLabel"));
    m_pNoticeOverlayTitle->setWordWrap(true);
    m_pNoticeOverlayTitle->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pNoticeUpButton = OverlayButton(m_pNoticeOverlay, QStringLiteral("noticeOverlayNavButton"),
                                      QString::fromUtf8("\u2191"));
    m_pNoticeDownButton = OverlayButton(m_pNoticeOverlay, QStringLiteral("noticeOverlayNavButton"),
                                        QString::fromUtf8("\u2193"));
    m_pNoticeCloseButton = OverlayButton(m_pNoticeOverlay, QStringLiteral("noticeOverlayCloseButton"),
                                         QString::fromUtf8("\u00d7"));
    pNoticeHead->addWidget(m_pNoticeOverlayTitle, 1);
    pNoticeHead->addWidget(m_pNoticeUpButton, 0, Qt::AlignTop);
    pNoticeHead->addWidget(m_pNoticeDownButton, 0, Qt::AlignTop);
    pNoticeHead->addWidget(m_pNoticeCloseButton, 0, Qt::AlignTop);
    m_pNoticeOverlayBrowser = new QTextBrowser(m_pNoticeOverlay);
    m_pNoticeOverlayBrowser->setObjectName(QStringLiteral("noticeOverlayBrowser"));
    pNotice->addLayout(pNoticeHead);
    pNotice->addWidget(m_pNoticeOverlayBrowser, 1);
    m_pNoticeOverlay->hide();

    m_pLogOverlay = new QFrame(m_pBackground);
    m_pLogOverlay->setObjectName(QStringLiteral("logOverlay"));
    auto* pLog = new QVBoxLayout(m_pLogOverlay);
    pLog->setContentsMargins(16, 12, 16, 16);
    auto* pLogHead = new QHBoxLayout;
    m_pLogOverlayTitle = new QLabel(m_pLogOverlay);
    m_pLogOverlayTitle->setObjectName(QStringLiteral("logOverlayTitleLabel"));
    m_pLogCloseButton =
        OverlayButton(m_pLogOverlay, QStringLiteral("noticeOverlayCloseButton"), QString::fromUtf8("\u00d7"));
    pLogHead->addWidget(m_pLogOverlayTitle, 1);
    pLogHead->addWidget(m_pLogCloseButton);
    m_pLogEdit->setParent(m_pLogOverlay);
    pLog->addLayout(pLogHead);
    pLog->addWidget(m_pLogEdit, 1);
    m_pLogOverlay->hide();

    connect(m_pNoticeUpButton, &QPushButton::clicked, this, &OrvelMainWindow::NoticeBrowseUpRequested);
    connect(m_pNoticeDownButton, &QPushButton::clicked, this, &OrvelMainWindow::NoticeBrowseDownRequested);
    connect(m_pNoticeCloseButton, &QPushButton::clicked, m_pNoticeOverlay, &QWidget::hide);
    connect(m_pLogCloseButton, &QPushButton::clicked, m_pLogOverlay, &QWidget::hide);
}

void OrvelMainWindow::Retranslate()
{
    setWindowTitle(tr("QHalvaneLauncher"));
    m_pNoticeTitleButton->setText(tr("Update Notice"));
    m_pNoticeBrowser->setPlaceholderText(tr("The release notes appear here after the update check."));
    m_pVersionBrowseLabel->setText(tr("Version Browse"));
    m_pRepairLabel->setText(tr("Repair Files"));
    m_pCleanResLabel->setText(tr("Directory Reconcile"));
    m_pToggleLogLabel->setText(tr("Log"));
    m_pSettingsLabel->setText(tr("Settings"));
    m_pVersionBrowseLabel->setObjectName(QStringLiteral("m_versionBrowseLabel"));
    m_pRepairLabel->setObjectName(QStringLiteral("m_repairLabel"));
    m_pCleanResLabel->setObjectName(QStringLiteral("m_cleanResLabel"));
    m_pSettingsLabel->setObjectName(QStringLiteral("m_settingsLabel"));
    m_pDownloadButton->setText(tr("Get Latest"));
    m_pPreloadButton->setText(tr("Preload"));
    m_pLaunchButton->setText(tr("Launch Tool"));
    m_pMinimizeButton->setToolTip(tr("Minimize"));
    m_pCloseButton->setToolTip(tr("Close"));
    m_pNoticeUpButton->setToolTip(tr("Newer version"));
    m_pNoticeDownButton->setToolTip(tr("Older version"));
    m_pLogOverlayTitle->setText(tr("Log"));
    m_pPauseResumeButton->setText(m_bPaused ? tr("Resume") : tr("Pause"));
    m_pStopButton->setText(tr("Stop"));
    m_pStatusLabel->setText(m_strStatus.isEmpty() ? tr("Ready") : m_strStatus);
    m_pSpeedLabel->setText(SpeedText(m_uLastSpeed));
    if (m_pTray != nullptr)
        m_pTray->Retranslate();
    RefreshTitleVersions();
}

// ---------------------------------------------------------------- controller signals

void OrvelMainWindow::OnStatusChanged(const QString& strStatus)
{
    m_strStatus = strStatus;
    m_pStatusLabel->setText(strStatus);
    if (m_pTray == nullptr)
        return;
    if (strStatus.contains(tr("Downloading")) || strStatus.contains(tr("Repairing")))
        m_pTray->SetToolTip(strStatus);
    else
        m_pTray->SetToolTip(QString());
}

void OrvelMainWindow::OnProgressChanged(quint32 uCurrent, quint32 uTotal, const QString& strDetail)
{
    m_uFilesCurrent = uCurrent;
    m_uFilesTotal = uTotal;
    m_pProgressBar->setToolTip(strDetail);
    RenderProgress();
}

void OrvelMainWindow::OnTransferProgressChanged(const OrvelTransferProgress& progress)
{
    m_transfer = progress;
    RenderProgress();
}

void OrvelMainWindow::RenderProgress()
{
    if (!m_transfer.Known())
    {
        const int nTotal = static_cast<int>(qMin<quint32>(m_uFilesTotal, INT_MAX));
        m_pProgressBar->setRange(0, nTotal);
        m_pProgressBar->setValue(static_cast<int>(qMin(m_uFilesCurrent, static_cast<quint32>(nTotal))));
        m_pProgressBar->setFormat(QStringLiteral("%p%"));
        return;
    }
    // The bar's own percentage would round 99.6% up to a full bar: the value
    // and the text both come from Percent(), which never claims what is missing.
    const int nPercent = m_transfer.Percent();
    m_pProgressBar->setRange(0, 100);
    m_pProgressBar->setValue(nPercent);
    m_pProgressBar->setFormat(tr("%1% (%2)").arg(nPercent).arg(OrvelTransferText(m_transfer)));
}

QString OrvelMainWindow::SpeedText(quint64 uBytesPerSec)
{
    return tr("Speed: ") + OrvelSpeedValue(uBytesPerSec);
}

void OrvelMainWindow::OnDownloadSpeedChanged(quint64 uBytesPerSec)
{
    m_uLastSpeed = uBytesPerSec;
    m_pSpeedLabel->setText(SpeedText(uBytesPerSec));
}

void OrvelMainWindow::OnWorkerActivityChanged(bool bActive)
{
    m_bWorkerActive = bActive;
    m_pPreloadButton->setEnabled(!bActive && !m_bExitRequested);
}

void OrvelMainWindow::OnPauseStateChanged(bool bEnabled, bool bPaused)
{
    m_bPauseEnabled = bEnabled;
    m_bPaused = bPaused;
    m_pPauseResumeButton->setEnabled(bEnabled && !m_bExitRequested);
    m_pPauseResumeButton->setIcon(
        QIcon(bPaused ? QStringLiteral(":/icons/start.png") : QStringLiteral(":/icons/pause.png")));
    m_pPauseResumeButton->setText(bPaused ? tr("Resume") : tr("Pause"));
}

void OrvelMainWindow::OnStopStateChanged(bool bEnabled)
{
    m_bStopEnabled = bEnabled;
    m_pStopButton->setEnabled(bEnabled && !m_bExitRequested);
    m_pStopButton->setIcon(QIcon(QStringLiteral(":/icons/stop.png")));
}

void OrvelMainWindow::AppendLog(const QString& strMessage)
{
    m_pLogEdit->appendPlainText(strMessage);
}

void OrvelMainWindow::OnShowLogOverlay()
{
    m_pNoticeOverlay->hide();
    RepositionOverlays();
    m_pLogOverlay->show();
    m_pLogOverlay->raise();
}

void OrvelMainWindow::OnPreloadFinished(bool bSuccess)
{
    emit PreloadResultReady(bSuccess);
}

void OrvelMainWindow::OnButtonStateChanged(bool bCheck, bool bDownload, bool bRepair, bool bReconcile,
                                           bool bSwitchVersion, bool bSettings)
{
    Q_UNUSED(bCheck); // the check runs at start-up and before every download; no control of its own
    // After exit was asked for, nothing starts again.
    const bool bOpen = !m_bExitRequested;
    m_pDownloadButton->setEnabled(bDownload && bOpen);
    // A sidebar group's label greys out with its button.
    m_pRepairButton->parentWidget()->setEnabled(bRepair && bOpen);
    m_pCleanResButton->parentWidget()->setEnabled(bReconcile && bOpen);
    m_pVersionBrowseButton->parentWidget()->setEnabled(bSwitchVersion && bOpen);
    m_pSettingsButton->parentWidget()->setEnabled(bSettings && bOpen);
}

void OrvelMainWindow::OnLaunchStateChanged(bool bEnabled)
{
    m_bLaunchWanted = bEnabled;
    m_pLaunchButton->setEnabled(bEnabled && !m_bExitRequested && m_strLaunchBlocked.isEmpty());
}

void OrvelMainWindow::SetLaunchBlockedReason(const QString& strReason)
{
    m_strLaunchBlocked = strReason;
    m_pLaunchButton->setToolTip(strReason);
    OnLaunchStateChanged(m_bLaunchWanted);
}

void OrvelMainWindow::OnExitReady()
{
    m_bFinalClose = true;
    close();
}

void OrvelMainWindow::OnUpdateNoticeFetched(const QString& strHtml)
{
    m_pNoticeBrowser->setHtml(strHtml);
}

void OrvelMainWindow::OnUpdateNoticeOverlayReady(const QString& strTitle, const QString& strContent,
                                                 bool bCurrentUserVersion, bool bCanBrowseUp,
                                                 bool bCanBrowseDown)
{
    m_pNoticeOverlayTitle->setText(strTitle);
    m_pNoticeOverlay->setProperty("currentVersion", bCurrentUserVersion);
    m_pNoticeOverlay->style()->unpolish(m_pNoticeOverlay);
    m_pNoticeOverlay->style()->polish(m_pNoticeOverlay);
    m_pNoticeOverlayBrowser->setPlainText(strContent);
    m_pNoticeUpButton->setEnabled(bCanBrowseUp);
    m_pNoticeDownButton->setEnabled(bCanBrowseDown);
    m_pLogOverlay->hide();
    RepositionOverlays();
    m_pNoticeOverlay->show();
    m_pNoticeOverlay->raise();
}

void OrvelMainWindow::OnTitleVersionRefreshRequested(const QString& strReleaseText)
{
    m_strReleaseText = strReleaseText;
    RefreshTitleVersions();
}

void OrvelMainWindow::RefreshTitleVersions()
{
    const quint32 uLauncher = m_settings.launcherRecordVersion();
    const QString strLauncher =
        uLauncher == 0 ? tr("Launcher Version <None>") : tr("Launcher Version v%1").arg(uLauncher);
    quint32 uProduct = 0;
    QString strTag;
    QString strProduct = m_settings.readProductRecord(&uProduct, &strTag)
                             ? tr("IDE Version v%1").arg(uProduct)
                             : tr("IDE Version <None>");
    if (!m_strReleaseText.isEmpty())
        strProduct += QStringLiteral(" - %1").arg(m_strReleaseText);
    m_pTitleLabel->setText(strLauncher + QStringLiteral(" | ") + strProduct);
}

void OrvelMainWindow::SetBusy(bool bBusy)
{
    // The sidebar (settings, log) and the title buttons stay usable.
    m_pContentArea->setEnabled(!bBusy);
    if (bBusy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

// ---------------------------------------------------------------- buttons

void OrvelMainWindow::OnPreload()
{
    if (m_bWorkerActive)
    {
        AppendLog(tr("Another background task is still running"));
        return;
    }
    emit PreloadPageRequested();
}

void OrvelMainWindow::SetPreloadPage(QWidget* pPage)
{
    if (m_pPreloadPage == pPage)
        return;
    delete m_pPreloadPage;
    m_pPreloadPage = pPage;
    if (m_pPreloadPage != nullptr)
    {
        m_pPreloadPage->setParent(m_pBackground);
        m_pPreloadPage->hide();
    }
}

void OrvelMainWindow::ShowPreloadPage()
{
    if (m_pPreloadPage == nullptr)
        return;
    m_pNoticeOverlay->hide();
    m_pLogOverlay->hide();
    RepositionOverlays();
    m_pPreloadPage->show();
    m_pPreloadPage->raise();
}

void OrvelMainWindow::HidePreloadPage()
{
    if (m_pPreloadPage != nullptr)
        m_pPreloadPage->hide();
}

void OrvelMainWindow::OnPauseResume()
{
    if (m_bPauseEnabled)
        emit PauseResumeClicked();
}

void OrvelMainWindow::OnStop()
{
    if (!m_bStopEnabled)
        return;
    const QMessageBox::StandardButton eAnswer = OrvelDialogPrompt::AskYesNo(
        this, tr("Stop Current Task"), tr("Are you sure you want to stop the current task?"));
    // The task may have ended while the question was open.
    if (eAnswer != QMessageBox::Yes || !m_bStopEnabled)
        return;
    OnStopStateChanged(false);
    emit StopClicked();
}

void OrvelMainWindow::OnToggleLog()
{
    m_pNoticeOverlay->hide();
    if (m_pLogOverlay->isVisible())
    {
        m_pLogOverlay->hide();
        return;
    }
    OnShowLogOverlay();
}

void OrvelMainWindow::OnNoticeTitle()
{
    if (m_pNoticeOverlay->isVisible())
        m_pNoticeOverlay->hide();
    else
        emit NoticeOpenRequested();
}

void OrvelMainWindow::OnMinimizeWindow()
{
    showMinimized();
}

// ---------------------------------------------------------------- closing

bool OrvelMainWindow::TrayUsable() const
{
    return m_pTray != nullptr && m_pTray->IsUsable();
}

void OrvelMainWindow::HideToTray()
{
    hide();
    m_pTray->Show();
}

void OrvelMainWindow::OnCloseWindow()
{
    if (m_settings.runInBackground() != LauncherSettings::RunInBackgroundHide && m_bWorkerActive)
    {
        const QMessageBox::StandardButton eAnswer = OrvelDialogPrompt::AskYesNo(
            this, tr("Confirm Close"),
            tr("A background task is still running. Are you sure you want to close the launcher?"));
        if (eAnswer != QMessageBox::Yes)
            return;
    }
    close();
}

void OrvelMainWindow::closeEvent(QCloseEvent* pEvent)
{
    if (m_bFinalClose)
    {
        if (!m_pCloseDialog.isNull())
            m_pCloseDialog->close();
        if (m_pTray != nullptr)
            m_pTray->Hide();
        pEvent->accept();
        emit ClosedForGood();
        return;
    }
    pEvent->ignore();
    // Hiding without a usable tray would leave nothing to bring the window
    // back with: every way to the tray then ends the program instead.
    if (m_nPendingClose == 1)
    {
        m_nPendingClose = 0;
        if (TrayUsable())
            HideToTray();
        else
            BeginExit();
        return;
    }
    switch (m_settings.runInBackground())
    {
    case LauncherSettings::RunInBackgroundHide:
        if (TrayUsable())
            HideToTray();
        else
            BeginExit();
        return;
    case LauncherSettings::RunInBackgroundExit:
        BeginExit();
        return;
    case LauncherSettings::RunInBackgroundAsk:
        break;
    }
    if (m_bCloseDialogOpen || m_bExitRequested)
        return;
    auto* pDialog = new OrvelCloseConfirmDialog(this);
    pDialog->setAttribute(Qt::WA_DeleteOnClose);
    pDialog->setWindowModality(Qt::ApplicationModal);
    connect(pDialog, &QDialog::finished, this, &OrvelMainWindow::OnCloseConfirmDialogFinished);
    m_pCloseDialog = pDialog;
    m_bCloseDialogOpen = true;
    pDialog->open();
}

void OrvelMainWindow::OnCloseConfirmDialogFinished(int nResult)
{
    Q_UNUSED(nResult); // the dialog's own choice says more than accept/reject
    m_bCloseDialogOpen = false;
    if (m_pCloseDialog.isNull())
        return;
    const qint32 nChoice = m_pCloseDialog->choice();
    const bool bRemember = m_pCloseDialog->rememberChoice();
    m_pCloseDialog = nullptr;
    if (nChoice == OrvelCloseConfirmDialog::ChoiceNone)
        return;
    if (bRemember)
        m_settings.setRunInBackground(nChoice == OrvelCloseConfirmDialog::ChoiceMinimizeToTray);
    if (nChoice == OrvelCloseConfirmDialog::ChoiceMinimizeToTray)
    {
        m_nPendingClose = 1;
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    BeginExit();
}

void OrvelMainWindow::BeginExit()
{
    if (m_bExitRequested)
        return;
    m_bExitRequested = true;
    OnButtonStateChanged(false, false, false, false, false, false);
    m_pStopButton->setEnabled(false);
    m_pPauseResumeButton->setEnabled(false);
    m_pLaunchButton->setEnabled(false);
    m_pPreloadButton->setEnabled(false);
    emit ExitRequested();
}

void OrvelMainWindow::OnTrayShowWindow()
{
    showNormal();
    activateWindow();
    raise();
}

void OrvelMainWindow::OnTrayQuit()
{
    BeginExit();
}

// ---------------------------------------------------------------- events

void OrvelMainWindow::changeEvent(QEvent* pEvent)
{
    if (pEvent->type() == QEvent::LanguageChange)
        Retranslate();
    QMainWindow::changeEvent(pEvent);
}

void OrvelMainWindow::resizeEvent(QResizeEvent* pEvent)
{
    QMainWindow::resizeEvent(pEvent);
    RepositionOverlays();
}

void OrvelMainWindow::RepositionOverlays()
{
    // Over the panel below the title row.
    const QRect panel = m_pPanel->geometry();
    const QRect title = m_pTitleArea->geometry();
    const int nTop = panel.top() + title.bottom() + kOverlayMargin;
    const QRect area(panel.left() + kOverlayMargin, nTop, panel.width() - 2 * kOverlayMargin,
                     panel.bottom() - nTop - kOverlayMargin);
    m_pNoticeOverlay->setGeometry(area);
    m_pLogOverlay->setGeometry(area);
    if (m_pPreloadPage != nullptr)
        m_pPreloadPage->setGeometry(area);
}

void OrvelMainWindow::StartSystemMove()
{
    if (windowHandle() != nullptr)
        windowHandle()->startSystemMove();
}

void OrvelMainWindow::mousePressEvent(QMouseEvent* pEvent)
{
    // Presses that no control took reach the window: on the background, the
    // title, the panel and the sidebar they move the window. Not on overlays.
    if (pEvent->button() == Qt::LeftButton)
    {
        QWidget* pHit = childAt(pEvent->pos());
        const bool bOnOverlay =
            pHit != nullptr &&
            (m_pNoticeOverlay->isAncestorOf(pHit) || m_pLogOverlay->isAncestorOf(pHit) ||
             pHit == m_pNoticeOverlay || pHit == m_pLogOverlay ||
             (m_pPreloadPage != nullptr && (pHit == m_pPreloadPage || m_pPreloadPage->isAncestorOf(pHit))));
        if (!bOnOverlay)
        {
            StartSystemMove();
            pEvent->accept();
            return;
        }
    }
    QMainWindow::mousePressEvent(pEvent);
}

bool OrvelMainWindow::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    // Labels in the title and status areas would otherwise swallow the press.
    if (pEvent->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(pEvent)->button() == Qt::LeftButton)
    {
        StartSystemMove();
        return true;
    }
    return QMainWindow::eventFilter(pWatched, pEvent);
}
