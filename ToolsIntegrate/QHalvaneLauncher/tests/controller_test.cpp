// The controller driven as the window drives it, through its commands and
// signals: stores built with the real packer, served by a real nginx, read
// through the real library, a real working path; a scripted answerer stands in
// for the dialogs.
#include "LauncherLog.h"
#include "OrvelLauncherController.h"
#include "OrvelStartup.h"
#include "OrvelTestPrompt.h"
#include "OrvelTestPublishedStore.h"
#include "RuntimeConfigWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace
{

using OrvelTest::Tree;

using OrvelTest::ScriptedPrompt;
using OrvelTest::Texts;

using OrvelTest::WaitUntil;

class ControllerTest : public OrvelTest::PublishedStoreTest<ControllerTest>
{
public:
    static std::vector<Tree> MakeVersions();

protected:
    void SetUp() override
    {
        PublishedStoreTest::SetUp();
        OrvelTest::WriteReaderConfig(ConfigPath(), m_pServer->BaseUrl(),
                                     AppDir() + QStringLiteral("/_cache/ofse"));
    }

    void TearDown() override
    {
        m_pController.reset();
        m_pPrimary.reset();
    }

    QString ConfigPath() const { return AppDir() + QStringLiteral("/_cache/config_ofse.cfg"); }

    // Starts as the launcher does: the primary service on the recorded
    // version (or the latest), then the controller with it.
    void StartController(quint32 uVersion = OrvelFileService::kLatestVersion)
    {
        m_pPrimary = std::make_unique<OrvelFileService>();
        ASSERT_TRUE(m_pPrimary->Initialize(ConfigPath(), uVersion)) << m_pPrimary->LastError().toStdString();
        m_pController = std::make_unique<OrvelLauncherController>(m_pSettings.get());
        m_pController->SetUserPrompt(&m_prompt);
        m_pStatus =
            std::make_unique<QSignalSpy>(m_pController.get(), &OrvelLauncherController::StatusChanged);
        m_pLog = std::make_unique<QSignalSpy>(m_pController.get(), &OrvelLauncherController::LogMessage);
        m_pButtons =
            std::make_unique<QSignalSpy>(m_pController.get(), &OrvelLauncherController::ButtonStateChanged);
        m_pController->SetFileService(m_pPrimary.get());
    }

    // The working path at version v with its record, as a finished sync leaves it.
    void InstallVersion(quint32 uVersion)
    {
        OrvelTest::WriteTree(WorkPath(), Version(static_cast<int>(uVersion)));
        ASSERT_TRUE(m_pSettings->writeProductRecord(uVersion, Tag(uVersion)));
    }

    QString Tag(quint32 uVersion)
    {
        OrvelFileService service;
        EXPECT_TRUE(service.Initialize(ConfigPath(), uVersion));
        return service.ReadPakInfo().tag;
    }

    // The launcher's start-up decision on a service of its own.
    StartupInitializationResult Startup()
    {
        OrvelFileService service;
        LauncherLog log(AppDir());
        RuntimeConfigWriter writer(AppDir());
        return OrvelStartup::Decide(service, *m_pSettings, log, writer, ConfigPath());
    }

    bool WaitForStatus(const QString& strStatus, int nDeadlineMs = 90000)
    {
        return WaitUntil([&] { return Texts(*m_pStatus).contains(strStatus); }, nDeadlineMs);
    }
    bool WaitIdle()
    {
        return WaitUntil([&] { return !m_pController->IsBusy(); });
    }
    bool Logged(const QString& strLine) const { return Texts(*m_pLog).contains(strLine); }
    int LogCount(const QString& strLine) const { return Texts(*m_pLog).count(strLine); }
    bool LoggedStart(const QString& strPrefix) const
    {
        for (const QString& strLine : Texts(*m_pLog))
            if (strLine.startsWith(strPrefix))
                return true;
        return false;
    }
    QList<QVariant> LastButtons() const
    {
        return m_pButtons->isEmpty() ? QList<QVariant>() : m_pButtons->last();
    }

    quint32 RecordedVersion(QString* pstrTag = nullptr) const
    {
        quint32 uVersion = 0;
        QString strTag;
        if (!m_pSettings->readProductRecord(&uVersion, &strTag))
            return 0;
        if (pstrTag != nullptr)
            *pstrTag = strTag;
        return uVersion;
    }

    // Waits until at least nFiles files of the working path differ from tree.
    bool WaitForWrites(const Tree& before, int nFiles)
    {
        return WaitUntil(
            [&]
            {
                const Tree now = OrvelTest::ReadTree(WorkPath());
                int nChanged = 0;
                for (auto it = now.begin(); it != now.end(); ++it)
                    nChanged += before.value(it.key()) != it.value() ? 1 : 0;
                return nChanged >= nFiles;
            });
    }

    std::unique_ptr<OrvelFileService> m_pPrimary;
    ScriptedPrompt m_prompt;
    std::unique_ptr<OrvelLauncherController> m_pController;
    std::unique_ptr<QSignalSpy> m_pStatus;
    std::unique_ptr<QSignalSpy> m_pLog;
    std::unique_ptr<QSignalSpy> m_pButtons;
};

std::vector<Tree> ControllerTest::MakeVersions()
{
    Tree v1 = OrvelTest::FirstVersion(16);
    v1[QStringLiteral("docs/readme.txt")] = "readme v1";
    Tree v2 = v1;
    v2[QStringLiteral("data/a.bin")] = OrvelTest::Bytes(30000, 11);
    v2[QStringLiteral("data/new.bin")] = OrvelTest::Bytes(5000, 12);
    v2[QStringLiteral("res/deep/x/y.dat")] = OrvelTest::Bytes(7000, 13);
    Tree v3 = v2;
    v3[QStringLiteral("res/c.dat")] = OrvelTest::Bytes(20000, 22);
    v3[QStringLiteral("client/bin64/tool.dll")] = OrvelTest::Bytes(10000, 23);
    v3[QStringLiteral("data/gone.bin")] = "added in 3, removed in 4";
    for (int i = 0; i < 16; ++i)
        v3[QStringLiteral("data/bulk/f%1.bin").arg(i, 2, 10, QLatin1Char('0'))] =
            OrvelTest::Bytes(40000, 200 + i);
    Tree v4 = v3;
    v4.remove(QStringLiteral("data/gone.bin"));
    v4[QStringLiteral("docs/readme.txt")] = "readme v4";
    return {v1, v2, v3, v4};
}

TEST_F(ControllerTest, DownloadRecordsTheLatestAndACheckThenFindsNothingNewer)
{
    StartController();
    QSignalSpy downloaded(m_pController.get(), &OrvelLauncherController::DownloadFinished);
    OrvelTransferProgress last;
    QObject::connect(m_pController.get(), &OrvelLauncherController::TransferProgressChanged,
                     [&](const OrvelTransferProgress& progress) { last = progress; });
    m_pController->StartDownload();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Update complete"))) << Texts(*m_pLog).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());
    // The transfer's last word: every byte of every file (their sizes, or
    // the plan's bytes on the wire), and only then 100%.
    quint64 uTreeBytes = 0;
    for (const QByteArray& content : Version(4))
        uTreeBytes += quint64(content.size());
    EXPECT_EQ(last.uFilesDone, quint64(Version(4).size()));
    EXPECT_EQ(last.uFilesTotal, last.uFilesDone);
    EXPECT_EQ(last.uBytesDone, last.uBytesTotal);
    EXPECT_EQ(last.Percent(), 100);
    if (!last.bPlanned)
    {
        EXPECT_EQ(last.uBytesTotal, uTreeBytes);
    }
    EXPECT_TRUE(m_prompt.WasAsked(OrvelQuestion::GetLatest));
    EXPECT_TRUE(Logged(QStringLiteral("Using full download (no valid sync baseline)")));
    EXPECT_TRUE(Logged(QStringLiteral("Resource download completed successfully")));
    ASSERT_EQ(downloaded.size(), 1);
    EXPECT_TRUE(downloaded.at(0).at(0).toBool());
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(4));
    QString strTag;
    EXPECT_EQ(RecordedVersion(&strTag), 4u);
    EXPECT_EQ(strTag, Tag(4));

    QSignalSpy checked(m_pController.get(), &OrvelLauncherController::CheckUpdateFinished);
    m_pController->CheckForUpdates();
    ASSERT_TRUE(WaitUntil([&] { return checked.size() == 1; }));
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Texts(*m_pStatus).contains(QStringLiteral("Already the newest version")))
        << Texts(*m_pStatus).join('\n').toStdString();
    EXPECT_FALSE(checked.at(0).at(0).toBool());
    EXPECT_EQ(checked.at(0).at(1).toUInt(), 4u);
    ASSERT_FALSE(LastButtons().isEmpty());
    EXPECT_TRUE(LastButtons().at(0).toBool());
    EXPECT_FALSE(LastButtons().at(1).toBool()) << "download stays disabled when current";

    // A declined confirmation starts nothing.
    InstallVersion(2);
    m_prompt.mapAnswers[OrvelQuestion::GetLatest] = OrvelQuestion::No;
    m_pController->StartDownload();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Get Latest cancelled")));
    EXPECT_EQ(RecordedVersion(), 2u);
}

TEST_F(ControllerTest, ARecordBelongsToItsWorkingPathAndANewPathIsAFirstInstallation)
{
    // A record written before records named their path is taken as the
    // configured path's at the next start.
    InstallVersion(4);
    const QString strRecord = m_pSettings->productRecordPath();
    QStringList vecLines = QString::fromUtf8(OrvelTest::ReadFile(strRecord)).split(QLatin1Char('\n'));
    vecLines = vecLines.filter(QRegularExpression(QStringLiteral("^(?!syncWorkPath=)")));
    OrvelTest::WriteFile(strRecord, vecLines.join(QLatin1Char('\n')).toUtf8());
    StartupInitializationResult start = Startup();
    ASSERT_TRUE(start.success) << start.error.toStdString();
    EXPECT_EQ(start.mode, StartupInitializationResult::ModeNormal);
    EXPECT_TRUE(QString::fromUtf8(OrvelTest::ReadFile(strRecord))
                    .contains(QStringLiteral("syncWorkPath=") + WorkPath()));
    EXPECT_EQ(RecordedVersion(), 4u);

    // The working path moves to an empty folder: nothing is installed there.
    const QString strOld = WorkPath();
    const QString strNew = m_dir.filePath(QStringLiteral("new work"));
    ASSERT_TRUE(QDir().mkpath(strNew));
    m_pSettings->setWorkPath(strNew);
    start = Startup();
    ASSERT_TRUE(start.success) << start.error.toStdString();
    EXPECT_EQ(start.mode, StartupInitializationResult::ModeNormal);
    EXPECT_EQ(RecordedVersion(), 0u);

    StartController();
    QSignalSpy checked(m_pController.get(), &OrvelLauncherController::CheckUpdateFinished);
    m_pController->CheckForUpdates();
    ASSERT_TRUE(WaitUntil([&] { return checked.size() == 1; }));
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(checked.at(0).at(0).toBool()) << Texts(*m_pStatus).join('\n').toStdString();
    EXPECT_FALSE(Texts(*m_pStatus).contains(QStringLiteral("Already the newest version")));
    ASSERT_FALSE(LastButtons().isEmpty());
    EXPECT_TRUE(LastButtons().at(1).toBool()) << "Get Latest is offered";

    m_pController->StartDownload();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Update complete"))) << Texts(*m_pLog).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Logged(QStringLiteral("Using full download (no valid sync baseline)")));
    EXPECT_EQ(OrvelTest::ReadTree(strNew), Version(4));
    EXPECT_EQ(RecordedVersion(), 4u);

    // The one record now describes the new path; the old one claims nothing.
    m_pSettings->setWorkPath(strOld);
    EXPECT_EQ(RecordedVersion(), 0u);
    EXPECT_FALSE(m_pSettings->productRecordPending());
}

TEST_F(ControllerTest, AnInterruptedTaskIsOfferedAtStartUpAndLaunchWaitsForAWholeTree)
{
    // Nothing to offer without a mark.
    InstallVersion(2);
    StartController(2);
    EXPECT_FALSE(m_pController->OfferToFinishInterruptedTask());
    EXPECT_TRUE(m_prompt.vecAsked.empty());

    struct Case
    {
        const char* pszName;
        const char* pszTask;
        quint32 uRecorded;
        quint32 uTarget;
        OrvelQuestion::Button eAnswer;
        quint32 uWhole; // the version the tree is made whole at
        const char* pszStatus;
    };
    const Case vecCases[] = {
        {"download finished", "download", 2, 4, OrvelQuestion::Yes, 4, "Update complete"},
        {"download declined: repaired", "download", 2, 4, OrvelQuestion::No, 2, "Repair complete"},
        {"switch finished", "switch", 4, 1, OrvelQuestion::Yes, 1, "Version switch complete"},
    };
    for (const Case& testCase : vecCases)
    {
        SCOPED_TRACE(testCase.pszName);
        m_pController.reset();
        ASSERT_TRUE(QDir(WorkPath()).removeRecursively());
        InstallVersion(testCase.uRecorded);
        // Killed midway: some of the target's files are in place, the record is marked.
        const Tree& target = Version(static_cast<int>(testCase.uTarget));
        const Tree& recorded = Version(static_cast<int>(testCase.uRecorded));
        int nChanged = 0;
        for (auto it = target.begin(); it != target.end(); ++it)
            if (recorded.value(it.key()) != it.value() && nChanged++ % 2 == 0)
                OrvelTest::WriteFile(Local(it.key()), it.value());
        ASSERT_GT(nChanged, 1);
        ASSERT_TRUE(m_pSettings->markProductRecordPending(testCase.uTarget, QLatin1String(testCase.pszTask)));

        m_prompt.vecAsked.clear();
        m_prompt.mapAnswers[OrvelQuestion::InterruptedTask] = testCase.eAnswer;
        StartController(testCase.uRecorded);
        QSignalSpy launch(m_pController.get(), &OrvelLauncherController::LaunchStateChanged);
        ASSERT_TRUE(m_pController->OfferToFinishInterruptedTask());
        ASSERT_TRUE(m_prompt.WasAsked(OrvelQuestion::InterruptedTask));
        const QString strAsked = m_prompt.vecAsked.front().strText;
        EXPECT_TRUE(strAsked.startsWith(QStringLiteral("An update was interrupted.")))
            << strAsked.toStdString();
        EXPECT_TRUE(strAsked.contains(QStringLiteral("version %1").arg(testCase.uTarget)));
        EXPECT_TRUE(Texts(*m_pStatus).contains(QStringLiteral("An update was interrupted")));
        ASSERT_FALSE(launch.isEmpty());
        EXPECT_FALSE(launch.first().at(0).toBool()) << "no launch over a mixed tree";

        ASSERT_TRUE(WaitUntil(
            [&]
            {
                for (const QString& strStatus : Texts(*m_pStatus))
                    if (strStatus.startsWith(QLatin1String(testCase.pszStatus)))
                        return true;
                return false;
            }))
            << Texts(*m_pLog).join('\n').toStdString();
        ASSERT_TRUE(WaitIdle());
        EXPECT_FALSE(m_prompt.WasAsked(OrvelQuestion::RepairResources)) << "the offer was the question";
        const Tree now = OrvelTest::ReadTree(WorkPath());
        const Tree& whole = Version(static_cast<int>(testCase.uWhole));
        for (auto it = whole.begin(); it != whole.end(); ++it)
            EXPECT_EQ(now.value(it.key()), it.value()) << it.key().toStdString();
        EXPECT_EQ(RecordedVersion(), testCase.uWhole);
        EXPECT_FALSE(m_pSettings->productRecordPending());
        for (int i = 0; i + 1 < launch.size(); ++i)
            EXPECT_FALSE(launch.at(i).at(0).toBool()) << i;
        EXPECT_TRUE(launch.last().at(0).toBool()) << "the tree is whole again";
    }
}

TEST_F(ControllerTest, FilesAToolHeldAreOfferedAgainAndTheRunStillRecordsItsVersion)
{
    // data/a.bin changes in the span but cannot be replaced (root ignores
    // permissions: a directory is in its place); it is outside the critical
    // prefixes, so it waits for the retry instead of failing the download.
    const QString strHeld = Local(QStringLiteral("data/a.bin"));
    for (const bool bReleased : {true, false})
    {
        SCOPED_TRACE(bReleased ? "released before the retry" : "still held");
        InstallVersion(1);
        QFile::remove(strHeld);
        OrvelTest::WriteFile(strHeld + QStringLiteral("/blocker"), "held");
        m_prompt.fnBeforeRetry = [&]
        {
            if (bReleased)
                QDir(strHeld).removeRecursively();
        };
        StartController(1);
        m_pController->StartDownload();
        ASSERT_TRUE(WaitUntil(
            [&]
            {
                return Texts(*m_pStatus).contains(QStringLiteral("Update complete")) ||
                       Texts(*m_pStatus)
                           .contains(QStringLiteral("Task complete with weak replacement skips"));
            }))
            << Texts(*m_pLog).join('\n').toStdString();
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(RecordedVersion(), 4u);
        if (bReleased)
        {
            EXPECT_TRUE(Logged(QStringLiteral("Weak replacement retry finished: 1 succeeded, 0 skipped")))
                << Texts(*m_pLog).join('\n').toStdString();
            EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(4));
        }
        else
        {
            EXPECT_TRUE(
                Texts(*m_pStatus).contains(QStringLiteral("Task complete with weak replacement skips")));
            EXPECT_TRUE(QFileInfo(strHeld).isDir()) << "nothing is forced over what the user keeps";
        }
    }
}

TEST_F(ControllerTest, AnIncrementalDownloadWritesOnlyTheSpansFiles)
{
    // What the worker read at its start shows in the working path: a damaged
    // file that no version of the span changed stays as it is, which a full
    // download would have restored. Under ThreadSanitizer a range set after
    // the worker's thread started is reported here.
    InstallVersion(3);
    OrvelTest::WriteFile(Local(QStringLiteral("res/c.dat")), "damaged, unchanged since 3");
    StartController(3);
    m_pController->StartDownload();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Update complete"))) << Texts(*m_pLog).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Logged(QStringLiteral("Using incremental download: version 3 -> 4 (1 versions)")))
        << Texts(*m_pLog).join('\n').toStdString();
    const Tree after = OrvelTest::ReadTree(WorkPath());
    EXPECT_EQ(after.value(QStringLiteral("docs/readme.txt")), QByteArray("readme v4"));
    EXPECT_EQ(after.value(QStringLiteral("res/c.dat")), QByteArray("damaged, unchanged since 3"));
    EXPECT_EQ(RecordedVersion(), 4u);
}

TEST_F(ControllerTest, ADownloadAsksForTheLatestVersionOnlyInItsCheck)
{
    // The confirmation names the version the check has just found and the
    // task installs that one: asking the server again would cost a round trip.
    InstallVersion(3);
    StartController(3);
    const auto fnMarkerReads = [this]
    {
        EXPECT_TRUE(m_pServer->Settle());
        return m_pServer->Gets(QStringLiteral("/")).filter(QStringLiteral("_lastver")).size();
    };
    QSignalSpy checked(m_pController.get(), &OrvelLauncherController::CheckUpdateFinished);
    m_pServer->ClearLog();
    m_pController->CheckForUpdates();
    ASSERT_TRUE(WaitUntil([&] { return checked.size() == 1; }));
    ASSERT_TRUE(WaitIdle());
    const int nCheck = fnMarkerReads();
    ASSERT_GT(nCheck, 0);
    // The probe beside the check asks for the marker only: one index, the check's.
    EXPECT_EQ(m_pServer->Gets(QStringLiteral("/")).filter(QStringLiteral("/v4/_index")).size(), 1);

    m_pServer->ClearLog();
    m_pController->StartDownload();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Update complete"))) << Texts(*m_pLog).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(fnMarkerReads(), nCheck);
    EXPECT_EQ(RecordedVersion(), 4u);
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(4));
}

TEST_F(ControllerTest, ARepairSaysHowManyFilesItRestored)
{
    InstallVersion(4);
    OrvelTest::WriteFile(Local(QStringLiteral("res/c.dat")), "damaged");
    OrvelTest::WriteFile(Local(QStringLiteral("docs/readme.txt")), "damaged too");
    ASSERT_TRUE(QFile::remove(Local(QStringLiteral("data/new.bin"))));
    StartController(4);
    m_prompt.mapAnswers[OrvelQuestion::RepairResources] = OrvelQuestion::Yes;
    m_pController->StartRepair();
    const QString strSummary =
        QStringLiteral("Repair complete: 3 files restored, %1 already correct").arg(Version(4).size() - 3);
    ASSERT_TRUE(WaitForStatus(strSummary)) << Texts(*m_pStatus).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Logged(QStringLiteral("Resource repair completed: 3 files restored, %1 already correct")
                           .arg(Version(4).size() - 3)));
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(4));
}

TEST_F(ControllerTest, ARecordThatCannotBeWrittenAfterADownloadLeavesRepairOnlyMode)
{
    // The held file's retry comes after every file is in place and before the
    // record is written: that is when the record's path turns into a directory.
    InstallVersion(1);
    const QString strHeld = Local(QStringLiteral("data/a.bin"));
    QFile::remove(strHeld);
    OrvelTest::WriteFile(strHeld + QStringLiteral("/blocker"), "held");
    const QString strRecord = m_pSettings->productRecordPath();
    m_prompt.fnBeforeRetry = [&]
    {
        QDir(strHeld).removeRecursively();
        QFile::remove(strRecord);
        OrvelTest::WriteFile(strRecord + QStringLiteral("/blocker"), "not a record");
    };
    StartController(1);
    QSignalSpy downloaded(m_pController.get(), &OrvelLauncherController::DownloadFinished);
    m_pController->StartDownload();
    const QString strStatus =
        QStringLiteral("The version record could not be written; resource repair is required");
    ASSERT_TRUE(WaitForStatus(strStatus)) << Texts(*m_pLog).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());
    EXPECT_NE(Texts(*m_pStatus).last(), QStringLiteral("Update complete"));
    EXPECT_EQ(Texts(*m_pStatus).last(), strStatus);
    EXPECT_TRUE(LoggedStart(QStringLiteral("Failed to write the product version record: ")));
    ASSERT_EQ(downloaded.size(), 1);
    EXPECT_FALSE(downloaded.at(0).at(0).toBool());
    EXPECT_TRUE(m_pController->IsRepairOnly());
    EXPECT_EQ(LastButtons(), (QList<QVariant>{false, false, true, false, false, true}));
}

TEST_F(ControllerTest, ASwitchDownRemovesWhatTheOlderVersionLacksButNotAChangedFileAndRecordsTheTarget)
{
    InstallVersion(4);
    OrvelTest::WriteFile(Local(QStringLiteral("data/new.bin")), "changed here");
    StartController(4);
    QSignalSpy stale(m_pController.get(), &OrvelLauncherController::StaleFilesHandled);
    m_pController->StartVersionSwitch(1);
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Version switch complete")))
        << Texts(*m_pLog).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());
    Tree expected = Version(1);
    expected[QStringLiteral("data/new.bin")] = "changed here";
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), expected);
    EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("res/deep"))));
    EXPECT_TRUE(Logged(QStringLiteral("Kept data/new.bin, which version 1 does not hold: it is not what the "
                                      "store published (made or changed here)")))
        << Texts(*m_pLog).join('\n').toStdString();
    EXPECT_TRUE(Logged(QStringLiteral("Removed res/deep/x/y.dat, which version 1 does not hold")));
    EXPECT_TRUE(Logged(QStringLiteral("Removed 1 file(s) that version 1 does not hold")));
    ASSERT_EQ(stale.size(), 1);
    EXPECT_EQ(stale.at(0), (QList<QVariant>{1, 1}));
    EXPECT_TRUE(Logged(QStringLiteral("Version switch started: 4 -> 1")));
    EXPECT_TRUE(Logged(QStringLiteral("Primary file service switched to target version 1")));
    QString strTag;
    EXPECT_EQ(RecordedVersion(&strTag), 1u);
    EXPECT_EQ(strTag, Tag(1));
    EXPECT_EQ(m_pPrimary->CurrentVersion(), 1u);
}

TEST_F(ControllerTest, AFailedSwitchIsRolledBackToTheBaseline)
{
    InstallVersion(1);
    StartController(1);
    // A critical file that cannot be replaced: the switch fails after writing others.
    QFile::remove(Local(QStringLiteral("client/bin64/tool.dll")));
    OrvelTest::WriteFile(Local(QStringLiteral("client/bin64/tool.dll/blocker")), "in the way");
    Tree baseline = OrvelTest::ReadTree(WorkPath());

    m_pController->StartVersionSwitch(4);
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Rollback complete")))
        << Texts(*m_pLog).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(LoggedStart(QStringLiteral("Version switch failed: ")));
    EXPECT_TRUE(LoggedStart(QStringLiteral("Rollback started for ")));
    // Changed files are the baseline's again; the files the switch created
    // are gone with the directories that held only them.
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), baseline);
    EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("res/deep"))));
    QString strTag;
    EXPECT_EQ(RecordedVersion(&strTag), 1u);
    EXPECT_EQ(strTag, Tag(1));
    EXPECT_EQ(m_pPrimary->CurrentVersion(), 1u);
    EXPECT_TRUE(LastButtons().at(0).toBool()) << "buttons usable again";
}

TEST_F(ControllerTest, ASwitchThatFailsAfterItsRemovalsIsRolledBackWithTheRemovedFiles)
{
    InstallVersion(4);
    StartController(4);
    const Tree baseline = OrvelTest::ReadTree(WorkPath());
    // Removals go in path order: data/new.bin goes, then res/deep/x/y.dat
    // cannot, in a directory nobody may change, root included.
    const QString strLocked = Local(QStringLiteral("res/deep/x"));
    if (!OrvelTest::SetImmutable(strLocked, true))
        GTEST_SKIP() << "immutable flag not supported here";
    m_pController->StartVersionSwitch(1);
    const bool bRolledBack = WaitForStatus(QStringLiteral("Rollback complete"));
    OrvelTest::SetImmutable(strLocked, false);
    ASSERT_TRUE(bRolledBack) << Texts(*m_pLog).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Logged(QStringLiteral("Removed data/new.bin, which version 1 does not hold")));
    EXPECT_TRUE(LoggedStart(
        QStringLiteral("Version switch failed: Failed to remove a file the target version does not hold: ")));
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), baseline);
    EXPECT_EQ(RecordedVersion(), 4u);
}

TEST_F(ControllerTest, AnUpdateRemovesAFileTheLatestDroppedAlsoAfterAnInterruptedTask)
{
    for (const bool bInterrupted : {false, true})
    {
        SCOPED_TRACE(bInterrupted ? "interrupted" : "plain");
        InstallVersion(3);
        // Cut off mid-task: the changed-file lists vouch for nothing, but
        // the recorded version's hashes still tell the store's files.
        if (bInterrupted)
        {
            ASSERT_TRUE(m_pSettings->markProductRecordPending(4));
        }
        OrvelTest::WriteFile(Local(QStringLiteral("data/mine.txt")), "mine");
        StartController(3);
        m_pController->StartDownload();
        ASSERT_TRUE(WaitForStatus(QStringLiteral("Update complete")))
            << Texts(*m_pLog).join('\n').toStdString();
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(bInterrupted, Logged(QStringLiteral("Using full download (no valid sync baseline)")));
        Tree expected = Version(4);
        expected[QStringLiteral("data/mine.txt")] = "mine";
        EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), expected) << "data/gone.bin was removed";
        EXPECT_TRUE(Logged(QStringLiteral("Removed 1 file(s) that version 4 does not hold")));
        QFile::remove(Local(QStringLiteral("data/mine.txt")));
    }
}

TEST_F(ControllerTest, ASwitchThatFailsBeforeItsFirstWriteLeavesTheBaselineRecordWithoutItsMark)
{
    InstallVersion(1);
    const QString strBaselineRecord =
        QString::fromUtf8(OrvelTest::ReadFile(m_pSettings->productRecordPath()));
    // The server answers 503 for every package: the first file fails, and
    // nothing reaches the working path.
    const auto pBusy = ServePackagesUnavailable();
    OrvelTest::WriteReaderConfig(ConfigPath(), pBusy->BaseUrl(), AppDir() + QStringLiteral("/_cache/ofse"));
    StartController(1);

    m_pController->StartVersionSwitch(4);
    EXPECT_TRUE(m_pSettings->productRecordPending()) << "the record is marked before the first write";
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Version switch failed")))
        << Texts(*m_pLog).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(LoggedStart(QStringLiteral("Version switch failed: Cannot open remote file: ")));
    EXPECT_FALSE(LoggedStart(QStringLiteral("Rollback started for ")));
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(1));
    // A mark left behind would make the next start distrust a working path
    // that never changed.
    EXPECT_FALSE(m_pSettings->productRecordPending());
    EXPECT_EQ(QString::fromUtf8(OrvelTest::ReadFile(m_pSettings->productRecordPath())), strBaselineRecord);
    ASSERT_TRUE(pBusy->Settle());
    EXPECT_FALSE(pBusy->Gets(QStringLiteral("/dat/")).filter(QStringLiteral(" 503 ")).isEmpty());
}

TEST_F(ControllerTest, AStoppedSwitchStopsOnceAndIsRolledBack)
{
    InstallVersion(1);
    StartController(1);
    const Tree baseline = OrvelTest::ReadTree(WorkPath());
    QSignalSpy stopState(m_pController.get(), &OrvelLauncherController::StopStateChanged);
    m_pController->SetDownloadLimitOverride(60000);
    m_pController->StartVersionSwitch(4);
    ASSERT_TRUE(WaitForWrites(baseline, 2));

    stopState.clear();
    m_pController->StopCurrentTask();
    m_pController->StopCurrentTask();
    m_pController->SetDownloadLimitOverride(0);
    EXPECT_EQ(LogCount(QStringLiteral("User requested version switch stop")), 1);
    ASSERT_EQ(stopState.size(), 1);
    EXPECT_FALSE(stopState.at(0).at(0).toBool());

    ASSERT_TRUE(WaitForStatus(QStringLiteral("Rollback complete")))
        << Texts(*m_pLog).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(LoggedStart(QStringLiteral("Version switch stopped by user: ")));
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), baseline);
    EXPECT_EQ(RecordedVersion(), 1u);
}

TEST_F(ControllerTest, AStopDuringASlowDownloadSaysStoppedWithinTheBoundAndNeverReadsAllOfIt)
{
    StartController();
    QSignalSpy panel(m_pController.get(), &OrvelLauncherController::UiLogMessage);
    QSignalSpy finished(m_pController.get(), &OrvelLauncherController::DownloadFinished);
    QVector<OrvelTransferProgress> vecTransfer;
    QObject::connect(m_pController.get(), &OrvelLauncherController::TransferProgressChanged,
                     [&](const OrvelTransferProgress& progress)
                     {
                         if (progress.Known())
                             vecTransfer.append(progress);
                     });
    // Slow enough that a file is always on its way when the stop comes.
    m_pController->SetDownloadLimitOverride(30000);
    m_pController->StartDownload();
    ASSERT_TRUE(WaitUntil([&] { return !vecTransfer.isEmpty() && vecTransfer.last().uBytesDone > 0; }))
        << Texts(*m_pLog).join('\n').toStdString();

    QElapsedTimer stop;
    stop.start();
    m_pController->StopCurrentTask();
    ASSERT_TRUE(WaitUntil([&] { return finished.size() == 1 && !m_pController->IsBusy(); }));
    EXPECT_LT(stop.elapsed(), OrvelLauncherController::kBoundedStopMs);
    m_pController->SetDownloadLimitOverride(0);
    EXPECT_FALSE(Logged(
        QStringLiteral("Background task did not stop within timeout; cleanup will continue asynchronously")));
    EXPECT_TRUE(WaitForStatus(QStringLiteral("Download stopped")));

    // The files it cut short are named as stopped; no file failed.
    const QStringList vecPanel = Texts(panel);
    EXPECT_FALSE(vecPanel.filter(QRegularExpression(QStringLiteral("^Stopped: \\S"))).isEmpty())
        << vecPanel.join('\n').toStdString();
    EXPECT_TRUE(vecPanel.filter(QStringLiteral("Failed: ")).isEmpty()) << vecPanel.join('\n').toStdString();
    // By bytes, from the first reading to the last, and never all of them.
    ASSERT_FALSE(vecTransfer.isEmpty());
    for (const OrvelTransferProgress& progress : qAsConst(vecTransfer))
    {
        EXPECT_EQ(progress.uBytesTotal, vecTransfer.first().uBytesTotal);
        EXPECT_LT(progress.Percent(), 100);
        EXPECT_LT(progress.uBytesDone, progress.uBytesTotal);
    }
    EXPECT_EQ(vecTransfer.last().uBytesPerSecond, 0u) << "a stopped task moves nothing";
}

TEST_F(ControllerTest, ARollbackThatFailsLeavesRepairOnlyModeUntilARepairSucceeds)
{
    // Version 4's own package (docs/readme.txt alone) trickles in at a byte a
    // second: the switch still waits for it when the server dies, however far
    // the rest has come. One record holds at most one pool thread, so the
    // others write the rest meanwhile.
    m_pServer = std::make_unique<OrvelTest::Nginx>(
        StoreDir(), QStringLiteral("location ~ ^/dat/v4/.*\\.dat$ { limit_rate 1; }"));
    ASSERT_TRUE(m_pServer->Running());
    OrvelTest::WriteReaderConfig(ConfigPath(), m_pServer->BaseUrl(),
                                 AppDir() + QStringLiteral("/_cache/ofse"));
    InstallVersion(1);
    StartController(1);
    const Tree baseline = OrvelTest::ReadTree(WorkPath());
    m_pController->StartVersionSwitch(4);
    ASSERT_TRUE(WaitForWrites(baseline, 2));
    m_pServer->Kill(); // neither the switch nor its rollback can finish
    ASSERT_TRUE(
        WaitUntil([&] { return LoggedStart(QStringLiteral("The working path could not be restored")); }))
        << Texts(*m_pLog).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());

    // The record no longer claims version 1 with its tag: the next start repairs.
    QString strTag = QStringLiteral("unset");
    RecordedVersion(&strTag);
    EXPECT_TRUE(strTag.isEmpty());
    ASSERT_TRUE(m_pController->IsRepairOnly());
    EXPECT_EQ(LastButtons(), (QList<QVariant>{false, false, true, false, false, true}));

    const QString strRefused =
        QStringLiteral("Resource version mismatch detected; resource repair is required");
    m_pController->CheckForUpdates();
    m_pController->StartDownload();
    m_pController->OpenVersionBrowse();
    m_pController->StartDirectoryReconcile();
    EXPECT_TRUE(Logged(QStringLiteral("Check update skipped: repair-only mode is active")));
    EXPECT_TRUE(Logged(QStringLiteral("Download skipped: repair-only mode is active")));
    EXPECT_TRUE(Logged(QStringLiteral("Version browse skipped: repair-only mode is active")));
    EXPECT_TRUE(Logged(QStringLiteral("Directory reconcile skipped: repair-only mode is active")));
    EXPECT_EQ(Texts(*m_pStatus).count(strRefused), 4);
    EXPECT_FALSE(m_pController->IsBusy());

    ASSERT_TRUE(m_pServer->Start());
    m_prompt.mapAnswers[OrvelQuestion::RepairResources] = OrvelQuestion::Yes;
    m_pController->StartRepair();
    ASSERT_TRUE(WaitUntil([&] { return LoggedStart(QStringLiteral("Resource repair completed")); }))
        << Texts(*m_pLog).join('\n').toStdString();
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(m_pController->IsRepairOnly());
    EXPECT_TRUE(LastButtons().at(0).toBool());
    EXPECT_EQ(RecordedVersion(&strTag), 1u);
    EXPECT_EQ(strTag, Tag(1));
    const Tree repaired = OrvelTest::ReadTree(WorkPath());
    for (auto it = baseline.begin(); it != baseline.end(); ++it)
        EXPECT_EQ(repaired.value(it.key()), it.value()) << it.key().toStdString();
}

TEST_F(ControllerTest, ExitDuringADownloadStopsItAndAnswersExitReady)
{
    StartController();
    QSignalSpy exitReady(m_pController.get(), &OrvelLauncherController::ExitReady);
    m_pController->SetDownloadLimitOverride(60000);
    m_pController->StartDownload();
    ASSERT_TRUE(
        WaitUntil([&] { return m_pController->CurrentTaskKind() == OrvelLauncherController::TaskDownload; }));
    m_pController->RequestApplicationExit();
    m_pController->SetDownloadLimitOverride(0);
    EXPECT_TRUE(Logged(QStringLiteral("Application exit requested: stopping resource download")));
    ASSERT_TRUE(WaitUntil([&] { return exitReady.size() == 1; })) << Texts(*m_pLog).join('\n').toStdString();
    EXPECT_TRUE(Logged(QStringLiteral("Resource download stopped for application exit")));
    EXPECT_FALSE(m_pController->IsBusy());
    EXPECT_EQ(RecordedVersion(), 0u) << "nothing was recorded for a stopped first install";
    m_pController->RequestApplicationExit();
    QCoreApplication::processEvents();
    EXPECT_EQ(exitReady.size(), 1) << "exit is answered once";
}

TEST_F(ControllerTest, AWorkerThatIgnoresTheStopEndsInTheBackgroundBeforeAnythingElseStarts)
{
    InstallVersion(4);
    StartController(4);
    // The version check never tests for cancellation; with nothing cached, a
    // server that hangs keeps it in its request.
    ASSERT_TRUE(QDir(AppDir() + QStringLiteral("/_cache/ofse")).removeRecursively());
    m_pServer->Freeze();
    QSignalSpy activity(m_pController.get(), &OrvelLauncherController::WorkerActivityChanged);
    m_pController->CheckForUpdates();
    m_pController->StopCurrentTask();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Background task is still stopping..."), 20000))
        << Texts(*m_pLog).join('\n').toStdString() << Texts(*m_pStatus).join('\n').toStdString();
    EXPECT_TRUE(m_pController->IsBusy());
    EXPECT_EQ(LastButtons(), (QList<QVariant>{false, false, false, false, false, false}));
    const int nStarts = LogCount(QStringLiteral("Check update started"));
    m_pController->CheckForUpdates();
    m_pController->StartRepair();
    EXPECT_EQ(LogCount(QStringLiteral("Check update started")), nStarts) << "no second worker while one runs";
    EXPECT_FALSE(Logged(QStringLiteral("Resource repair started")));

    m_pServer->Thaw();
    ASSERT_TRUE(WaitUntil([&] { return Logged(QStringLiteral("Background task cleanup completed")); }));
    EXPECT_FALSE(m_pController->IsBusy());
    EXPECT_FALSE(activity.last().at(0).toBool());
    EXPECT_TRUE(LastButtons().at(0).toBool());
}

TEST_F(ControllerTest, AToolRunningFromTheWorkingPathBlocksTheDownloadButTheSameNameElsewhereDoesNot)
{
    StartController();
    const QString strInside = Local(QStringLiteral("editortool/qhalvaneeditor/qhalvaneeditorx64"));
    const QString strOutside = m_dir.filePath(QStringLiteral("elsewhere/qhalvaneeditorx64"));
    for (const QString& strPath : {strInside, strOutside})
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(strPath).path()));
        ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), strPath));
        ASSERT_TRUE(QFile::setPermissions(strPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    QProcess inside;
    inside.start(strInside, {QStringLiteral("60")});
    ASSERT_TRUE(inside.waitForStarted());
    m_pController->StartDownload();
    ASSERT_TRUE(WaitUntil([&] { return m_prompt.WasAsked(OrvelQuestion::ActiveProcess); }));
    ASSERT_TRUE(WaitIdle());
    const QString strBlocked = m_prompt.vecAsked.last().strText;
    EXPECT_TRUE(
        strBlocked.startsWith(QStringLiteral("Cannot start resource download because the following active "
                                             "processes belong to the current working path.")))
        << strBlocked.toStdString();
    EXPECT_TRUE(strBlocked.contains(QString::number(inside.processId()))) << strBlocked.toStdString();
    EXPECT_TRUE(Logged(strBlocked));
    EXPECT_FALSE(Logged(QStringLiteral("Resource download started")));
    inside.kill();
    inside.waitForFinished();

    QProcess outside;
    outside.start(strOutside, {QStringLiteral("60")});
    ASSERT_TRUE(outside.waitForStarted());
    m_prompt.vecAsked.clear();
    m_pController->StartDownload();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Update complete"))) << Texts(*m_pLog).join('\n').toStdString();
    EXPECT_FALSE(m_prompt.WasAsked(OrvelQuestion::ActiveProcess));
    outside.kill();
    outside.waitForFinished();
}

} // namespace
