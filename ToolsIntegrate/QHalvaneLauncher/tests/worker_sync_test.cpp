// Whole worker runs: stores of several versions built with the real packer,
// served by a real nginx on loopback, read through the real library loaded at
// run time, written into a real working path.
#include "OrvelTestPublishedStore.h"
#include "workers/OrvelGetLatestWorker.h"
#include "workers/OrvelRepairWorker.h"
#include "workers/OrvelTaskResultSnapshot.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <chrono>

namespace
{

using OrvelTest::Tree;
using OrvelTest::WorkerOutcome;
const QString kLauncherFile = QStringLiteral("editortool/qhalvanelauncher/launcher.bin");

// What a sync of version v must leave: the launcher's own files are never synced.
Tree Expected(const Tree& tree)
{
    Tree out = tree;
    out.remove(kLauncherFile);
    return out;
}

class WorkerSyncTest : public OrvelTest::PublishedStoreTest<WorkerSyncTest>
{
public:
    static std::vector<Tree> MakeVersions();

protected:
    WorkerOutcome GetLatest(OrvelFileService* pService, quint32 uFrom = 0, quint32 uTo = 0)
    {
        OrvelGetLatestWorker worker(pService, m_pSettings.get(), &m_snapshot);
        if (uTo != 0)
            worker.SetIncrementalRange(uFrom, uTo);
        return Run<OrvelGetLatestWorker>(&worker);
    }
    WorkerOutcome Repair(OrvelFileService* pService)
    {
        OrvelRepairWorker worker(pService, m_pSettings.get(), &m_snapshot);
        return Run<OrvelRepairWorker>(&worker);
    }

    // Package requests since the log was cleared.
    QStringList PackageGets() const
    {
        QStringList vecOut;
        for (const QString& strLine : m_pServer->Gets(QStringLiteral("/dat/")))
        {
            if (strLine.section(QLatin1Char(' '), 1, 1).endsWith(QLatin1String(".dat")))
                vecOut.push_back(strLine.section(QLatin1Char(' '), 1, 1));
        }
        return vecOut;
    }

    // Waits until the server has sent nCount packages since the log was cleared:
    // the run is then well under way.
    bool WaitForPackages(int nCount)
    {
        return m_pServer->WaitForLog([this, nCount](const QStringList&)
                                     { return PackageGets().size() >= nCount; });
    }

    // Every file in the working path is a whole file of tree (no partial or temporary file).
    void ExpectOnlyWholeFiles(const Tree& tree)
    {
        const Tree local = OrvelTest::ReadTree(WorkPath());
        for (auto it = local.begin(); it != local.end(); ++it)
        {
            ASSERT_TRUE(tree.contains(it.key())) << "unexpected file " << it.key().toStdString();
            EXPECT_EQ(it.value(), tree.value(it.key())) << it.key().toStdString();
        }
    }

    TaskResultSnapshot m_snapshot;
};

// The published trees, version by version.
std::vector<Tree> WorkerSyncTest::MakeVersions()
{
    Tree v1 = OrvelTest::FirstVersion(24);
    v1[QStringLiteral("docs/readme.txt")] = "readme v1";
    v1[kLauncherFile] = "launcher v1";
    Tree v2 = v1;
    v2[QStringLiteral("data/a.bin")] = OrvelTest::Bytes(30000, 11);
    v2[QStringLiteral("data/new.bin")] = OrvelTest::Bytes(5000, 12);
    Tree v3 = v2;
    v3[QStringLiteral("data/a.bin")] = OrvelTest::Bytes(30001, 21);
    v3[QStringLiteral("res/c.dat")] = OrvelTest::Bytes(20000, 22);
    v3[QStringLiteral("data/gone.bin")] = "added in 3, removed in 4";
    Tree v4 = v3;
    v4.remove(QStringLiteral("data/gone.bin"));
    v4[QStringLiteral("docs/readme.txt")] = "readme v4";
    v4[kLauncherFile] = "launcher v4";
    return {v1, v2, v3, v4};
}

TEST_F(WorkerSyncTest, FullInstallThenIncrementalEqualsLatestAndFetchesOnlyChangedPackages)
{
    auto pV2 = NewService(2);
    WorkerOutcome outcome = GetLatest(pV2.get());
    ASSERT_TRUE(outcome.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Expected(Version(2)));
    EXPECT_EQ(m_snapshot.Read().vecChangedFiles.size(), Expected(Version(2)).size());
    // Into an empty working path every file is new: a rollback would remove them all.
    EXPECT_EQ(m_snapshot.Read().vecCreatedFiles.size(), Expected(Version(2)).size());

    // Incremental 2 -> 4 on a fresh cache: only packages written by 3 and 4.
    m_pServer->ClearLog();
    auto pLatest = NewService(OrvelFileService::kLatestVersion);
    outcome = GetLatest(pLatest.get(), 2, 4);
    ASSERT_TRUE(outcome.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Expected(Version(4)));

    // a.bin and c.dat changed in 3, readme in 4; gone.bin was added and
    // removed inside the span, so it is never written.
    QStringList vecChanged = m_snapshot.Read().vecChangedFiles;
    vecChanged.sort();
    EXPECT_EQ(vecChanged, QStringList({QStringLiteral("data/a.bin"), QStringLiteral("docs/readme.txt"),
                                       QStringLiteral("res/c.dat")}));
    EXPECT_TRUE(m_snapshot.Read().vecCreatedFiles.isEmpty()) << "each of them replaced a file";
    ASSERT_TRUE(WaitForPackages(1));
    ASSERT_TRUE(m_pServer->Settle());
    const QStringList vecPackages = PackageGets();
    for (const QString& strUri : vecPackages)
        EXPECT_TRUE(strUri.startsWith(QLatin1String("/dat/v3/")) ||
                    strUri.startsWith(QLatin1String("/dat/v4/")))
            << strUri.toStdString();
}

TEST_F(WorkerSyncTest, FilesAreWrittenAsTheirBytesComeNotBehindSlowOnes)
{
    // Version 3's package trickles in. Its files (a.bin, c.dat) sit anywhere
    // in the pool's order; every other file must be in place before either
    // of them, not wait behind a pool thread stuck on one.
    OrvelTest::Nginx slow(StoreDir(), QStringLiteral("location ~ ^/dat/v3/.*\\.dat$ { limit_rate 16k; }"));
    ASSERT_TRUE(slow.Running());
    auto pLatest = NewService(OrvelFileService::kLatestVersion, slow.BaseUrl());
    const Tree expected = Expected(Version(4));
    const QStringList vecSlow = {QStringLiteral("data/a.bin"), QStringLiteral("res/c.dat")};
    QStringList vecMissing;
    OrvelGetLatestWorker worker(pLatest.get(), m_pSettings.get(), &m_snapshot);
    const WorkerOutcome outcome = Run<OrvelGetLatestWorker>(
        &worker,
        [&](OrvelGetLatestWorker*)
        {
            // Written by rename: a file that is there is whole.
            const auto fnThere = [this](const QString& strPath)
            { return QFileInfo::exists(WorkPath() + QLatin1Char('/') + strPath); };
            ASSERT_TRUE(OrvelTest::WaitUntil([&] { return fnThere(vecSlow[0]) || fnThere(vecSlow[1]); }));
            for (auto it = expected.begin(); it != expected.end(); ++it)
            {
                if (!vecSlow.contains(it.key()) && !fnThere(it.key()))
                    vecMissing.push_back(it.key());
            }
        });
    ASSERT_TRUE(outcome.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), expected);
    EXPECT_TRUE(vecMissing.isEmpty()) << vecMissing.join(QLatin1Char(' ')).toStdString();
}

TEST_F(WorkerSyncTest, IncrementalWritesAFileChangedTwiceOnceAndFallsBackWhenAVersionIsMissing)
{
    // Working path at version 1; a.bin changed in 2 and in 3.
    OrvelTest::WriteTree(WorkPath(), Expected(Version(1)));
    auto pLatest = NewService(OrvelFileService::kLatestVersion);
    OrvelGetLatestWorker worker(pLatest.get(), m_pSettings.get(), &m_snapshot);
    worker.SetIncrementalRange(1, 4);
    WorkerOutcome outcome = Run<OrvelGetLatestWorker>(&worker);
    ASSERT_TRUE(outcome.bSuccess);
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Expected(Version(4)));
    // a.bin is listed by 2 and by 3: the merged list holds it once, so the run
    // has five items (a, new, c, gone, readme; the launcher's file is filtered).
    const TaskResultData merged = m_snapshot.Read();
    EXPECT_EQ(merged.vecChangedFiles.count(QStringLiteral("data/a.bin")), 1);
    EXPECT_TRUE(merged.bProgressValid);
    EXPECT_EQ(merged.uProgressTotal, 5u);
    EXPECT_TRUE(outcome.vecWarnings.isEmpty());

    // A store whose version 3's changes cannot be read: recording 4 after
    // skipping 3 would claim res/c.dat of 3 that was never fetched. The run
    // says so and compares everything instead.
    QTemporaryDir broken;
    const auto pBrokenServer = ServeDamagedCopy(broken, QStringLiteral("dat/v3/_diffile"));
    OrvelTest::WriteTree(WorkPath(), Expected(Version(2)));
    auto pBroken = NewService(OrvelFileService::kLatestVersion, pBrokenServer->BaseUrl());
    outcome = GetLatest(pBroken.get(), 2, 4);
    ASSERT_TRUE(outcome.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    ASSERT_EQ(outcome.vecWarnings.size(), 1);
    EXPECT_TRUE(outcome.vecWarnings[0].contains(QLatin1String("using full download")))
        << outcome.vecWarnings[0].toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Expected(Version(4)));
}

TEST_F(WorkerSyncTest, AFileListThatCannotBeReadFailsTheRunInsteadOfPassingAsEmpty)
{
    // Version 4's directory tree is gone from the server: taken as an empty
    // list, a full run and a repair would succeed having written nothing.
    QTemporaryDir broken;
    const auto pBrokenServer = ServeDamagedCopy(broken, QStringLiteral("dat/v4/_dirtree"));
    auto pBroken = NewService(OrvelFileService::kLatestVersion, pBrokenServer->BaseUrl());
    ASSERT_NE(pBroken, nullptr);
    EXPECT_FALSE(GetLatest(pBroken.get()).bSuccess);
    EXPECT_TRUE(m_snapshot.Read().strStatusMessage.contains(QLatin1String("file list")))
        << m_snapshot.Read().strStatusMessage.toStdString();
    EXPECT_FALSE(Repair(pBroken.get()).bSuccess);
    EXPECT_TRUE(OrvelTest::ReadTree(WorkPath()).isEmpty());
}

TEST_F(WorkerSyncTest, UnreplaceableFileIsDeferredOutsideCriticalPathsAndAbortsUnderBin64)
{
    auto pLatest = NewService(OrvelFileService::kLatestVersion);
    ASSERT_TRUE(GetLatest(pLatest.get()).bSuccess);
    const QString strWeak = Local(QStringLiteral("data/b.txt"));
    OrvelTest::WriteFile(strWeak, "held by a tool");
    ASSERT_TRUE(QFile::setPermissions(strWeak, QFile::ReadOwner | QFile::ReadGroup));

    WorkerOutcome outcome = Repair(pLatest.get());
    EXPECT_TRUE(outcome.bSuccess);
    const TaskResultData weak = m_snapshot.Read();
    ASSERT_EQ(weak.vecWeakFailures.size(), 1u);
    EXPECT_EQ(weak.vecWeakFailures[0].strRelativePath, QStringLiteral("data/b.txt"));
    EXPECT_TRUE(weak.vecWeakFailures[0].strError.contains(QLatin1String("read-only")))
        << weak.vecWeakFailures[0].strError.toStdString();
    EXPECT_EQ(OrvelTest::ReadFile(strWeak), QByteArray("held by a tool"));

    const QString strCritical = Local(QStringLiteral("client/bin64/tool.dll"));
    OrvelTest::WriteFile(strCritical, "held by a tool");
    ASSERT_TRUE(QFile::setPermissions(strCritical, QFile::ReadOwner | QFile::ReadGroup));
    outcome = Repair(pLatest.get());
    EXPECT_FALSE(outcome.bSuccess);
    EXPECT_TRUE(outcome.vecFailedFiles.contains(QStringLiteral("client/bin64/tool.dll")));
    const TaskResultData critical = m_snapshot.Read();
    EXPECT_TRUE(critical.strStatusMessage.contains(QLatin1String("tool.dll")));
    for (const WeakReplacementFailure& failure : critical.vecWeakFailures)
        EXPECT_NE(failure.strRelativePath, QStringLiteral("client/bin64/tool.dll"));
    QFile::setPermissions(strWeak, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(strCritical, QFile::ReadOwner | QFile::WriteOwner);
}

TEST_F(WorkerSyncTest, AFileTheServerFailsOutsideCriticalPathsFailsTheRunInsteadOfWaitingForARetry)
{
    // Only data/b.txt differs, and the server answers 503 for its content:
    // not a failure of the working path that a later retry could mend.
    auto pLatest = NewService(OrvelFileService::kLatestVersion);
    ASSERT_TRUE(GetLatest(pLatest.get()).bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    const QString strEdited = Local(QStringLiteral("data/b.txt"));
    OrvelTest::WriteFile(strEdited, "edited by hand");
    const auto pBusy = ServePackagesUnavailable();
    auto pService = NewService(OrvelFileService::kLatestVersion, pBusy->BaseUrl());

    const WorkerOutcome outcome = Repair(pService.get());
    EXPECT_FALSE(outcome.bSuccess);
    EXPECT_EQ(outcome.vecFailedFiles, QStringList{QStringLiteral("data/b.txt")});
    EXPECT_TRUE(m_snapshot.Read().vecWeakFailures.empty());
    EXPECT_EQ(OrvelTest::ReadFile(strEdited), QByteArray("edited by hand"));
    ASSERT_TRUE(pBusy->Settle());
    EXPECT_FALSE(pBusy->Gets(QStringLiteral("/dat/")).filter(QStringLiteral(" 503 ")).isEmpty());
}

TEST_F(WorkerSyncTest, SymbolicLinksInsideTheWorkingPathAreNeverWrittenThrough)
{
    QTemporaryDir outside;
    OrvelTest::WriteFile(outside.filePath(QStringLiteral("c.dat")), "outside");
    OrvelTest::WriteFile(outside.filePath(QStringLiteral("readme")), "outside readme");
    ASSERT_TRUE(QDir().mkpath(WorkPath() + QStringLiteral("/docs")));
    ASSERT_TRUE(QFile::link(outside.path(), WorkPath() + QStringLiteral("/res")));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("readme")),
                            WorkPath() + QStringLiteral("/docs/readme.txt")));

    auto pLatest = NewService(OrvelFileService::kLatestVersion);
    ASSERT_TRUE(GetLatest(pLatest.get()).bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    ASSERT_TRUE(Repair(pLatest.get()).bSuccess);
    EXPECT_EQ(OrvelTest::ReadFile(outside.filePath(QStringLiteral("c.dat"))), QByteArray("outside"));
    EXPECT_EQ(OrvelTest::ReadFile(outside.filePath(QStringLiteral("readme"))), QByteArray("outside readme"));
    EXPECT_EQ(OrvelTest::ReadFile(WorkPath() + QStringLiteral("/data/a.bin")),
              Version(4).value(QStringLiteral("data/a.bin")));
    EXPECT_FALSE(m_snapshot.Read().vecChangedFiles.contains(QStringLiteral("res/c.dat")));
}

TEST_F(WorkerSyncTest, PauseResumeAndCancelFromAnotherThread)
{
    const Tree expected = Expected(Version(4));
    m_pSettings->setDownloadLimit(300 * 1024);
    auto pLatest = NewService(OrvelFileService::kLatestVersion);
    m_pServer->ClearLog();
    {
        OrvelGetLatestWorker worker(pLatest.get(), m_pSettings.get(), &m_snapshot);
        const WorkerOutcome outcome = Run<OrvelGetLatestWorker>(&worker,
                                                                [&](OrvelGetLatestWorker* pWorker)
                                                                {
                                                                    ASSERT_TRUE(WaitForPackages(2));
                                                                    pWorker->Pause();
                                                                    pLatest->Pause();
                                                                    pLatest->Resume();
                                                                    pWorker->Resume();
                                                                });
        ASSERT_TRUE(outcome.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
        EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), expected);
    }

    // Cancel while paused, then cancel while running: each run ends soon,
    // leaving only whole files of the version behind.
    for (const bool bPauseFirst : {true, false})
    {
        QDir(WorkPath()).removeRecursively();
        auto pService = NewService(OrvelFileService::kLatestVersion);
        m_pServer->ClearLog();
        // Cancelling a run that has not fetched anything yet would prove little.
        OrvelGetLatestWorker worker(pService.get(), m_pSettings.get(), &m_snapshot);
        std::chrono::steady_clock::time_point cancelledAt;
        const WorkerOutcome outcome = Run<OrvelGetLatestWorker>(&worker,
                                                                [&](OrvelGetLatestWorker* pWorker)
                                                                {
                                                                    ASSERT_TRUE(WaitForPackages(2));
                                                                    if (bPauseFirst)
                                                                    {
                                                                        pWorker->Pause();
                                                                        pService->Pause();
                                                                    }
                                                                    cancelledAt =
                                                                        std::chrono::steady_clock::now();
                                                                    pWorker->Cancel();
                                                                    pService->AbortDownloads();
                                                                });
        const auto elapsed = std::chrono::steady_clock::now() - cancelledAt;
        RecordProperty(
            bPauseFirst ? "cancel_paused_ms" : "cancel_running_ms",
            static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
        ASSERT_TRUE(outcome.bFinished);
        EXPECT_FALSE(outcome.bSuccess);
        // About a second is the goal; the bound leaves room for a loaded machine.
        EXPECT_LT(elapsed, std::chrono::seconds(5));
        ExpectOnlyWholeFiles(expected);
        EXPECT_LT(OrvelTest::ReadTree(WorkPath()).size(), expected.size());
    }
}

} // namespace
