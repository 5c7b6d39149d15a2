// The launcher's self-update up to the hand-over, in process: real stores
// served by nginx, the real library, the controller driven through its
// commands; the updater the store publishes here is a stand-in script that
// records how it was started (the real updater runs in selfupdate_e2e_test).
#include "core_test_env.h"

#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "OrvelLauncherController.h"
#include "OrvelPackageReader.h"
#include "OrvelTestPrompt.h"
#include "platform/OrvelPlatformNames.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

using OrvelCoreTest::ServedStore;
using OrvelCoreTest::Tree;

namespace
{

const QString kRoot = QStringLiteral("EditorTool/QHalvaneLauncher/");
const QByteArray kRecordingUpdater = "#!/bin/sh\nd=\"$(dirname \"$0\")\"\n"
                                     "printf '%s\\n' \"$@\" > \"$d/updater_args.tmp\"\n"
                                     "mv \"$d/updater_args.tmp\" \"$d/updater_args.txt\"\n";

QString UpdaterName()
{
    return QLatin1String(OrvelPlatform::kUpdaterFileName);
}

// The product's resources and the launcher files of one release.
Tree Release(const QByteArray& launcher, const QByteArray& readme, const QByteArray& updater, bool bNewFile)
{
    Tree tree{{QStringLiteral("Data/Info.TXT"), QByteArray("resources")},
              {kRoot + QStringLiteral("QHalvaneLauncher"), launcher},
              {kRoot + QLatin1String(OrvelPlatform::kLibraryFileName), QByteArray("library")},
              {kRoot + QStringLiteral("data/readme.txt"), readme}};
    if (!updater.isNull())
        tree[kRoot + UpdaterName()] = updater;
    if (bNewFile)
        tree[kRoot + QStringLiteral("data/new.txt")] = "added in two";
    return tree;
}

// The only file larger than a data package holds one package alone: damaging
// the largest package damages that file's record and nothing else.
bool FlipByteInLargestPackage(const QString& strStore)
{
    QString strLargest;
    qint64 nLargest = 0;
    QDirIterator it(strStore + QStringLiteral("/dat"), {QStringLiteral("*.dat")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
    {
        const QString strPath = it.next();
        if (QFileInfo(strPath).size() > nLargest)
        {
            nLargest = QFileInfo(strPath).size();
            strLargest = strPath;
        }
    }
    QFile file(strLargest);
    if (nLargest < 100000 || !file.open(QIODevice::ReadWrite))
        return false;
    QByteArray data = file.readAll();
    data[static_cast<int>(nLargest / 2)] = static_cast<char>(data.at(static_cast<int>(nLargest / 2)) ^ 0x5a);
    return file.seek(0) && file.write(data) == data.size();
}

using OrvelTest::Texts;

using OrvelTest::WaitUntil;

class SelfUpdateTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // The latest release of each store: complete, without an updater, and
        // with an updater that cannot be executed.
        s_pStore = new ServedStore;
        ASSERT_TRUE(s_pStore->Publish({Release("launcher v1", "readme v1", "#!/bin/sh\n", false),
                                       Release("launcher v2", "readme v2", kRecordingUpdater, true)}));
        s_pNoUpdater = new ServedStore;
        ASSERT_TRUE(s_pNoUpdater->Publish({Release("launcher v2", "readme v2", QByteArray(), true)}));
        // One launcher file's record is damaged on the server after publishing.
        s_pCorrupt = new ServedStore;
        Tree corrupt = Release("launcher v2", "readme v2", kRecordingUpdater, true);
        corrupt[kRoot + QStringLiteral("data/big.bin")] = OrvelTest::Bytes(200000, 9);
        ASSERT_TRUE(s_pCorrupt->Publish({corrupt}));
        ASSERT_TRUE(FlipByteInLargestPackage(s_pCorrupt->StoreDir()));
        s_pBadUpdater = new ServedStore;
        ASSERT_TRUE(s_pBadUpdater->Publish(
            {Release("launcher v2", "readme v2", "#!/nonexistent/interpreter\n", true)}));
    }
    static void TearDownTestSuite()
    {
        delete s_pStore;
        delete s_pNoUpdater;
        delete s_pBadUpdater;
        delete s_pCorrupt;
        s_pStore = s_pNoUpdater = s_pBadUpdater = s_pCorrupt = nullptr;
    }

    // An installation at release 1: built names, its own letter case.
    void Deploy(ServedStore* pStore, bool bWithUpdater = true)
    {
        m_strApp = pStore->MakeAppDir(QStringLiteral("app-%1").arg(++s_nApp));
        OrvelTest::WriteFile(App(QStringLiteral("QHalvaneLauncher")), "launcher v1");
        OrvelTest::WriteFile(App(QLatin1String(OrvelPlatform::kLibraryFileName)), "library");
        OrvelTest::WriteFile(App(QStringLiteral("Data/ReadMe.txt")), "readme v1");
        if (bWithUpdater)
        {
            OrvelTest::WriteFile(App(UpdaterName()), "#!/bin/sh\n");
            QFile::setPermissions(App(UpdaterName()), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        m_pSettings = std::make_unique<LauncherSettings>(m_strApp);
        m_pSettings->setWorkPath(m_strApp + QStringLiteral("-work"));
    }

    // The controller as the launcher starts it; bLimited: the product store
    // could not be opened, so the primary service has no reader.
    void Start(bool bLimited = false)
    {
        m_pPrimary = std::make_unique<OrvelFileService>();
        if (!bLimited)
        {
            ASSERT_TRUE(
                m_pPrimary->Initialize(ServedStore::ConfigPath(m_strApp), OrvelFileService::kLatestVersion));
        }
        m_pController = std::make_unique<OrvelLauncherController>(m_pSettings.get());
        m_prompt.mapAnswers[OrvelQuestion::SelfUpdate] = OrvelQuestion::Yes;
        m_pController->SetUserPrompt(&m_prompt);
        m_pController->SetQuitAction(
            [this]
            {
                ++m_nQuits;
                m_bLaunchedBeforeQuit =
                    Logged(QStringLiteral("Updater launched: %1").arg(App(UpdaterName())));
            });
        m_pStatus =
            std::make_unique<QSignalSpy>(m_pController.get(), &OrvelLauncherController::StatusChanged);
        m_pLog = std::make_unique<QSignalSpy>(m_pController.get(), &OrvelLauncherController::LogMessage);
        m_pPanel = std::make_unique<QSignalSpy>(m_pController.get(), &OrvelLauncherController::UiLogMessage);
        m_pButtons =
            std::make_unique<QSignalSpy>(m_pController.get(), &OrvelLauncherController::ButtonStateChanged);
        m_pFinished =
            std::make_unique<QSignalSpy>(m_pController.get(), &OrvelLauncherController::SelfUpdateFinished);
        m_pReady =
            std::make_unique<QSignalSpy>(m_pController.get(), &OrvelLauncherController::SelfUpdateReady);
        m_pController->SetFileService(m_pPrimary.get());
    }
    void TearDown() override
    {
        m_pController.reset();
        m_pPrimary.reset();
    }

    QString App(const QString& strRelative) const { return m_strApp + QLatin1Char('/') + strRelative; }
    QString Package() const { return OrvelLauncherController::SelfUpdatePackagePath(m_strApp); }
    bool Logged(const QString& strLine) const { return Texts(*m_pLog).contains(strLine); }
    bool WaitFinished()
    {
        return WaitUntil([&] { return !m_pFinished->isEmpty() && !m_pController->IsBusy(); });
    }
    bool FinishedWith(bool bSuccess) const
    {
        return m_pFinished->size() == 1 && m_pFinished->first().at(0).toBool() == bSuccess;
    }
    // Nothing was handed over: no package, no updater run, no quit.
    void ExpectNothingStarted()
    {
        EXPECT_FALSE(QFileInfo::exists(Package()));
        EXPECT_FALSE(QFileInfo::exists(App(QStringLiteral("updater_args.txt"))));
        EXPECT_EQ(m_nQuits, 0);
        EXPECT_TRUE(m_pReady->isEmpty());
        EXPECT_FALSE(m_pController->IsBusy());
        EXPECT_FALSE(m_pController->IsSelfUpdateInProgress());
    }

    static ServedStore* s_pStore;
    static ServedStore* s_pNoUpdater;
    static ServedStore* s_pBadUpdater;
    static ServedStore* s_pCorrupt;
    static int s_nApp;

    QString m_strApp;
    std::unique_ptr<LauncherSettings> m_pSettings;
    std::unique_ptr<OrvelFileService> m_pPrimary;
    OrvelTest::ScriptedPrompt m_prompt;
    std::unique_ptr<OrvelLauncherController> m_pController;
    std::unique_ptr<QSignalSpy> m_pStatus;
    std::unique_ptr<QSignalSpy> m_pLog;
    std::unique_ptr<QSignalSpy> m_pPanel;
    std::unique_ptr<QSignalSpy> m_pButtons;
    std::unique_ptr<QSignalSpy> m_pFinished;
    std::unique_ptr<QSignalSpy> m_pReady;
    int m_nQuits = 0;
    bool m_bLaunchedBeforeQuit = false;
};

ServedStore* SelfUpdateTest::s_pStore = nullptr;
ServedStore* SelfUpdateTest::s_pNoUpdater = nullptr;
ServedStore* SelfUpdateTest::s_pBadUpdater = nullptr;
ServedStore* SelfUpdateTest::s_pCorrupt = nullptr;
int SelfUpdateTest::s_nApp = 0;

TEST_F(SelfUpdateTest, BothOffersHandOverAVerifiedPackageOfTheChangedFilesToTheRefreshedUpdater)
{
    for (const bool bLimited : {false, true})
    {
        SCOPED_TRACE(bLimited ? "limited start" : "after a version check");
        m_nQuits = 0;
        m_bLaunchedBeforeQuit = false;
        m_prompt.vecAsked.clear();
        // The limited start has never had an updater: the first one must still run.
        Deploy(s_pStore, !bLimited);
        Start(bLimited);
        if (bLimited)
            m_pController->RunLauncherOnlyUpdateCheck();
        else
            m_pController->CheckForUpdates();
        ASSERT_TRUE(WaitUntil([&] { return m_nQuits > 0; })) << Texts(*m_pStatus).join('|').toStdString();
        ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(App(QStringLiteral("updater_args.txt"))); }));

        EXPECT_EQ(m_prompt.Asked(), QList<OrvelQuestion::Id>{OrvelQuestion::SelfUpdate});
        EXPECT_EQ(m_nQuits, 1);
        EXPECT_TRUE(m_bLaunchedBeforeQuit) << "quit before the updater ran";
        EXPECT_TRUE(FinishedWith(true));
        ASSERT_EQ(m_pReady->size(), 1);
        EXPECT_EQ(m_pReady->first().at(0).toString(), Package());
        const QStringList vecStatus = Texts(*m_pStatus);
        for (const char* pszStatus : {"Launcher update available", "Preparing updater...",
                                      "Building update package...", "Preparing to launch updater..."})
            EXPECT_TRUE(vecStatus.contains(QLatin1String(pszStatus))) << pszStatus;
        for (const QString& strLine :
             {QStringLiteral("Self-update updater replacement started"),
              QStringLiteral("Updater prepared successfully: %1").arg(App(UpdaterName())),
              QStringLiteral("Self-update package build started"),
              QStringLiteral("Update package built successfully: %1").arg(Package())})
            EXPECT_TRUE(Logged(strLine)) << strLine.toStdString();

        // The updater is the store's, startable, and was told what to do.
        EXPECT_EQ(OrvelTest::ReadFile(App(UpdaterName())), kRecordingUpdater);
        EXPECT_TRUE(QFileInfo(App(UpdaterName())).isExecutable());
        EXPECT_EQ(QString::fromUtf8(OrvelTest::ReadFile(App(QStringLiteral("updater_args.txt")))).split('\n'),
                  (QStringList{QStringLiteral("--package"), Package(), QStringLiteral("--target"), m_strApp,
                               QStringLiteral("--pid"), QString::number(QCoreApplication::applicationPid()),
                               QString()}));

        // Exactly the changed files, under the installation's own names.
        OrvelPackageReader reader;
        ASSERT_TRUE(reader.open(Package())) << reader.lastError().toStdString();
        EXPECT_EQ(reader.contentVersion(), 2);
        QStringList vecEntries;
        for (int i = 0; i < reader.fileCount(); ++i)
            vecEntries << reader.fileInfo(i).strRelativePath;
        vecEntries.sort();
        // Their content, once the real updater has applied them: selfupdate_e2e_test.
        EXPECT_EQ(vecEntries, (QStringList{QStringLiteral("Data/ReadMe.txt"), QStringLiteral("Data/new.txt"),
                                           QStringLiteral("QHalvaneLauncher")}));
        // Each entry carries the SHA-256 of the store's bytes, for the updater to check.
        const QMap<QString, QByteArray> published = {{QStringLiteral("Data/ReadMe.txt"), "readme v2"},
                                                     {QStringLiteral("Data/new.txt"), "added in two"},
                                                     {QStringLiteral("QHalvaneLauncher"), "launcher v2"}};
        EXPECT_TRUE(reader.hasContentHashes());
        for (int i = 0; i < reader.fileCount(); ++i)
            EXPECT_EQ(reader.fileInfo(i).sha256,
                      QCryptographicHash::hash(published.value(reader.fileInfo(i).strRelativePath),
                                               QCryptographicHash::Sha256))
                << i;
        EXPECT_EQ(m_pSettings->launcherRecordVersion(), 2u);
        TearDown();
    }
}

TEST_F(SelfUpdateTest, AnOfferAcceptedAfterTheFilesBecameCurrentStartsNothing)
{
    Deploy(s_pStore, false);
    Start(true);
    // While the question is open the files reach the published state.
    m_prompt.fnBeforeAnswer = [&]
    {
        OrvelTest::WriteFile(App(QStringLiteral("QHalvaneLauncher")), "launcher v2");
        OrvelTest::WriteFile(App(QStringLiteral("Data/ReadMe.txt")), "readme v2");
        OrvelTest::WriteFile(App(QStringLiteral("Data/new.txt")), "added in two");
    };
    m_pController->RunLauncherOnlyUpdateCheck();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Texts(*m_pStatus).last(), QStringLiteral("Launcher is already the newest version"));
    EXPECT_TRUE(Logged(QStringLiteral("Self-update skipped: launcher files are already the newest version")));
    EXPECT_TRUE(FinishedWith(true));
    EXPECT_FALSE(QFileInfo::exists(App(UpdaterName()))) << "the updater was fetched for nothing";
    ExpectNothingStarted();
    // Limited mode keeps the store's actions off and the launch on.
    ASSERT_FALSE(m_pButtons->isEmpty());
    for (const QVariant& enabled : m_pButtons->last())
        EXPECT_FALSE(enabled.toBool());
}

TEST_F(SelfUpdateTest, FailuresBeforeTheHandOverKeepTheLauncherRunningAndIdle)
{
    struct Case
    {
        const char* pszName;
        ServedStore** ppStore;
        QString strStatus;
        QString strPanel;
        bool bBuilt; // the package was built and handed over
    };
    const Case vecCases[] = {
        {"no updater published", &s_pNoUpdater, QStringLiteral("Failed to prepare updater"),
         QStringLiteral("Failed to prepare updater: Failed to read remote updater file: "
                        "editortool/qhalvanelauncher/%1")
             .arg(UpdaterName()),
         false},
        {"damaged launcher file", &s_pCorrupt, QStringLiteral("Failed to build update package"),
         QStringLiteral("Failed to read remote file: editortool/qhalvanelauncher/data/big.bin"), false},
        {"updater cannot start", &s_pBadUpdater, QStringLiteral("Failed to launch updater"),
         QStringLiteral("Failed to launch updater: %1/%2 could not be executed"), true},
    };
    for (const Case& testCase : vecCases)
    {
        SCOPED_TRACE(testCase.pszName);
        Deploy(*testCase.ppStore);
        Start();
        m_pController->StartSelfUpdate();
        ASSERT_TRUE(WaitFinished());
        EXPECT_TRUE(FinishedWith(false));
        EXPECT_EQ(Texts(*m_pStatus).last(), testCase.strStatus);
        const QStringList vecPanel = Texts(*m_pPanel);
        ASSERT_EQ(vecPanel.size(), 1);
        EXPECT_EQ(vecPanel.first(), testCase.strPanel.contains(QLatin1String("%1"))
                                        ? testCase.strPanel.arg(m_strApp, UpdaterName())
                                        : testCase.strPanel);
        if (*testCase.ppStore == s_pNoUpdater)
        {
            EXPECT_FALSE(Logged(QStringLiteral("Self-update package build started")));
        }
        EXPECT_EQ(m_pReady->size(), testCase.bBuilt ? 1 : 0);
        EXPECT_FALSE(QFileInfo::exists(Package()));
        EXPECT_EQ(m_nQuits, 0);
        EXPECT_FALSE(m_pController->IsBusy());
        const QList<QVariant> buttons = m_pButtons->last();
        EXPECT_TRUE(buttons.at(0).toBool() && buttons.at(2).toBool() && buttons.at(5).toBool());
        TearDown();
    }
}

TEST_F(SelfUpdateTest, AStopOrAnExitDuringThePreparationStartsNothing)
{
    for (const bool bExit : {false, true})
    {
        SCOPED_TRACE(bExit ? "exit" : "stop");
        Deploy(s_pStore);
        Start();
        QSignalSpy exitReady(m_pController.get(), &OrvelLauncherController::ExitReady);
        m_pController->StartSelfUpdate();
        ASSERT_TRUE(m_pController->IsTaskActive());
        EXPECT_EQ(m_pController->CurrentTaskKind(), OrvelLauncherController::TaskSelfUpdate);
        if (bExit)
            m_pController->RequestApplicationExit();
        else
            m_pController->StopCurrentTask();
        ASSERT_TRUE(WaitFinished());
        EXPECT_TRUE(FinishedWith(false));
        const QStringList vecStatus = Texts(*m_pStatus);
        EXPECT_TRUE(vecStatus.contains(bExit
                                           ? QStringLiteral("Stopping self-update preparation before exit...")
                                           : QStringLiteral("Stopping self-update preparation...")));
        EXPECT_EQ(vecStatus.last(), QStringLiteral("Self-update preparation stopped"));
        EXPECT_TRUE(Logged(QStringLiteral("Self-update preparation stopped by user")));
        EXPECT_EQ(exitReady.size(), bExit ? 1 : 0);
        ExpectNothingStarted();
        TearDown();
    }
}

TEST_F(SelfUpdateTest, StorePathsThatWouldLeaveTheLauncherDirectoryAreRefused)
{
    Deploy(s_pStore);
    QTemporaryDir outside;
    ASSERT_TRUE(QFile::link(outside.path(), App(QStringLiteral("linked"))));
    OrvelFileService service;
    ASSERT_TRUE(service.Initialize(ServedStore::ConfigPath(m_strApp), OrvelFileService::kLatestVersion));
    for (const QString& strPath : {QStringLiteral("editortool/qhalvanelauncher/../outside.txt"),
                                   QStringLiteral("editortool/qhalvanelauncher/linked/evil.so")})
    {
        SCOPED_TRACE(strPath.toStdString());
        const QString strError =
            QStringLiteral("Launcher store path leaves the launcher directory: %1").arg(strPath);
        const LauncherCompareResult compare = service.CompareLauncherFiles({strPath}, m_strApp);
        EXPECT_FALSE(compare.ok);
        EXPECT_EQ(compare.error, strError);
        const SelfUpdatePackageResult package = OrvelFileService::BuildSelfUpdatePackage(
            m_strApp, {QStringLiteral("editortool/qhalvanelauncher/qhalvanelauncher"), strPath}, Package(),
            0);
        EXPECT_FALSE(package.ok);
        EXPECT_EQ(package.error, strError);
        EXPECT_FALSE(QFileInfo::exists(Package()));
    }
    EXPECT_TRUE(QDir(outside.path()).isEmpty());

    // The updater is never compared nor packed, whatever its case or place.
    const QStringList vecUpdaters{QStringLiteral("editortool/qhalvanelauncher/OrvelUpdater.EXE"),
                                  QStringLiteral("editortool/qhalvanelauncher/bin/ORVELUPDATER"),
                                  QStringLiteral("EditorTool/QHalvaneLauncher/orvelupdater.exe")};
    const LauncherCompareResult compare = service.CompareLauncherFiles(vecUpdaters, m_strApp);
    EXPECT_TRUE(compare.ok);
    EXPECT_TRUE(compare.changedFiles.isEmpty());
    const SelfUpdatePackageResult package =
        OrvelFileService::BuildSelfUpdatePackage(m_strApp, vecUpdaters, Package(), 0);
    EXPECT_EQ(package.error, QStringLiteral("No packageable self-update files"));
}

} // namespace
