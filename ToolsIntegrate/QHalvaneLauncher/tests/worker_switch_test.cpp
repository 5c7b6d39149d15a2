// Version switches and their rollbacks as whole runs: stores built with the
// real packer, served by a real nginx on loopback, read through the real
// library loaded at run time, written into a real working path.
#include "OrvelTestPublishedStore.h"
#include "workers/OrvelTaskResultSnapshot.h"
#include "workers/OrvelVersionList.h"
#include "workers/OrvelVersionRollbackWorker.h"
#include "workers/OrvelVersionSwitchWorker.h"

#include <QFile>

#include <gtest/gtest.h>

namespace
{

using OrvelTest::Tree;
using Outcome = OrvelTest::WorkerOutcome;

const QString kOld = QStringLiteral("docs/old.txt");        // in 1, deleted by 2
const QString kDeep = QStringLiteral("new/dir/deep/n.bin"); // added by 2
const QString kOnly3 = QStringLiteral("data/v3only.bin");   // added by 3

class WorkerSwitchTest : public OrvelTest::PublishedStoreTest<WorkerSwitchTest>
{
public:
    static std::vector<Tree> MakeVersions();

protected:
    // Switches from uFrom (recorded as the working path's version) to uTo.
    Outcome Switch(quint32 uFrom, quint32 uTo,
                   const std::function<void(OrvelVersionSwitchWorker*)>& fnWhileRunning = {},
                   quint64 uLimit = 0, const QString& strUrl = QString())
    {
        m_pSettings->writeProductRecord(uFrom, QString());
        auto pSource = NewService(uFrom, strUrl);
        auto pTarget = NewService(uTo, strUrl);
        OrvelVersionSwitchWorker worker(pSource.get(), pTarget.get(), m_pSettings.get(), &m_snapshot, uFrom,
                                        uTo);
        if (uLimit != 0)
            worker.SetDownloadLimitOverride(uLimit);
        return Run<OrvelVersionSwitchWorker>(&worker, fnWhileRunning);
    }

    // Rolls back what the last task of the snapshot wrote, to uBaseline.
    Outcome Rollback(quint32 uBaseline, const QStringList& vecFiles, const QStringList& vecCreated,
                     const std::function<void(OrvelVersionRollbackWorker*)>& fnWhileRunning = {},
                     quint64 uLimit = 0)
    {
        auto pBaseline = NewService(uBaseline);
        OrvelVersionRollbackWorker worker(pBaseline.get(), vecFiles, m_pSettings.get(), &m_snapshot);
        worker.SetCreatedFiles(vecCreated);
        if (uLimit != 0)
            worker.SetDownloadLimitOverride(uLimit);
        return Run<OrvelVersionRollbackWorker>(&worker, fnWhileRunning);
    }

    static QStringList Sorted(QStringList vecList)
    {
        vecList.sort();
        return vecList;
    }

    TaskResultSnapshot m_snapshot;
};

std::vector<Tree> WorkerSwitchTest::MakeVersions()
{
    Tree v1 = OrvelTest::FirstVersion(24, QStringLiteral("bulk"));
    v1[QStringLiteral("docs/keep.txt")] = "keep";
    v1[kOld] = "old, deleted in 2";
    Tree v2 = v1;
    v2.remove(kOld);
    v2[QStringLiteral("data/a.bin")] = OrvelTest::Bytes(30000, 11);
    v2[kDeep] = OrvelTest::Bytes(5000, 12);
    Tree v3 = v2;
    v3[QStringLiteral("res/c.dat")] = OrvelTest::Bytes(20001, 22);
    v3[kOnly3] = "only in 3";
    for (int i = 0; i < 24; ++i)
        v3[QStringLiteral("bulk/f%1.bin").arg(i, 2, 10, QLatin1Char('0'))] = OrvelTest::Bytes(40000, 300 + i);
    return {v1, v2, v3};
}

TEST_F(WorkerSwitchTest, SwitchDownRestoresFilesALaterVersionDeletedAndRemovesThoseTheTargetLacks)
{
    // A working path installed at 3 has no docs/old.txt: version 2 deleted it,
    // so no changed-file list between 1 and 3 names it.
    OrvelTest::WriteTree(WorkPath(), Version(3));
    Outcome outcome = Switch(3, 1);
    ASSERT_TRUE(outcome.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();

    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(1));
    EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("new"))));
    const TaskResultData down = m_snapshot.Read();
    EXPECT_EQ(Sorted(down.vecCreatedFiles), QStringList({kOld}));
    EXPECT_EQ(Sorted(down.vecRemovedFiles), QStringList({kOnly3, kDeep}));
    EXPECT_TRUE(down.vecChangedFiles.contains(kOld));
    EXPECT_TRUE(down.vecChangedFiles.contains(kDeep));
    EXPECT_TRUE(down.vecChangedFiles.contains(QStringLiteral("data/a.bin")));
    EXPECT_FALSE(down.vecChangedFiles.contains(QStringLiteral("docs/keep.txt")));
    EXPECT_EQ(outcome.nFirst, down.vecChangedFiles.size() - down.vecRemovedFiles.size());
    EXPECT_EQ(outcome.nSecond, 0);
    EXPECT_EQ(down.nFirstCount, outcome.nFirst);

    // And back up: exactly 3's tree again, old.txt gone since 3 lacks it.
    outcome = Switch(1, 3);
    ASSERT_TRUE(outcome.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(3));
    EXPECT_EQ(m_snapshot.Read().vecRemovedFiles, QStringList{kOld});
    EXPECT_EQ(Sorted(m_snapshot.Read().vecCreatedFiles), QStringList({kOnly3, kDeep}));

    // Same version: nothing to do.
    outcome = Switch(3, 3);
    EXPECT_TRUE(outcome.bSuccess);
    EXPECT_EQ(m_snapshot.Read().strProgressDetail,
              QStringLiteral("Version switch complete: no changed files"));
}

TEST_F(WorkerSwitchTest, RollbackRestoresChangedFilesAndRemovesCreatedOnesWithTheirEmptiedDirectories)
{
    OrvelTest::WriteTree(WorkPath(), Version(1));
    // Up from 1 creates new/dir/deep/n.bin and data/v3only.bin and removes
    // docs/old.txt, which the rollback brings back.
    ASSERT_TRUE(Switch(1, 3).bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    const TaskResultData applied = m_snapshot.Read();
    EXPECT_EQ(Sorted(applied.vecCreatedFiles), QStringList({kOnly3, kDeep}));
    EXPECT_EQ(applied.vecRemovedFiles, QStringList{kOld});
    // A file of the user's beside the created ones keeps its directory.
    OrvelTest::WriteFile(Local(QStringLiteral("data/mine.txt")), "mine");

    const Outcome outcome = Rollback(1, applied.vecChangedFiles, applied.vecCreatedFiles);
    ASSERT_TRUE(outcome.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    EXPECT_EQ(outcome.nFirst, applied.vecChangedFiles.size());
    EXPECT_EQ(outcome.nSecond, 0);
    Tree expected = Version(1);
    expected[QStringLiteral("data/mine.txt")] = "mine";
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), expected);
    EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("new"))));
    EXPECT_TRUE(QFileInfo(WorkPath()).isDir());
    EXPECT_TRUE(m_snapshot.Read().vecChangedFiles.isEmpty()); // nothing left unrestored
}

TEST_F(WorkerSwitchTest, RollbackOfAFailedSwitchKeepsAUsersFileTheBaselineDoesNotKnow)
{
    // The user put version 3's data/v3only.bin in place beforehand: the
    // switch overwrites it without having created it. The working path at 2
    // lacks data/a.bin, whose record alone of version 2's package the switch
    // needs and which trickles in until the server dies once every other
    // file is written, so the switch fails on it alone.
    const QString kA = QStringLiteral("data/a.bin");
    Tree start = Version(2);
    start.remove(kA);
    start[kOnly3] = Version(3).value(kOnly3);
    OrvelTest::WriteTree(WorkPath(), start);
    OrvelTest::Nginx slow(StoreDir(), QStringLiteral("location ~ ^/dat/v2/.*\\.dat$ { limit_rate 16; }"));
    ASSERT_TRUE(slow.Running());
    const Outcome outcome = Switch(
        2, 3,
        [&](OrvelVersionSwitchWorker* pWorker)
        {
            // Killed earlier, the server would fail another file first, and
            // that failure ends the run before data/a.bin is tried.
            int nOthers = 0; // version 3's changes, each written once
            for (auto it = Version(3).cbegin(); it != Version(3).cend(); ++it)
                nOthers += Version(2).value(it.key()) != it.value() ? 1 : 0;
            OrvelTest::WaitUntil([&] { return pWorker->GetChangedFiles().size() >= nOthers; }, 60000);
            EXPECT_TRUE(pWorker->GetChangedFiles().contains(kOnly3));
            slow.Kill();
        },
        0, slow.BaseUrl());
    ASSERT_FALSE(outcome.bSuccess);
    EXPECT_TRUE(outcome.vecFailedFiles.contains(kA))
        << outcome.vecFailedFiles.join(QLatin1Char(' ')).toStdString() << " | "
        << m_snapshot.Read().strStatusMessage.toStdString();
    const TaskResultData failed = m_snapshot.Read();
    ASSERT_TRUE(failed.vecChangedFiles.contains(kOnly3));
    ASSERT_FALSE(failed.vecCreatedFiles.contains(kOnly3));
    EXPECT_FALSE(failed.vecChangedFiles.contains(kA));

    // Version 2 has nothing to bring back for it, and it is the user's.
    const Outcome rolled = Rollback(2, failed.vecChangedFiles, failed.vecCreatedFiles);
    ASSERT_TRUE(rolled.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    EXPECT_EQ(OrvelTest::ReadFile(Local(kOnly3)), start.value(kOnly3));
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), start);
}

TEST_F(WorkerSwitchTest, RollbackNeverWritesOrDeletesThroughALinkOrOutsideTheWorkingPath)
{
    QTemporaryDir outside;
    OrvelTest::WriteFile(outside.filePath(QStringLiteral("c.dat")), "outside c");
    OrvelTest::WriteFile(outside.filePath(QStringLiteral("v3only.bin")), "outside v3only");
    OrvelTest::WriteFile(outside.filePath(QStringLiteral("n.bin")), "outside n");
    OrvelTest::WriteFile(m_dir.filePath(QStringLiteral("escape.txt")), "beside the working path");
    ASSERT_TRUE(QDir().mkpath(Local(QStringLiteral("data"))));
    ASSERT_TRUE(QDir().mkpath(Local(QStringLiteral("new/dir/deep"))));
    ASSERT_TRUE(QFile::link(outside.path(), Local(QStringLiteral("res"))));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("v3only.bin")), Local(kOnly3)));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("n.bin")), Local(kDeep)));

    const QStringList vecFiles = {QStringLiteral("res/c.dat"), kOnly3, kDeep, QStringLiteral("../escape.txt"),
                                  QStringLiteral("docs/keep.txt")};
    const Outcome outcome = Rollback(1, vecFiles, {kOnly3, kDeep, QStringLiteral("../escape.txt")});
    EXPECT_FALSE(outcome.bSuccess);
    EXPECT_EQ(outcome.nFirst, 1); // docs/keep.txt
    EXPECT_EQ(outcome.nSecond, 4);
    EXPECT_EQ(OrvelTest::ReadFile(outside.filePath(QStringLiteral("c.dat"))), QByteArray("outside c"));
    EXPECT_EQ(OrvelTest::ReadFile(outside.filePath(QStringLiteral("v3only.bin"))),
              QByteArray("outside v3only"));
    EXPECT_EQ(OrvelTest::ReadFile(outside.filePath(QStringLiteral("n.bin"))), QByteArray("outside n"));
    EXPECT_TRUE(QFileInfo(Local(kOnly3)).isSymLink());
    EXPECT_TRUE(QFileInfo(Local(kDeep)).isSymLink());
    EXPECT_EQ(OrvelTest::ReadFile(m_dir.filePath(QStringLiteral("escape.txt"))),
              QByteArray("beside the working path"));
    EXPECT_EQ(OrvelTest::ReadFile(Local(QStringLiteral("docs/keep.txt"))), QByteArray("keep"));
    // The caller learns which files are not at the baseline.
    EXPECT_EQ(Sorted(m_snapshot.Read().vecChangedFiles),
              Sorted({QStringLiteral("res/c.dat"), kOnly3, kDeep, QStringLiteral("../escape.txt")}));
}

TEST_F(WorkerSwitchTest, AStoppedSwitchLeavesWholeFilesAndItsRollbackRestoresTheBaseline)
{
    OrvelTest::WriteTree(WorkPath(), Version(1));
    // 400 KB/s over about 1 MB of changed bulk: long enough to stop mid-way.
    const Outcome outcome = Switch(
        1, 3,
        [this](OrvelVersionSwitchWorker* pWorker)
        {
            OrvelTest::WaitUntil([&] { return pWorker->GetChangedFiles().size() >= 2; }, 60000);
            // Paused, then stopped: the paused pool threads wake and end.
            pWorker->Pause();
            pWorker->Cancel();
        },
        400 * 1024);
    EXPECT_FALSE(outcome.bSuccess);
    const TaskResultData stopped = m_snapshot.Read();
    EXPECT_EQ(stopped.strStatusMessage, QStringLiteral("Version switch cancelled"));
    ASSERT_GE(stopped.vecChangedFiles.size(), 2);
    EXPECT_LT(stopped.vecChangedFiles.size(), 26) << "the switch was not stopped mid-way";

    // Every file is whole: the one of 1 or the one of 3, no temporary file.
    const Tree local = OrvelTest::ReadTree(WorkPath());
    for (auto it = local.begin(); it != local.end(); ++it)
    {
        const bool bWhole =
            it.value() == Version(1).value(it.key()) || it.value() == Version(3).value(it.key());
        EXPECT_TRUE(bWhole && (Version(1).contains(it.key()) || Version(3).contains(it.key())))
            << it.key().toStdString();
    }
    // A rollback stopped while paused ends too, and names what it did not
    // restore. The bulk after the changed files keeps it busy long enough.
    QStringList vecLong = stopped.vecChangedFiles;
    for (auto it = Version(1).begin(); it != Version(1).end(); ++it)
    {
        if (it.key().startsWith(QLatin1String("bulk/")) && !vecLong.contains(it.key()))
            vecLong.push_back(it.key());
    }
    Outcome rolled = Rollback(
        1, vecLong, stopped.vecCreatedFiles,
        [&](OrvelVersionRollbackWorker* pWorker)
        {
            const auto restoredAny = [&]
            {
                for (const QString& strName : stopped.vecChangedFiles)
                {
                    if (OrvelTest::ReadFile(Local(strName)) == Version(1).value(strName))
                        return true;
                }
                return false;
            };
            OrvelTest::WaitUntil(restoredAny, 60000);
            pWorker->Pause();
            pWorker->Cancel();
        },
        200 * 1024);
    EXPECT_FALSE(rolled.bSuccess);
    const TaskResultData halted = m_snapshot.Read();
    EXPECT_EQ(halted.strStatusMessage, QStringLiteral("Version rollback cancelled"));
    EXPECT_GE(rolled.nFirst, 1);
    EXPECT_LT(rolled.nFirst, vecLong.size());
    EXPECT_EQ(halted.vecChangedFiles.size() + rolled.nFirst, vecLong.size());

    rolled = Rollback(1, stopped.vecChangedFiles, stopped.vecCreatedFiles);
    ASSERT_TRUE(rolled.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(1));
}

TEST_F(WorkerSwitchTest, VersionListIsNewestFirstWithoutBadPackageInformationAndMarksTheCurrent)
{
    QTemporaryDir broken;
    const auto pBrokenServer = ServeDamagedCopy(broken, QStringLiteral("dat/v2/_pkginf"));
    auto pService = NewService(3, pBrokenServer->BaseUrl());
    OrvelVersionList list = ListSwitchableVersions(pService.get());
    ASSERT_EQ(list.vecVersions.size(), 2);
    EXPECT_EQ(list.vecVersions[0].uVersion, 3u);
    EXPECT_EQ(list.vecVersions[1].uVersion, 1u);
    EXPECT_EQ(list.nCurrentIndex, 0);
    EXPECT_EQ(list.uCurrentVersion, 3u);

    EXPECT_TRUE(ListSwitchableVersions(nullptr).vecVersions.isEmpty());
}

} // namespace
