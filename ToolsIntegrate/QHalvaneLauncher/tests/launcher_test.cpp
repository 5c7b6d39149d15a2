// The launcher session as a user meets it, under the offscreen platform:
// the first start, the start-up decision against a real store served by nginx
// and read through the real library, the three modes, and a download from the
// click to "Update complete". With ORVEL_SCREENSHOT_DIR set each state is also
// saved as a picture (scripts/screenshots.sh); every picture is checked anyway.
#include "LauncherLog.h"
#include "LauncherSettings.h"
#include "OrvelCorvaneBinding.h"
#include "OrvelEditorPath.h"
#include "OrvelFileService.h"
#include "OrvelLauncherController.h"
#include "OrvelLauncherSession.h"
#include "OrvelMainWindow.h"
#include "OrvelTestGui.h"
#include "OrvelTestNginx.h"
#include "OrvelTestStore.h"
#include "OrvelTestSupport.h"
#include "RuntimeConfigWriter.h"
#include "platform/OrvelPlatformNames.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace
{

using Tree = QMap<QString, QByteArray>;

class LauncherTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pStoreDir = new QTemporaryDir();
        OrvelCorvaneBinding::SetLibraryDirectory(OrvelTest::BinDir());
        Tree tree;
        for (int i = 0; i < 240; ++i)
            tree[QStringLiteral("content/set%1/part%2/file%3.dat").arg(i % 4).arg(i % 7).arg(i)] =
                OrvelTest::Bytes(300 + 7 * i, static_cast<quint32>(i));
        tree[QString::fromLatin1(OrvelPlatform::kEditorRelativePath)] = "#!/bin/sh\necho editor\n";
        std::vector<Tree> vecTrees;
        for (int nVersion = 1; nVersion <= 3; ++nVersion)
        {
            tree[QStringLiteral("changelog.txt")] =
                QStringLiteral("Version %1\n- changed file0 again\n").arg(nVersion).toUtf8();
            tree[QStringLiteral("content/set0/part0/file0.dat")] =
                OrvelTest::Bytes(500, static_cast<quint32>(100 + nVersion));
            if (nVersion == 3) // big enough that a limited download is seen running
                tree[QStringLiteral("content/big.bin")] = OrvelTest::Bytes(1500000, 7);
            vecTrees.push_back(tree);
        }
        ASSERT_TRUE(OrvelTest::PublishVersions(vecTrees, StoreDir()));
        s_latest = tree;
    }
    static void TearDownTestSuite()
    {
        delete s_pStoreDir;
        s_pStoreDir = nullptr;
    }
    static QString StoreDir() { return s_pStoreDir->filePath(QStringLiteral("store")); }

    void SetUp() override
    {
        m_pServer = std::make_unique<OrvelTest::Nginx>(StoreDir());
        ASSERT_TRUE(m_pServer->Running());
        m_strAppDir = m_dir.filePath(QStringLiteral("app"));
        ASSERT_TRUE(QDir().mkpath(m_strAppDir));
        m_pSettings = std::make_unique<LauncherSettings>(m_strAppDir);
        m_pSettings->setLanguage(QStringLiteral("en_US"));
        m_pLog = std::make_unique<LauncherLog>(m_strAppDir);
        m_pLog->initialise(QStringLiteral("launcher"), 14);
        m_pWriter = std::make_unique<RuntimeConfigWriter>(m_strAppDir);
        ASSERT_TRUE(m_pWriter->WriteProductConfigForServer(m_pServer->BaseUrl()));
    }
    void TearDown() override
    {
        if (m_pSession)
        {
            m_pSession->TearDown();
            // The settings and the log it reads are the fixture's.
            EXPECT_TRUE(OrvelTest::WaitUntil([&] { return !m_pSession->IsStartupThreadRunning(); }, 30000));
        }
        m_pSession.reset();
        QDir::setCurrent(QDir::tempPath());
    }

    QString WorkPath() const { return m_dir.filePath(QStringLiteral("work")); }

    void Start()
    {
        m_pSession = std::make_unique<OrvelLauncherSession>(
            *qobject_cast<QApplication*>(QCoreApplication::instance()), *m_pSettings, *m_pLog, *m_pWriter);
        m_pQuit = std::make_unique<QSignalSpy>(m_pSession.get(), &OrvelLauncherSession::QuitRequested);
        m_pSession->Start();
    }
    bool WaitForStartup()
    {
        return OrvelTest::WaitUntil([&] { return m_pSession->StartupDone(); }, 30000);
    }
    bool WaitForStatus(const QString& strPrefix, int nDeadlineMs = 30000)
    {
        return OrvelTest::WaitUntil([&] { return Status().startsWith(strPrefix); }, nDeadlineMs);
    }

    OrvelMainWindow& Window() const { return *m_pSession->Window(); }
    template <typename T> T* Find(const char* pszName) const
    {
        T* pWidget = Window().findChild<T*>(QLatin1String(pszName));
        EXPECT_NE(pWidget, nullptr) << pszName;
        return pWidget;
    }
    QString Status() const { return Find<QLabel>("statusLabel")->text(); }
    QString LogPanel() const { return Find<QPlainTextEdit>("logEdit")->toPlainText(); }
    bool Enabled(const char* pszName) const { return Find<QWidget>(pszName)->isEnabled(); }
    QString RunLog() const { return QString::fromUtf8(OrvelTest::ReadFile(m_pLog->logFilePath())); }

    static QTemporaryDir* s_pStoreDir;
    static Tree s_latest;
    QTemporaryDir m_dir;
    QString m_strAppDir;
    std::unique_ptr<OrvelTest::Nginx> m_pServer;
    std::unique_ptr<LauncherSettings> m_pSettings;
    std::unique_ptr<LauncherLog> m_pLog;
    std::unique_ptr<RuntimeConfigWriter> m_pWriter;
    std::unique_ptr<OrvelLauncherSession> m_pSession;
    std::unique_ptr<QSignalSpy> m_pQuit;
};

QTemporaryDir* LauncherTest::s_pStoreDir = nullptr;
Tree LauncherTest::s_latest;

TEST_F(LauncherTest, FirstStartCancelledEndsBeforeAnyStoreWork)
{
    ASSERT_TRUE(QFile::remove(m_pWriter->ProductConfigPath()));
    QString strDialog;
    OrvelTest::OnNextDialog(
        [&](QDialog* pDialog)
        {
            strDialog = pDialog->objectName();
            pDialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        });
    Start();
    EXPECT_EQ(Status(), QStringLiteral("Please complete initial settings to continue startup."));
    ASSERT_TRUE(OrvelTest::WaitUntil([&] { return m_pQuit->count() == 1; }));
    EXPECT_EQ(strDialog, QStringLiteral("settingsDialog"));
    EXPECT_EQ(m_pQuit->at(0).at(0).toInt(), 0);
    EXPECT_FALSE(QFile::exists(m_pWriter->ProductConfigPath()));
    EXPECT_FALSE(m_pSession->StartupDone());
}

TEST_F(LauncherTest, FirstStartContinuesWithTheChosenWorkingPath)
{
    OrvelTest::OnNextDialog(
        [&](QDialog* pDialog)
        {
            pDialog->findChild<QLineEdit*>(QStringLiteral("workPathEdit"))->setText(WorkPath());
            OrvelTest::Shot(Window(), QStringLiteral("first_start_settings"), pDialog);
            pDialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
    Start();
    ASSERT_TRUE(WaitForStartup());
    EXPECT_EQ(m_pSettings->workPath(), WorkPath());
    EXPECT_TRUE(m_pSession->StartupResult().success);
    EXPECT_TRUE(WaitForStatus(QStringLiteral("Resource update available")));
    EXPECT_EQ(m_pQuit->count(), 0);
}

TEST_F(LauncherTest, NormalStartOffersTheUpdateAndItsNotes)
{
    m_pSettings->setWorkPath(WorkPath());
    Start();
    EXPECT_FALSE(Enabled("downloadLatestButton"));
    ASSERT_TRUE(WaitForStartup());
    EXPECT_EQ(m_pSession->StartupResult().mode, int(StartupInitializationResult::ModeNormal));
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Resource update available")));
    EXPECT_TRUE(Enabled("downloadLatestButton"));
    EXPECT_TRUE(Enabled("repairButton"));
    // Nothing is installed yet: there is no editor to launch, and the button says so.
    EXPECT_FALSE(Enabled("launchButton"));
    EXPECT_TRUE(Find<QPushButton>("launchButton")
                    ->toolTip()
                    .startsWith(QStringLiteral("The editor is not installed in the working path")))
        << Find<QPushButton>("launchButton")->toolTip().toStdString();
    // No record yet; the release text is the version the service opened.
    EXPECT_TRUE(
        Find<QLabel>("titleLabel")->text().endsWith(QStringLiteral("IDE Version <None> - release 3")));
    EXPECT_TRUE(Find<QTextBrowser>("noticeBrowser")
                    ->toPlainText()
                    .contains(QStringLiteral("Keep your editor tools")));
    EXPECT_TRUE(RunLog().contains(QStringLiteral("Launcher started in normal mode")));
    OrvelTest::Shot(Window(), QStringLiteral("idle_update_offered"));

    // The notes of the version the working path follows (the latest here), then one older.
    Find<QPushButton>("noticeTitleButton")->click();
    auto* pOverlay = Find<QWidget>("noticeOverlay");
    ASSERT_TRUE(OrvelTest::WaitUntil([&] { return pOverlay->isVisible(); }));
    auto* pTitle = Find<QLabel>("noticeOverlayTitleLabel");
    auto* pBrowser = Find<QTextBrowser>("noticeOverlayBrowser");
    EXPECT_TRUE(pTitle->text().startsWith(QStringLiteral("v3 | release 3\nguid: {")))
        << pTitle->text().toStdString();
    EXPECT_TRUE(pBrowser->toPlainText().startsWith(QStringLiteral("Version 3")));
    const QList<QPushButton*> nav =
        pOverlay->findChildren<QPushButton*>(QStringLiteral("noticeOverlayNavButton"));
    ASSERT_EQ(nav.size(), 2);
    EXPECT_FALSE(nav[0]->isEnabled());
    ASSERT_TRUE(nav[1]->isEnabled());
    nav[1]->click();
    ASSERT_TRUE(OrvelTest::WaitUntil(
        [&] { return pBrowser->toPlainText().startsWith(QStringLiteral("Version 2")); }));
    EXPECT_TRUE(pTitle->text().startsWith(QStringLiteral("v2 | release 2\n")));
    EXPECT_TRUE(nav[0]->isEnabled());
    EXPECT_TRUE(nav[1]->isEnabled());
    OrvelTest::Shot(Window(), QStringLiteral("notice_overlay"));

    // Directory reconcile asks through the window's dialogs; declined, nothing runs.
    QString strDialog;
    OrvelTest::OnNextDialog(
        [&](QDialog* pDialog)
        {
            strDialog = QString::fromLatin1(pDialog->metaObject()->className());
            pDialog->reject();
        });
    Find<QToolButton>("cleanResButton")->click();
    EXPECT_TRUE(WaitForStatus(QStringLiteral("Directory reconcile cancelled"))) << Status().toStdString();
    EXPECT_EQ(strDialog, QStringLiteral("OrvelDirectoryReconcileDialog"));
}

TEST_F(LauncherTest, AResultAfterTheWindowIsGoneIsDropped)
{
    m_pSettings->setWorkPath(WorkPath());
    // The server answers nothing until thawed: the start-up thread waits in its first request.
    m_pServer->Freeze();
    Start();
    m_pSession->TearDown();
    m_pServer->Thaw();
    // The thread finishes its decision and posts nothing.
    ASSERT_TRUE(OrvelTest::WaitUntil([&] { return !m_pSession->IsStartupThreadRunning(); }, 30000));
    EXPECT_TRUE(RunLog().contains(QStringLiteral("Corvane initialized successfully with latest version")));
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_pSession->StartupDone());
    EXPECT_FALSE(RunLog().contains(QStringLiteral("Launcher started in normal mode")));
}

TEST_F(LauncherTest, ServerDownEntersLimitedModeWithLaunchAvailable)
{
    m_pSettings->setWorkPath(WorkPath());
    OrvelTest::WriteFile(OrvelEditorPath::JoinedProgramPath(WorkPath()), "#!/bin/sh\n");
    m_pServer->Kill();
    auto pBox = OrvelTest::AnswerNextBox(QMessageBox::Ok);
    Start();
    ASSERT_TRUE(WaitForStartup());
    EXPECT_FALSE(m_pSession->StartupResult().success);
    EXPECT_EQ(pBox->strTitle, QStringLiteral("Limited Mode"));
    EXPECT_TRUE(pBox->strText.startsWith(QStringLiteral("Failed to initialize Corvane: ")))
        << pBox->strText.toStdString();
    // The first line as it always was, then the server and what is wrong with it.
    EXPECT_TRUE(pBox->strText.endsWith(QStringLiteral("\n") + m_pServer->BaseUrl() +
                                       QStringLiteral(": connection refused")))
        << pBox->strText.toStdString();
    EXPECT_TRUE(
        LogPanel().contains(QStringLiteral("IDE resource initialization is unavailable. Resource actions are "
                                           "disabled, but offline launch remains available.")));
    // Then the launcher's own check, which cannot reach the server either.
    EXPECT_TRUE(WaitForStatus(QStringLiteral("Launcher update check failed")));
    for (const char* pszButton :
         {"downloadLatestButton", "repairButton", "cleanResButton", "versionBrowseButton", "settingsButton"})
        EXPECT_FALSE(Enabled(pszButton)) << pszButton;
    EXPECT_TRUE(Enabled("launchButton"));
    OrvelTest::Shot(Window(), QStringLiteral("limited_mode"));
}

TEST_F(LauncherTest, LimitedModeAfterTheFirstStartLooksForTheEditorInTheChosenPath)
{
    OrvelTest::WriteFile(OrvelEditorPath::JoinedProgramPath(WorkPath()), "#!/bin/sh\n");
    m_pServer->Kill();
    OrvelTest::OnNextDialog(
        [&](QDialog* pDialog)
        {
            pDialog->findChild<QLineEdit*>(QStringLiteral("workPathEdit"))->setText(WorkPath());
            pDialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
    auto pBox = OrvelTest::AnswerNextBox(QMessageBox::Ok);
    Start();
    ASSERT_TRUE(WaitForStartup());
    EXPECT_FALSE(m_pSession->StartupResult().success);
    EXPECT_EQ(pBox->strTitle, QStringLiteral("Limited Mode"));
    EXPECT_TRUE(Enabled("launchButton"));
}

TEST_F(LauncherTest, TagMismatchEntersRepairOnlyMode)
{
    m_pSettings->setWorkPath(WorkPath());
    OrvelTest::WriteFile(OrvelEditorPath::JoinedProgramPath(WorkPath()), "#!/bin/sh\n");
    ASSERT_TRUE(m_pSettings->writeProductRecord(2, QStringLiteral("not-the-tag")));
    Start();
    ASSERT_TRUE(WaitForStartup());
    EXPECT_TRUE(m_pSession->StartupResult().success);
    EXPECT_EQ(m_pSession->StartupResult().mode, int(StartupInitializationResult::ModeRepairOnlyLatest));
    ASSERT_TRUE(OrvelTest::WaitUntil([&] { return Enabled("repairButton"); }));
    EXPECT_EQ(Status(),
              QStringLiteral("Resource version mismatch detected. Resource repair is required before "
                             "update features can be used."));
    EXPECT_TRUE(LogPanel().contains(
        QStringLiteral("Recorded resource sync state mismatched the current Corvane "
                       "state. Switched to latest version and enabled repair-only mode.")));
    EXPECT_TRUE(Enabled("settingsButton"));
    EXPECT_TRUE(Enabled("launchButton"));
    for (const char* pszButton : {"downloadLatestButton", "cleanResButton", "versionBrowseButton"})
        EXPECT_FALSE(Enabled(pszButton)) << pszButton;
    EXPECT_TRUE(RunLog().contains(QStringLiteral("Launcher started in repair-only latest mode")));
    OrvelTest::Shot(Window(), QStringLiteral("repair_only"));
}

TEST_F(LauncherTest, DownloadFromTheClickToUpdateComplete)
{
    m_pSettings->setWorkPath(WorkPath());
    // Slow at first, so that the running download can be seen and stopped.
    m_pSettings->setDownloadLimit(256 * 1024);
    Start();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Resource update available")));

    auto pAsk = OrvelTest::AnswerNextBox(QMessageBox::Yes);
    Find<QPushButton>("downloadLatestButton")->click();
    auto* pBar = Find<QProgressBar>("mainProgressBar");
    // The bar goes by bytes: how much of how much, and never full while
    // content/big.bin is on its way.
    ASSERT_TRUE(OrvelTest::WaitUntil(
        [&]
        {
            return pBar->value() > 0 && pBar->text().contains(QStringLiteral(" of ")) &&
                   Find<QLabel>("speedLabel")->text() != QStringLiteral("Speed: --") &&
                   Enabled("pauseResumeButton") && Enabled("stopButton");
        }))
        << pBar->text().toStdString();
    EXPECT_LT(pBar->value(), pBar->maximum());
    EXPECT_TRUE(pBar->text().startsWith(QStringLiteral("%1% (").arg(pBar->value())))
        << pBar->text().toStdString();
    EXPECT_EQ(pAsk->strTitle, QStringLiteral("Get Latest"));
    EXPECT_TRUE(Status().startsWith(QStringLiteral("Downloading")));
    EXPECT_FALSE(Enabled("launchButton"));
    OrvelTest::Shot(Window(), QStringLiteral("download_in_progress"));

    // Stopped: what it wrote is rolled back and the offer stands.
    auto pStop = OrvelTest::AnswerNextBox(QMessageBox::Yes);
    Find<QPushButton>("stopButton")->click();
    EXPECT_EQ(pStop->strTitle, QStringLiteral("Stop Current Task"));
    ASSERT_TRUE(OrvelTest::WaitUntil(
        [&] { return !m_pSession->Controller()->IsBusy() && Enabled("downloadLatestButton"); }));

    m_pSettings->setDownloadLimit(0);
    auto pAgain = OrvelTest::AnswerNextBox(QMessageBox::Yes);
    Find<QPushButton>("downloadLatestButton")->click();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Update complete"), 60000)) << Status().toStdString();
    EXPECT_TRUE(pAgain->bAnswered);
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), s_latest);
    EXPECT_TRUE(OrvelTest::WaitUntil(
        [&] {
            return Find<QLabel>("titleLabel")->text().endsWith(QStringLiteral("IDE Version v3 - release 3"));
        }));
    EXPECT_EQ(pBar->value(), pBar->maximum());
    EXPECT_FALSE(Enabled("downloadLatestButton"));
    // The editor is in place now: it may be launched.
    EXPECT_TRUE(OrvelTest::WaitUntil([&] { return Enabled("launchButton"); }));
    EXPECT_TRUE(Find<QPushButton>("launchButton")->toolTip().isEmpty());
    OrvelTest::Shot(Window(), QStringLiteral("update_complete"));
}

TEST_F(LauncherTest, AFailedDownloadOpensTheLogOverlay)
{
    m_pSettings->setWorkPath(WorkPath());
    Start();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Resource update available")));
    // The check before the download still reaches the server; the files are
    // gone once the download is confirmed.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout,
                     [&]
                     {
                         auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                         if (pBox == nullptr)
                             return;
                         poll.stop();
                         m_pServer->Kill();
                         pBox->button(QMessageBox::Yes)->click();
                     });
    poll.start(20);
    Find<QPushButton>("downloadLatestButton")->click();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Update failed"))) << Status().toStdString();
    auto* pOverlay = Find<QWidget>("logOverlay");
    EXPECT_TRUE(OrvelTest::WaitUntil([&] { return pOverlay->isVisible(); }));
    EXPECT_TRUE(LogPanel().contains(QStringLiteral("Resource download failed: ")));
    EXPECT_TRUE(OrvelTest::WaitUntil([&] { return !m_pSession->Controller()->IsBusy(); }));
    EXPECT_TRUE(OrvelTest::ReadTree(WorkPath()).isEmpty());
    OrvelTest::Shot(Window(), QStringLiteral("log_overlay_failure"));
}

TEST_F(LauncherTest, AnInterruptedUpdateIsOfferedAtStartUpAndFinished)
{
    // Version 2 is recorded; a download to 3 was killed after some files.
    m_pSettings->setWorkPath(WorkPath());
    // The product configuration names its cache relative to the launcher's directory.
    ASSERT_TRUE(QDir::setCurrent(m_strAppDir));
    OrvelFileService service;
    ASSERT_TRUE(service.Initialize(m_pWriter->ProductConfigPath(), 2));
    const QString strTag = service.ReadPakInfo().tag;
    service.Close();
    Tree mixed = s_latest;
    mixed.remove(QStringLiteral("content/big.bin"));
    mixed[QStringLiteral("changelog.txt")] = "Version 2\n- changed file0 again\n";
    OrvelTest::WriteTree(WorkPath(), mixed);
    ASSERT_TRUE(m_pSettings->writeProductRecord(2, strTag));
    ASSERT_TRUE(m_pSettings->markProductRecordPending(3, QStringLiteral("download")));

    bool bLaunchWhileAsked = true;
    auto pBox =
        OrvelTest::AnswerNextBox(QMessageBox::Yes, 30000,
                                 [&](QMessageBox* pOpen)
                                 {
                                     bLaunchWhileAsked = Enabled("launchButton");
                                     OrvelTest::Shot(Window(), QStringLiteral("interrupted_update"), pOpen);
                                 });
    Start();
    ASSERT_TRUE(WaitForStartup());
    ASSERT_TRUE(OrvelTest::WaitUntil([&] { return pBox->bAnswered; }, 30000))
        << Status().toStdString() << "\n"
        << RunLog().toStdString();
    EXPECT_EQ(pBox->strTitle, QStringLiteral("Update Interrupted"));
    EXPECT_TRUE(pBox->strText.startsWith(QStringLiteral("An update was interrupted.")))
        << pBox->strText.toStdString();
    EXPECT_FALSE(bLaunchWhileAsked);
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Update complete"), 60000)) << Status().toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), s_latest);
    EXPECT_TRUE(OrvelTest::WaitUntil([&] { return Enabled("launchButton"); }));
    EXPECT_FALSE(m_pSettings->productRecordPending());
}

TEST_F(LauncherTest, ANewWorkingPathFromTheSettingsIsOfferedTheDownload)
{
    // Installed at the latest version, as a finished download leaves it.
    m_pSettings->setWorkPath(WorkPath());
    ASSERT_TRUE(QDir::setCurrent(m_strAppDir));
    OrvelFileService service;
    ASSERT_TRUE(service.Initialize(m_pWriter->ProductConfigPath(), 3));
    const QString strTag = service.ReadPakInfo().tag;
    service.Close();
    OrvelTest::WriteTree(WorkPath(), s_latest);
    ASSERT_TRUE(m_pSettings->writeProductRecord(3, strTag));
    Start();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Already the newest version"))) << Status().toStdString();
    EXPECT_FALSE(Enabled("downloadLatestButton"));

    const QString strNew = m_dir.filePath(QStringLiteral("empty work"));
    ASSERT_TRUE(QDir().mkpath(strNew));
    OrvelTest::OnNextDialog(
        [&](QDialog* pDialog)
        {
            pDialog->findChild<QLineEdit*>(QStringLiteral("workPathEdit"))->setText(strNew);
            pDialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
    Find<QToolButton>("settingsButton")->click();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Resource update available"))) << Status().toStdString();
    EXPECT_EQ(m_pSettings->workPath(), strNew);
    EXPECT_TRUE(Enabled("downloadLatestButton"));
}

TEST_F(LauncherTest, GetLatestWithoutTheServerSaysSoAndNamesTheLastKnownVersion)
{
    m_pSettings->setWorkPath(WorkPath());
    Start();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Resource update available")));
    // Get Latest checks first: offline, that check ends it.
    m_pServer->Kill();
    Find<QPushButton>("downloadLatestButton")->click();
    const QString strExpected = QStringLiteral("Could not reach the update server: %1: connection refused; "
                                               "last known version 3")
                                    .arg(m_pServer->BaseUrl());
    ASSERT_TRUE(WaitForStatus(strExpected)) << Status().toStdString();
    EXPECT_TRUE(LogPanel().contains(strExpected));
    EXPECT_TRUE(OrvelTest::WaitUntil([&] { return RunLog().contains(strExpected); }));
    EXPECT_FALSE(Status().contains(QStringLiteral("newest")));
    OrvelTest::Shot(Window(), QStringLiteral("check_offline"));
}

TEST_F(LauncherTest, TheWindowSpeaksChinese)
{
    m_pSettings->setWorkPath(WorkPath());
    m_pSettings->setLanguage(QStringLiteral("zh_CN"));
    Start();
    ASSERT_TRUE(WaitForStartup());
    ASSERT_TRUE(OrvelTest::WaitUntil([&] { return Enabled("downloadLatestButton"); }));
    EXPECT_EQ(Find<QPushButton>("launchButton")->text(), QString::fromUtf8("启动工具"));
    EXPECT_EQ(Find<QPushButton>("noticeTitleButton")->text(), QString::fromUtf8("更新公告"));
    // The status line carries the controller's own text, the card the built-in notice in Chinese.
    EXPECT_EQ(Status(), QString::fromUtf8("有可用的资源更新"));
    ASSERT_TRUE(OrvelTest::WaitUntil(
        [&]
        {
            return Find<QTextBrowser>("noticeBrowser")
                ->toPlainText()
                .contains(QString::fromUtf8("让编辑器工具保持最新"));
        }));
    OrvelTest::Shot(Window(), QStringLiteral("main_window_zh_CN"));
}

} // namespace
