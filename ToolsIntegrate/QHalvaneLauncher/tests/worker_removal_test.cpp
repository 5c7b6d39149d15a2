// Files a version no longer holds: get-latest and switch remove them while they
// are as the store published them, keep (and name) them otherwise, and a
// rollback brings them back. Stores built with the real packer, served by a
// real nginx on loopback, read through the real library, real files.
#include "OrvelTestPublishedStore.h"
#include "workers/OrvelGetLatestWorker.h"
#include "workers/OrvelTaskResultSnapshot.h"
#include "workers/OrvelVersionRollbackWorker.h"
#include "workers/OrvelVersionSwitchWorker.h"

#include <QFile>

#include <gtest/gtest.h>

namespace
{

using OrvelTest::Tree;
using Outcome = OrvelTest::WorkerOutcome;

const QString kPluginA = QStringLiteral("plugins/old/a.dll");     // only in 1, unchanged
const QString kPluginB = QStringLiteral("plugins/old/sub/b.dll"); // only in 1, unchanged
const QString kLevel = QStringLiteral("levels/l1.dat");           // only in 1, beside a file of the user's
const QString kScript = QStringLiteral("scripts/tool.lua");       // only in 1, changed here
const QString kMap = QStringLiteral("maps/m1.map");               // only in 1, made anew here
const QString kLinked = QStringLiteral("docs/old.txt");           // only in 1, a link here
const QString kNotes = QStringLiteral("levels/notes.txt");        // the user's, in no version
const QString kAdded = QStringLiteral("addons/deep/x.bin");       // only in 2
const QString kAddedMine = QStringLiteral("addons/y.txt");        // only in 2, changed here before going down

QStringList Sorted(QStringList vecList)
{
    vecList.sort();
    return vecList;
}

class WorkerRemovalTest : public OrvelTest::PublishedStoreTest<WorkerRemovalTest>
{
public:
    static std::vector<Tree> MakeVersions()
    {
        Tree v1 = OrvelTest::FirstVersion(0);
        v1[QStringLiteral("plugins/keep.dll")] = OrvelTest::Bytes(2000, 33);
        v1[kPluginA] = OrvelTest::Bytes(6000, 31);
        v1[kPluginB] = OrvelTest::Bytes(3000, 32);
        v1[kLevel] = OrvelTest::Bytes(2500, 35);
        v1[kScript] = "print('v1')";
        v1[kMap] = OrvelTest::Bytes(4000, 34);
        v1[kLinked] = "old docs";
        Tree v2 = v1;
        for (const QString& strGone : {kPluginA, kPluginB, kLevel, kScript, kMap, kLinked})
            v2.remove(strGone);
        v2[QStringLiteral("data/a.bin")] = OrvelTest::Bytes(30000, 41);
        v2[kAdded] = OrvelTest::Bytes(3000, 42);
        v2[kAddedMine] = "y two";
        return {v1, v2};
    }

protected:
    // Version 1 with the user's own changes, in an otherwise empty working
    // path; kLinked is a link to an identical file outside. Returns the tree.
    Tree InstallWithUserFiles()
    {
        QDir(WorkPath()).removeRecursively();
        Tree start = Version(1);
        start[kScript] = "print('me')"; // the same size: only the hash tells
        start[kMap] = "my own map";
        start[kNotes] = "mine";
        start.remove(kLinked);
        OrvelTest::WriteTree(WorkPath(), start);
        OrvelTest::WriteFile(m_outside.filePath(QStringLiteral("old.txt")), Version(1).value(kLinked));
        EXPECT_TRUE(QDir().mkpath(Local(QStringLiteral("docs"))));
        EXPECT_TRUE(QFile::link(m_outside.filePath(QStringLiteral("old.txt")), Local(kLinked)));
        start[kLinked] = Version(1).value(kLinked);
        return start;
    }

    // What version 2 leaves over InstallWithUserFiles: its files and the user's.
    void ExpectUpdatedKeepingTheUsersFiles(const Tree& start)
    {
        Tree expected = Version(2);
        for (const QString& strKept : {kScript, kMap, kNotes, kLinked})
            expected[strKept] = start.value(strKept);
        EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), expected);
        EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("plugins/old")))) << "emptied directories go";
        EXPECT_TRUE(QFileInfo(Local(kLinked)).isSymLink());
        const TaskResultData result = m_snapshot.Read();
        EXPECT_EQ(Sorted(result.vecRemovedFiles), QStringList({kLevel, kPluginA, kPluginB}));
        EXPECT_EQ(Sorted(result.vecKeptFiles), QStringList({kLinked, kMap, kScript}));
        ASSERT_EQ(result.vecKeptReasons.size(), result.vecKeptFiles.size());
        EXPECT_TRUE(result.vecKeptReasons.value(result.vecKeptFiles.indexOf(kLinked))
                        .contains(QLatin1String("link")));
        for (const QString& strRemoved : result.vecRemovedFiles)
        {
            EXPECT_TRUE(result.vecChangedFiles.contains(strRemoved)) << "a rollback must bring it back";
            EXPECT_FALSE(result.vecCreatedFiles.contains(strRemoved)) << "and not delete it again";
        }
    }

    Outcome Switch(quint32 uFrom, quint32 uTo)
    {
        m_pSettings->writeProductRecord(uFrom, QString());
        auto pSource = NewService(uFrom);
        auto pTarget = NewService(uTo);
        OrvelVersionSwitchWorker worker(pSource.get(), pTarget.get(), m_pSettings.get(), &m_snapshot, uFrom,
                                        uTo);
        return Run<OrvelVersionSwitchWorker>(&worker);
    }

    QTemporaryDir m_outside;
    TaskResultSnapshot m_snapshot;
};

TEST_F(WorkerRemovalTest, AnUpdateRemovesOnlyUnchangedFilesTheLatestDroppedAndARollbackBringsThemBack)
{
    const Tree start = InstallWithUserFiles();
    auto pLatest = NewService(OrvelFileService::kLatestVersion);
    {
        OrvelGetLatestWorker worker(pLatest.get(), m_pSettings.get(), &m_snapshot);
        worker.SetIncrementalRange(1, 2);
        worker.SetRemovalBaseline(1);
        const Outcome outcome = Run<OrvelGetLatestWorker>(&worker);
        ASSERT_TRUE(outcome.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    }
    ExpectUpdatedKeepingTheUsersFiles(start);
    EXPECT_EQ(OrvelTest::ReadFile(m_outside.filePath(QStringLiteral("old.txt"))), Version(1).value(kLinked));

    // What a failed update's rollback gets: every removed file comes back whole.
    const TaskResultData applied = m_snapshot.Read();
    auto pBaseline = NewService(1);
    OrvelVersionRollbackWorker rollback(pBaseline.get(), applied.vecChangedFiles, m_pSettings.get(),
                                        &m_snapshot);
    rollback.SetCreatedFiles(applied.vecCreatedFiles);
    ASSERT_TRUE(Run<OrvelVersionRollbackWorker>(&rollback).bSuccess)
        << m_snapshot.Read().strStatusMessage.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), start);
    EXPECT_EQ(OrvelTest::ReadFile(Local(kPluginB)), Version(1).value(kPluginB));
}

TEST_F(WorkerRemovalTest, AFullUpdateRemovesTheSameButNothingWithoutABaselineOrBeforeItsFilesAreIn)
{
    // The server sends lists but no content: the run fails before a file of 2
    // is in place, and no file of 1 may be gone then.
    Tree start = InstallWithUserFiles();
    {
        const auto pBusy = ServePackagesUnavailable();
        auto pService = NewService(OrvelFileService::kLatestVersion, pBusy->BaseUrl());
        OrvelGetLatestWorker worker(pService.get(), m_pSettings.get(), &m_snapshot);
        worker.SetRemovalBaseline(1);
        ASSERT_FALSE(Run<OrvelGetLatestWorker>(&worker).bSuccess);
        EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), start);
        EXPECT_TRUE(m_snapshot.Read().vecRemovedFiles.isEmpty());
    }

    auto pLatest = NewService(OrvelFileService::kLatestVersion);
    {
        OrvelGetLatestWorker worker(pLatest.get(), m_pSettings.get(), &m_snapshot);
        worker.SetRemovalBaseline(1);
        ASSERT_TRUE(Run<OrvelGetLatestWorker>(&worker).bSuccess)
            << m_snapshot.Read().strStatusMessage.toStdString();
    }
    ExpectUpdatedKeepingTheUsersFiles(start);

    // No version known for the working path: nothing can be told the store's.
    start = InstallWithUserFiles();
    OrvelGetLatestWorker worker(pLatest.get(), m_pSettings.get(), &m_snapshot);
    ASSERT_TRUE(Run<OrvelGetLatestWorker>(&worker).bSuccess);
    Tree expected = start;
    for (auto it = Version(2).begin(); it != Version(2).end(); ++it)
        expected[it.key()] = it.value();
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), expected);
    EXPECT_TRUE(m_snapshot.Read().vecRemovedFiles.isEmpty());
}

TEST_F(WorkerRemovalTest, ASwitchUpAndDownRemovesWhatTheTargetLacksUnlessChangedHere)
{
    const Tree start = InstallWithUserFiles();
    Outcome outcome = Switch(1, 2);
    ASSERT_TRUE(outcome.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    ExpectUpdatedKeepingTheUsersFiles(start);

    // Down again: 1's files come back where nothing is in their place; 2's
    // own go, but not the one changed here, nor the directory holding it.
    OrvelTest::WriteFile(Local(kAddedMine), "y mine");
    outcome = Switch(2, 1);
    ASSERT_TRUE(outcome.bSuccess) << m_snapshot.Read().strStatusMessage.toStdString();
    Tree expected = start;
    expected[kAddedMine] = "y mine";
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), expected);
    EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("addons/deep"))));
    EXPECT_EQ(m_snapshot.Read().vecRemovedFiles, QStringList{kAdded});
    EXPECT_EQ(m_snapshot.Read().vecKeptFiles, QStringList{kAddedMine});
    EXPECT_EQ(outcome.nSecond, 0) << "2's changes the removal step handled are not counted as kept";
}

} // namespace
