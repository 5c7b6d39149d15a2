// The main window under the offscreen platform, wired to a real controller by
// the application controller: controller signals become widget state, clicks
// become commands, and closing follows the settings. Also the editor's path
// rule and the single-instance key, which need no server.
#include "LauncherLog.h"
#include "LauncherSettings.h"
#include "OrvelApplicationController.h"
#include "OrvelCloseConfirmDialog.h"
#include "OrvelEditorPath.h"
#include "OrvelLauncherController.h"
#include "OrvelMainWindow.h"
#include "OrvelTestGui.h"
#include "OrvelTestSupport.h"
#include "OrvelTrayIcon.h"
#include "platform/OrvelPlatformNames.h"
#include "platform/OrvelSingleInstance.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTranslator>

#include <gtest/gtest.h>

#include <memory>

namespace
{

// A tray that exists where the offscreen platform has none.
class UsableTray : public OrvelTrayIcon
{
public:
    using OrvelTrayIcon::OrvelTrayIcon;
    bool IsUsable() const override { return true; }
};

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pSettings = std::make_unique<LauncherSettings>(m_dir.path());
        m_pSettings->setLanguage(QStringLiteral("en_US"));
        m_pLog = std::make_unique<LauncherLog>(m_dir.path());
        m_pLog->initialise(QStringLiteral("launcher"), 14);
        m_pController = std::make_unique<OrvelLauncherController>(m_pSettings.get());
        m_pWindow = std::make_unique<OrvelMainWindow>(*m_pSettings);
        m_pAppController = new OrvelApplicationController(*qApp, m_translator, *m_pWindow, *m_pController,
                                                          *m_pSettings, *m_pLog, nullptr);
        m_pAppController->Connect();
        m_pWindow->show();
    }
    void TearDown() override
    {
        m_pWindow.reset();
        m_pController.reset();
    }

    template <typename T> T* Find(const char* pszName) const
    {
        T* pWidget = m_pWindow->findChild<T*>(QLatin1String(pszName));
        EXPECT_NE(pWidget, nullptr) << pszName;
        return pWidget;
    }
    QString Text(const char* pszName) const { return Find<QLabel>(pszName)->text(); }
    static void Settle() { QCoreApplication::processEvents(); }
    static QImage IconImage(const QIcon& icon) { return icon.pixmap(24, 24).toImage(); }

    QTemporaryDir m_dir;
    QTranslator m_translator;
    std::unique_ptr<LauncherSettings> m_pSettings;
    std::unique_ptr<LauncherLog> m_pLog;
    std::unique_ptr<OrvelLauncherController> m_pController;
    std::unique_ptr<OrvelMainWindow> m_pWindow;
    OrvelApplicationController* m_pAppController = nullptr;
};

// The status, progress, log, notice and button states as a session drives
// them: launcher_test. Here what it does not reach.
TEST_F(MainWindowTest, ControllerSignalsReachTheirWidgets)
{
    OrvelLauncherController& c = *m_pController;
    emit c.StatusChanged(QStringLiteral("Downloading updates..."));
    Settle();
    EXPECT_EQ(m_pWindow->Tray()->ToolTip(), QStringLiteral("Downloading updates..."));
    emit c.StatusChanged(QStringLiteral("Update complete"));
    Settle();
    EXPECT_EQ(m_pWindow->Tray()->ToolTip(), OrvelTrayIcon::DefaultToolTip());

    const std::pair<quint64, const char*> speeds[] = {{0, "Speed: --"},
                                                      {512, "Speed: 512 B/s"},
                                                      {1023, "Speed: 1023 B/s"},
                                                      {1536, "Speed: 1.5 KB/s"},
                                                      {150 * 1024, "Speed: 150 KB/s"},
                                                      {13107200, "Speed: 12.5 MB/s"},
                                                      {200u << 20, "Speed: 200 MB/s"}};
    for (const auto& speed : speeds)
    {
        emit c.DownloadSpeedChanged(speed.first);
        Settle();
        EXPECT_EQ(Text("speedLabel"), QLatin1String(speed.second)) << speed.first;
    }

    auto* pPause = Find<QPushButton>("pauseResumeButton");
    emit c.PauseStateChanged(true, false);
    Settle();
    EXPECT_TRUE(pPause->isEnabled());
    EXPECT_EQ(pPause->text(), QStringLiteral("Pause"));
    EXPECT_EQ(IconImage(pPause->icon()), IconImage(QIcon(QStringLiteral(":/icons/pause.png"))));
    emit c.PauseStateChanged(true, true);
    Settle();
    EXPECT_EQ(pPause->text(), QStringLiteral("Resume"));
    EXPECT_EQ(IconImage(pPause->icon()), IconImage(QIcon(QStringLiteral(":/icons/start.png"))));
    emit c.PauseStateChanged(false, false);
    Settle();
    EXPECT_FALSE(pPause->isEnabled());

    emit c.WorkerActivityChanged(true);
    Settle();
    EXPECT_FALSE(Find<QPushButton>("preloadButton")->isEnabled());
    emit c.WorkerActivityChanged(false);
    Settle();
    QSignalSpy preload(m_pWindow.get(), &OrvelMainWindow::PreloadPageRequested);
    Find<QPushButton>("preloadButton")->click();
    EXPECT_EQ(preload.count(), 1);
    // The page, once attached and asked for, covers the panel instead of the overlays.
    auto* pPage = new QWidget;
    m_pWindow->SetPreloadPage(pPage);
    emit c.ShowLogOverlay();
    Settle();
    m_pWindow->ShowPreloadPage();
    EXPECT_TRUE(pPage->isVisible());
    EXPECT_FALSE(Find<QWidget>("logOverlay")->isVisible());
    m_pWindow->HidePreloadPage();
    EXPECT_FALSE(pPage->isVisible());

    emit c.ShowLogOverlay();
    Settle();
    auto* pLogOverlay = Find<QWidget>("logOverlay");
    EXPECT_TRUE(pLogOverlay->isVisible());
    pLogOverlay->findChild<QPushButton*>(QStringLiteral("noticeOverlayCloseButton"))->click();
    EXPECT_FALSE(pLogOverlay->isVisible());

    emit c.UpdateNoticeOverlayReady(QStringLiteral("v2 | Spring\nguid: {x}"), QStringLiteral("Fixed things"),
                                    true, true, false);
    Settle();
    auto* pNotice = Find<QWidget>("noticeOverlay");
    EXPECT_TRUE(pNotice->isVisible());
    const QList<QPushButton*> nav =
        pNotice->findChildren<QPushButton*>(QStringLiteral("noticeOverlayNavButton"));
    ASSERT_EQ(nav.size(), 2);
    EXPECT_TRUE(nav[0]->isEnabled());
    EXPECT_FALSE(nav[1]->isEnabled());
    QSignalSpy up(m_pWindow.get(), &OrvelMainWindow::NoticeBrowseUpRequested);
    nav[0]->click();
    EXPECT_EQ(up.count(), 1);
    // The card's title closes an open notice instead of asking for one.
    QSignalSpy open(m_pWindow.get(), &OrvelMainWindow::NoticeOpenRequested);
    Find<QPushButton>("noticeTitleButton")->click();
    EXPECT_FALSE(pNotice->isVisible());
    EXPECT_EQ(open.count(), 0);
}

TEST_F(MainWindowTest, TitleShowsBothRecordsAndTheReleaseText)
{
    emit m_pController->TitleVersionRefreshRequested(QString());
    Settle();
    EXPECT_EQ(Text("titleLabel"), QStringLiteral("Launcher Version <None> | IDE Version <None>"));
    ASSERT_TRUE(m_pSettings->writeProductRecord(3, QStringLiteral("tag3")));
    m_pSettings->setLauncherRecordVersion(2);
    emit m_pController->TitleVersionRefreshRequested(QStringLiteral("Spring build"));
    Settle();
    EXPECT_EQ(Text("titleLabel"), QStringLiteral("Launcher Version v2 | IDE Version v3 - Spring build"));
    emit m_pController->TitleVersionRefreshRequested(QString());
    Settle();
    EXPECT_EQ(Text("titleLabel"), QStringLiteral("Launcher Version v2 | IDE Version v3"));
}

TEST_F(MainWindowTest, ClicksReachTheControllerAndStopAsksFirst)
{
    // Without a file service the controller refuses and says why.
    Find<QPushButton>("downloadLatestButton")->click();
    EXPECT_TRUE(OrvelTest::WaitUntil(
        [&] { return Text("statusLabel") == QStringLiteral("Resource service unavailable"); }));

    QSignalSpy stop(m_pWindow.get(), &OrvelMainWindow::StopClicked);
    m_pWindow->OnStopStateChanged(true);
    auto pNo = OrvelTest::AnswerNextBox(QMessageBox::No);
    Find<QPushButton>("stopButton")->click();
    EXPECT_TRUE(pNo->bAnswered);
    EXPECT_EQ(pNo->strTitle, QStringLiteral("Stop Current Task"));
    EXPECT_EQ(stop.count(), 0);
    auto pYes = OrvelTest::AnswerNextBox(QMessageBox::Yes);
    Find<QPushButton>("stopButton")->click();
    EXPECT_EQ(stop.count(), 1);
    EXPECT_FALSE(Find<QPushButton>("stopButton")->isEnabled());
    // Disabled: a second click sends nothing.
    Find<QPushButton>("stopButton")->click();
    EXPECT_EQ(stop.count(), 1);
}

TEST_F(MainWindowTest, HideToTrayNeedsAUsableTray)
{
    QSignalSpy exit(m_pWindow.get(), &OrvelMainWindow::ExitRequested);
    m_pSettings->setRunInBackground(true);
    m_pWindow->SetTray(new UsableTray(QIcon(QStringLiteral(":/icons/app.ico"))));
    m_pWindow->close();
    Settle();
    EXPECT_FALSE(m_pWindow->isVisible());
    EXPECT_EQ(exit.count(), 0);
    m_pWindow->OnTrayShowWindow();
    EXPECT_TRUE(m_pWindow->isVisible());

    // Without a tray nothing could bring the window back: it exits instead.
    m_pWindow->SetTray(nullptr);
    m_pWindow->close();
    Settle();
    EXPECT_EQ(exit.count(), 1);
}

TEST_F(MainWindowTest, ExitSettingEndsThroughTheControllerOnce)
{
    QSignalSpy exit(m_pWindow.get(), &OrvelMainWindow::ExitRequested);
    QSignalSpy closed(m_pWindow.get(), &OrvelMainWindow::ClosedForGood);
    m_pSettings->setRunInBackground(false);
    m_pWindow->close();
    m_pWindow->close();
    m_pWindow->OnTrayQuit();
    EXPECT_EQ(exit.count(), 1);
    EXPECT_FALSE(Find<QPushButton>("launchButton")->isEnabled());
    // The idle controller answers ExitReady; the window then closes for good.
    EXPECT_TRUE(OrvelTest::WaitUntil([&] { return closed.count() == 1; }));
    EXPECT_FALSE(m_pWindow->isVisible());
    EXPECT_EQ(exit.count(), 1);
}

TEST_F(MainWindowTest, AskRemembersTheChoiceWhenTicked)
{
    QSignalSpy exit(m_pWindow.get(), &OrvelMainWindow::ExitRequested);
    m_pWindow->SetTray(new UsableTray(QIcon(QStringLiteral(":/icons/app.ico"))));
    ASSERT_EQ(m_pSettings->runInBackground(), LauncherSettings::RunInBackgroundAsk);

    // "Yes" without "Remember my choice": to the tray, the setting stays.
    m_pWindow->close();
    auto* pDialog = m_pWindow->findChild<OrvelCloseConfirmDialog*>();
    ASSERT_NE(pDialog, nullptr);
    pDialog->findChild<QPushButton*>(QStringLiteral("yesButton"))->click();
    EXPECT_TRUE(OrvelTest::WaitUntil([&] { return !m_pWindow->isVisible(); }));
    EXPECT_EQ(m_pSettings->runInBackground(), LauncherSettings::RunInBackgroundAsk);
    EXPECT_EQ(exit.count(), 0);

    // "No" with it ticked: exit, remembered.
    m_pWindow->OnTrayShowWindow();
    EXPECT_TRUE(
        OrvelTest::WaitUntil([&] { return m_pWindow->findChild<OrvelCloseConfirmDialog*>() == nullptr; }));
    m_pWindow->close();
    pDialog = m_pWindow->findChild<OrvelCloseConfirmDialog*>();
    ASSERT_NE(pDialog, nullptr);
    // A second close while it is open opens no second dialog.
    m_pWindow->close();
    EXPECT_EQ(m_pWindow->findChildren<OrvelCloseConfirmDialog*>().size(), 1);
    pDialog->findChild<QCheckBox*>(QStringLiteral("rememberCheck"))->setChecked(true);
    pDialog->findChild<QPushButton*>(QStringLiteral("noButton"))->click();
    EXPECT_EQ(exit.count(), 1);
    EXPECT_EQ(m_pSettings->runInBackground(), LauncherSettings::RunInBackgroundExit);
}

TEST_F(MainWindowTest, CloseButtonAsksWhileATaskRuns)
{
    QSignalSpy exit(m_pWindow.get(), &OrvelMainWindow::ExitRequested);
    m_pSettings->setRunInBackground(false);
    m_pWindow->OnWorkerActivityChanged(true);
    auto pNo = OrvelTest::AnswerNextBox(QMessageBox::No);
    Find<QToolButton>("titleCloseButton")->click();
    EXPECT_EQ(pNo->strTitle, QStringLiteral("Confirm Close"));
    EXPECT_EQ(exit.count(), 0);
    EXPECT_TRUE(m_pWindow->isVisible());
    auto pYes = OrvelTest::AnswerNextBox(QMessageBox::Yes);
    Find<QToolButton>("titleCloseButton")->click();
    EXPECT_TRUE(pYes->bAnswered);
    EXPECT_EQ(exit.count(), 1);
}

TEST_F(MainWindowTest, LaunchStartsOnlyAnEditorInsideTheWorkingPath)
{
    const QString strWork = m_dir.filePath(QStringLiteral("work"));
    const QString strOutside = m_dir.filePath(QStringLiteral("outside"));
    ASSERT_TRUE(QDir().mkpath(strOutside));
    m_pSettings->setWorkPath(strWork);
    const QString strEditor = OrvelEditorPath::JoinedProgramPath(strWork);
    const QString strMarker = m_dir.filePath(QStringLiteral("started"));
    const QByteArray script = "#!/bin/sh\npwd > '" + QFile::encodeName(strMarker) + "'\n";
    auto* pLogEdit = Find<QPlainTextEdit>("logEdit");

    // A link to a program elsewhere is refused; nothing runs.
    OrvelTest::WriteFile(strOutside + QStringLiteral("/editor"), script);
    QFile::setPermissions(strOutside + QStringLiteral("/editor"), QFile::ReadOwner | QFile::ExeOwner);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(strEditor).absolutePath()));
    ASSERT_TRUE(QFile::link(strOutside + QStringLiteral("/editor"), strEditor));
    EXPECT_FALSE(OrvelEditorPath::Resolve(strWork).ok);
    // The controller's idle state: the editor's presence is looked at again.
    emit m_pController->LaunchStateChanged(true);
    Find<QPushButton>("launchButton")->click();
    EXPECT_TRUE(pLogEdit->toPlainText().contains(QStringLiteral("leads outside the working path")));
    EXPECT_TRUE(pLogEdit->toPlainText().contains(QStringLiteral("Failed to launch program: ") + strEditor));

    // So is a folder on the way that leads out.
    QFile::remove(strEditor);
    QDir(QFileInfo(strEditor).absolutePath()).removeRecursively();
    ASSERT_TRUE(QFile::link(strOutside, QFileInfo(strEditor).absolutePath()));
    OrvelTest::WriteFile(strOutside + QLatin1Char('/') + QFileInfo(strEditor).fileName(), script);
    EXPECT_FALSE(OrvelEditorPath::Resolve(strWork).ok);
    QFile::remove(QFileInfo(strEditor).absolutePath());

    // The real program inside starts in the working path.
    pLogEdit->clear();
    // Written without execute bits, as a download writes it.
    OrvelTest::WriteFile(strEditor, script);
    QFile::setPermissions(strEditor, QFile::ReadOwner | QFile::WriteOwner);
    emit m_pController->LaunchStateChanged(true);
    ASSERT_TRUE(Find<QPushButton>("launchButton")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("launchButton")->toolTip().isEmpty());
    Find<QPushButton>("launchButton")->click();
    EXPECT_TRUE(pLogEdit->toPlainText().startsWith(QStringLiteral("Launching program: ") + strEditor));
    ASSERT_TRUE(OrvelTest::WaitForFile(strMarker, 10000));
    EXPECT_TRUE(OrvelTest::WaitUntil(
        [&] { return OrvelTest::ReadFile(strMarker).trimmed() == QFile::encodeName(strWork); }));
    EXPECT_FALSE(pLogEdit->toPlainText().contains(QStringLiteral("Failed")));

    // A missing editor cannot be launched, and the button says why.
    QFile::remove(strEditor);
    emit m_pController->LaunchStateChanged(true);
    EXPECT_FALSE(Find<QPushButton>("launchButton")->isEnabled());
    EXPECT_TRUE(
        Find<QPushButton>("launchButton")->toolTip().contains(strEditor + QStringLiteral(" is missing")))
        << Find<QPushButton>("launchButton")->toolTip().toStdString();

    // A launch that fails says why under the line it always wrote: the
    // program went missing after the click, is no program, or the working
    // path cannot be entered.
    const auto fnLaunchLog = [&]
    {
        pLogEdit->clear();
        m_pAppController->OnLaunchTool();
        return pLogEdit->toPlainText();
    };
    const QString strFailed =
        QStringLiteral("Launching program: %1\nFailed to launch program: %1\n").arg(strEditor);
    EXPECT_EQ(fnLaunchLog(), strFailed + QStringLiteral("The program file is missing: ") + strEditor);
    ASSERT_TRUE(QDir().mkpath(strEditor));
    EXPECT_EQ(fnLaunchLog(), strFailed + QStringLiteral("The program is not executable: ") + strEditor);
    const QString strGone = m_dir.filePath(QStringLiteral("gone"));
    m_pSettings->setWorkPath(strGone);
    const QString strGoneEditor = OrvelEditorPath::JoinedProgramPath(strGone);
    EXPECT_EQ(fnLaunchLog(), QStringLiteral("Launching program: %1\nFailed to launch program: %1\n"
                                            "Cannot enter the working path %2")
                                 .arg(strGoneEditor, strGone));
}

TEST(SingleInstanceTest, TheKeyIsHeldOnceAndFreedWhenItsHolderDies)
{
    QTemporaryDir runtime;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    {
        OrvelSingleInstance first(QStringLiteral("QHalvaneLauncher_SingleInstance_Key"));
        OrvelSingleInstance second(QStringLiteral("QHalvaneLauncher_SingleInstance_Key"));
        EXPECT_EQ(first.TryAcquire(), OrvelSingleInstance::Acquired);
        EXPECT_EQ(second.TryAcquire(), OrvelSingleInstance::HeldElsewhere);
        first.Release();
        EXPECT_EQ(second.TryAcquire(), OrvelSingleInstance::Acquired);
    }
    // Another process holds the same key and is killed: the kernel lets go.
    const QString strLock = runtime.filePath(QStringLiteral("QHalvaneLauncher_SingleInstance_Key.lock"));
    QProcess holder;
    // -o: only flock itself holds the lock, not the command it runs.
    holder.start(QStringLiteral("flock"), {QStringLiteral("-o"), strLock, QStringLiteral("cat")});
    ASSERT_TRUE(holder.waitForStarted());
    OrvelSingleInstance key(QStringLiteral("QHalvaneLauncher_SingleInstance_Key"));
    EXPECT_TRUE(OrvelTest::WaitUntil(
        [&]
        {
            OrvelSingleInstance probe(QStringLiteral("QHalvaneLauncher_SingleInstance_Key"));
            return probe.TryAcquire() == OrvelSingleInstance::HeldElsewhere;
        },
        10000));
    holder.kill();
    holder.waitForFinished();
    holder.closeWriteChannel(); // its command, cat, ends with its input
    EXPECT_TRUE(
        OrvelTest::WaitUntil([&] { return key.TryAcquire() == OrvelSingleInstance::Acquired; }, 10000));
    qputenv("XDG_RUNTIME_DIR", saved);
}

} // namespace
