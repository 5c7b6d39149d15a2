// Directory reconcile against a real store served by nginx and a real working
// path: the plan it makes, what the apply does and refuses, and the
// controller's report, with a scripted answerer in place of the dialogs.
#include "LauncherSettings.h"
#include "OrvelDirectoryReconcile.h"
#include "OrvelFileService.h"
#include "OrvelLauncherController.h"
#include "OrvelTestPrompt.h"
#include "core_test_env.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <unistd.h>

namespace
{

using OrvelCoreTest::Tree;

QStringList Paths(const QVector<OrvelReconcileEntry>& vecEntries)
{
    QStringList vecOut;
    for (const OrvelReconcileEntry& entry : vecEntries)
        vecOut.append(entry.strRelativePath);
    return vecOut;
}

class ReconcileTest : public ::testing::Test
{
protected:
    static Tree ServerTree()
    {
        Tree tree;
        tree[QStringLiteral("data/a.txt")] = "a as published";
        tree[QStringLiteral("data/b.bin")] = OrvelTest::Bytes(5000, 1);
        tree[QStringLiteral("data/sub/c.txt")] = "c";
        tree[QStringLiteral("data/case.txt")] = "case as published";
        tree[QStringLiteral("res/d.txt")] = "d";
        tree[QStringLiteral("res/keep/e.txt")] = "e";
        tree[QStringLiteral("other/o.txt")] = "o";
        return tree;
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_store.Publish({ServerTree()}));
        m_strAppDir = m_store.MakeAppDir(QStringLiteral("app"));
        ASSERT_TRUE(m_service.Initialize(m_store.ConfigPath(m_strAppDir), OrvelFileService::kLatestVersion))
            << m_service.LastError().toStdString();

        // Changed, missing and extra files in data/ and res/, a spelling that
        // differs only in letter case, links, and files outside the selection.
        Tree local = ServerTree();
        local.remove(QStringLiteral("data/case.txt"));
        local[QStringLiteral("data/CASE.TXT")] = "case as published";
        local[QStringLiteral("data/a.txt")] = "a edited locally";
        local.remove(QStringLiteral("data/b.bin"));
        local[QStringLiteral("data/extra.txt")] = "extra";
        local[QStringLiteral("data/emptyme/only.txt")] = "only";
        local[QStringLiteral("res/d.txt")] = "D";
        local[QStringLiteral("res/zzz/deep/x.tmp")] = "x";
        local[QStringLiteral("other/o.txt")] = "o edited";
        local[QStringLiteral("other/x.extra")] = "outside the selection";
        OrvelTest::WriteTree(WorkPath(), local);
        OrvelTest::WriteFile(Outside(QStringLiteral("victim.txt")), "behind a link");
        ASSERT_TRUE(QFile::link(Outside(QString()), Local(QStringLiteral("data/link"))));
        ASSERT_TRUE(
            QFile::link(Outside(QStringLiteral("victim.txt")), Local(QStringLiteral("data/filelink"))));
    }

    QString WorkPath() const { return m_store.Path(QStringLiteral("work")); }
    QString Local(const QString& strRelative) const { return QDir(WorkPath()).filePath(strRelative); }
    QString Outside(const QString& strName) const
    {
        return strName.isEmpty() ? m_store.Path(QStringLiteral("outside"))
                                 : QDir(m_store.Path(QStringLiteral("outside"))).filePath(strName);
    }

    OrvelCoreTest::ServedStore m_store;
    QString m_strAppDir;
    OrvelFileService m_service;
};

TEST(ReconcileSelectionTest, CandidatesAndSelectionsAreNormalised)
{
    QTemporaryDir dir;
    OrvelTest::WriteFile(dir.filePath(QStringLiteral("a/b/c/deep.txt")), "x");
    OrvelTest::WriteFile(dir.filePath(QStringLiteral(".hidden/h.txt")), "h");
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("a")), dir.filePath(QStringLiteral("z_link"))));
    EXPECT_EQ(
        OrvelReconcile::CandidateDirectories(dir.path()),
        (QStringList{QString(), QStringLiteral(".hidden"), QStringLiteral("a"), QStringLiteral("a/b")}));

    // a/ and a/b give one scan of a/; the root holds everything; ".." never passes.
    EXPECT_EQ(OrvelReconcile::NormaliseSelection(
                  {QStringLiteral("a/b"), QStringLiteral("a/"), QStringLiteral("A"), QStringLiteral("ab")}),
              (QStringList{QStringLiteral("a"), QStringLiteral("ab")}));
    EXPECT_EQ(OrvelReconcile::NormaliseSelection({QStringLiteral("x"), QStringLiteral(".")}),
              QStringList{QString()});
    EXPECT_EQ(OrvelReconcile::NormaliseSelection({QStringLiteral("../up"), QStringLiteral("/rooted")}),
              QStringList{QStringLiteral("rooted")});
}

TEST_F(ReconcileTest, ThePlanListsExactlyTheDifferencesAndTheApplyDoesOnlyWhatWasConfirmed)
{
    OrvelReconcilePlan plan;
    QString strError;
    ASSERT_TRUE(OrvelReconcile::Scan(
        &m_service, WorkPath(), {QStringLiteral("data"), QStringLiteral("res"), QStringLiteral("data/sub")},
        &plan, &strError))
        << strError.toStdString();
    EXPECT_EQ(plan.vecDirectories, (QStringList{QStringLiteral("data"), QStringLiteral("res")}));
    EXPECT_EQ(Paths(plan.vecRevert), (QStringList{QStringLiteral("data/a.txt"), QStringLiteral("data/b.bin"),
                                                  QStringLiteral("res/d.txt")}));
    EXPECT_EQ(Paths(plan.vecDelete),
              (QStringList{QStringLiteral("data/emptyme/only.txt"), QStringLiteral("data/extra.txt"),
                           QStringLiteral("res/zzz/deep/x.tmp")}));
    EXPECT_EQ(plan.vecLinked, (QStringList{QStringLiteral("data/filelink"), QStringLiteral("data/link")}));
    EXPECT_EQ(plan.vecRevert.at(1).nServerSize, 5000);

    // The user unchecks data/extra.txt; res/d.txt changes after the scan; a
    // path that was never in the plan is slipped in.
    OrvelTest::WriteFile(Local(QStringLiteral("res/d.txt")), "D, edited again");
    const OrvelReconcile::ApplyResult result = OrvelReconcile::Apply(
        &m_service, plan,
        {QStringLiteral("data/a.txt"), QStringLiteral("data/b.bin"), QStringLiteral("res/d.txt")},
        {QStringLiteral("data/emptyme/only.txt"), QStringLiteral("res/zzz/deep/x.tmp"),
         QStringLiteral("other/x.extra"), QStringLiteral("data/link/victim.txt")});
    ASSERT_TRUE(result.bOk) << result.strError.toStdString();
    EXPECT_EQ(result.nReverted, 2);
    EXPECT_EQ(result.nDeleted, 2);
    EXPECT_EQ(result.vecChangedSinceScan, QStringList{QStringLiteral("res/d.txt")});
    EXPECT_EQ(result.vecRefused,
              (QStringList{QStringLiteral("other/x.extra"), QStringLiteral("data/link/victim.txt")}));

    const Tree server = ServerTree();
    const Tree now = OrvelTest::ReadTree(WorkPath());
    EXPECT_EQ(now.value(QStringLiteral("data/a.txt")), server.value(QStringLiteral("data/a.txt")));
    EXPECT_EQ(now.value(QStringLiteral("data/b.bin")), server.value(QStringLiteral("data/b.bin")));
    EXPECT_EQ(now.value(QStringLiteral("res/d.txt")), QByteArray("D, edited again"));
    EXPECT_EQ(now.value(QStringLiteral("data/extra.txt")), QByteArray("extra"));
    EXPECT_EQ(now.value(QStringLiteral("data/CASE.TXT")), QByteArray("case as published"));
    EXPECT_EQ(now.value(QStringLiteral("other/o.txt")), QByteArray("o edited"));
    EXPECT_EQ(now.value(QStringLiteral("other/x.extra")), QByteArray("outside the selection"));
    EXPECT_EQ(OrvelTest::ReadFile(Outside(QStringLiteral("victim.txt"))), QByteArray("behind a link"));
    EXPECT_TRUE(QFileInfo(Local(QStringLiteral("data/filelink"))).isSymLink());
    // Emptied directories go, up to the working path; res/ still holds files.
    EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("data/emptyme"))));
    EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("res/zzz"))));
    EXPECT_TRUE(QFileInfo(Local(QStringLiteral("res"))).isDir());
    // No temporary file is left beside a reverted one.
    EXPECT_EQ(QDir(Local(QStringLiteral("data"))).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{QStringLiteral("CASE.TXT"), QStringLiteral("a.txt"), QStringLiteral("b.bin"),
                           QStringLiteral("extra.txt"), QStringLiteral("filelink")}));
}

TEST_F(ReconcileTest, TheLaunchersOwnDataIsNeverOfferedNorDeleted)
{
    const QStringList vecOwn = {QStringLiteral("clientCorvane/packs/p1.pak"),
                                QStringLiteral("_cache/ofse/index.bin"),
                                QStringLiteral("_logs/launcher_1.log"), QStringLiteral("PemCorvane.log"),
                                QStringLiteral("data/PemCorvane.log")};
    for (const QString& strPath : vecOwn)
        OrvelTest::WriteFile(Local(strPath), "the launcher's");

    const QStringList vecCandidates = OrvelReconcile::CandidateDirectories(WorkPath());
    EXPECT_TRUE(vecCandidates.contains(QStringLiteral("data")));
    for (const QString& strDir : {QStringLiteral("clientCorvane"), QStringLiteral("clientCorvane/packs"),
                                  QStringLiteral("_cache"), QStringLiteral("_logs")})
        EXPECT_FALSE(vecCandidates.contains(strDir)) << strDir.toStdString();

    // Every folder ticked: the working path itself.
    OrvelReconcilePlan plan;
    QString strError;
    ASSERT_TRUE(OrvelReconcile::Scan(&m_service, WorkPath(), {QString()}, &plan, &strError))
        << strError.toStdString();
    const QStringList vecDelete = Paths(plan.vecDelete);
    EXPECT_TRUE(vecDelete.contains(QStringLiteral("data/extra.txt"))) << vecDelete.join(' ').toStdString();
    for (const QString& strPath : vecOwn)
        EXPECT_FALSE(vecDelete.contains(strPath)) << strPath.toStdString();

    // A plan that offers them anyway (made elsewhere, or by an older scan) is
    // refused at apply.
    for (const QString& strPath : vecOwn)
    {
        OrvelReconcileEntry entry;
        entry.strRelativePath = strPath;
        entry.bLocalExists = true;
        entry.nLocalSize = QFileInfo(Local(strPath)).size();
        entry.nLocalModifiedMs = OrvelTest::Modified(Local(strPath)).toMSecsSinceEpoch();
        plan.vecDelete.append(entry);
    }
    const OrvelReconcile::ApplyResult result = OrvelReconcile::Apply(
        &m_service, plan, QStringList(), vecOwn + QStringList{QStringLiteral("data/extra.txt")});
    ASSERT_TRUE(result.bOk) << result.strError.toStdString();
    EXPECT_EQ(result.nDeleted, 1);
    EXPECT_EQ(result.vecRefused, vecOwn);
    for (const QString& strPath : vecOwn)
        EXPECT_EQ(OrvelTest::ReadFile(Local(strPath)), QByteArray("the launcher's")) << strPath.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("data/extra.txt"))));
}

TEST_F(ReconcileTest, AnEditAfterTheScanThatKeepsTheSizeIsLeftAlone)
{
    OrvelReconcilePlan plan;
    QString strError;
    ASSERT_TRUE(OrvelReconcile::Scan(&m_service, WorkPath(), {QStringLiteral("data")}, &plan, &strError))
        << strError.toStdString();
    ASSERT_TRUE(Paths(plan.vecRevert).contains(QStringLiteral("data/a.txt")));
    ASSERT_TRUE(Paths(plan.vecDelete).contains(QStringLiteral("data/extra.txt")));

    // Saved again while the plan was open: same size, new content and time.
    const Tree edits{{QStringLiteral("data/a.txt"), "A EDITED LOCALLY"},
                     {QStringLiteral("data/extra.txt"), "EXTRA"}};
    for (auto it = edits.begin(); it != edits.end(); ++it)
    {
        const QDateTime dtScanned = OrvelTest::Modified(Local(it.key()));
        ASSERT_EQ(QFileInfo(Local(it.key())).size(), it.value().size());
        OrvelTest::WriteFile(Local(it.key()), it.value());
        OrvelTest::SetModified(Local(it.key()), dtScanned.addSecs(5));
    }
    const OrvelReconcile::ApplyResult result = OrvelReconcile::Apply(
        &m_service, plan, {QStringLiteral("data/a.txt")}, {QStringLiteral("data/extra.txt")});
    ASSERT_TRUE(result.bOk) << result.strError.toStdString();
    EXPECT_EQ(result.nReverted, 0);
    EXPECT_EQ(result.nDeleted, 0);
    EXPECT_EQ(result.vecChangedSinceScan,
              (QStringList{QStringLiteral("data/extra.txt"), QStringLiteral("data/a.txt")}));
    for (auto it = edits.begin(); it != edits.end(); ++it)
        EXPECT_EQ(OrvelTest::ReadFile(Local(it.key())), it.value()) << it.key().toStdString();
}

TEST_F(ReconcileTest, TheControllerReportsEachEnd)
{
    LauncherSettings settings(m_strAppDir);
    settings.setWorkPath(WorkPath());
    OrvelLauncherController controller(&settings);
    OrvelTest::ScriptedPrompt prompt;
    controller.SetUserPrompt(&prompt);
    controller.SetFileService(&m_service);
    QSignalSpy status(&controller, &OrvelLauncherController::StatusChanged);
    QSignalSpy log(&controller, &OrvelLauncherController::LogMessage);
    QSignalSpy finished(&controller, &OrvelLauncherController::DirectoryReconcileFinished);

    // Declined at the plan: nothing changes.
    const Tree before = OrvelTest::ReadTree(WorkPath());
    prompt.vecChosen = QStringList{QStringLiteral("res")};
    prompt.bConfirm = false;
    controller.StartDirectoryReconcile();
    EXPECT_EQ(status.last().at(0).toString(), QStringLiteral("Directory reconcile cancelled"));
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), before);
    EXPECT_TRUE(prompt.vecOffered.contains(QStringLiteral("res/zzz/deep")) == false);
    EXPECT_TRUE(prompt.vecOffered.contains(QStringLiteral("res/zzz")));

    prompt.bConfirm = true;
    controller.StartDirectoryReconcile();
    EXPECT_EQ(status.last().at(0).toString(), QStringLiteral("Directory reconcile complete"));
    EXPECT_EQ(log.last().at(0).toString(),
              QStringLiteral("Directory reconcile complete: 1 files reverted, 1 files deleted"));
    EXPECT_EQ(OrvelTest::ReadFile(Local(QStringLiteral("res/d.txt"))), QByteArray("d"));

    // Nothing left to do: the user is told so.
    controller.StartDirectoryReconcile();
    EXPECT_EQ(status.last().at(0).toString(), QStringLiteral("No directory differences"));
    EXPECT_TRUE(prompt.WasAsked(OrvelQuestion::ReconcileNoChanges));
    EXPECT_EQ(log.last().at(0).toString(),
              QStringLiteral("Directory reconcile scan finished: no changes needed"));

    prompt.bChoose = false;
    controller.StartDirectoryReconcile();
    EXPECT_EQ(log.last().at(0).toString(),
              QStringLiteral("Directory reconcile cancelled during directory selection"));
    ASSERT_EQ(finished.size(), 4);
    EXPECT_EQ(finished.at(1).at(0).toInt(), OrvelReconcile::StatusComplete);
    EXPECT_EQ(finished.at(3).at(0).toInt(), OrvelReconcile::StatusCancelledSelection);
}

TEST_F(ReconcileTest, RevertsReplaceWholeFilesAndOnlyWithTheServersContent)
{
    // A second name for data/a.txt's content: a write in place would change
    // it too, a rename over the name leaves it alone.
    ASSERT_EQ(::link(QFile::encodeName(Local(QStringLiteral("data/a.txt"))).constData(),
                     QFile::encodeName(m_store.Path(QStringLiteral("a_second_name"))).constData()),
              0);
    // The directory is spelled otherwise on disk than on the server: its
    // files are compared, not offered for deletion.
    ASSERT_TRUE(QDir(WorkPath()).rename(QStringLiteral("res"), QStringLiteral("Res")));
    OrvelReconcilePlan plan;
    QString strError;
    ASSERT_TRUE(OrvelReconcile::Scan(&m_service, WorkPath(), {QStringLiteral("data"), QStringLiteral("Res")},
                                     &plan, &strError))
        << strError.toStdString();
    EXPECT_EQ(Paths(plan.vecRevert), (QStringList{QStringLiteral("data/a.txt"), QStringLiteral("data/b.bin"),
                                                  QStringLiteral("Res/d.txt")}));
    EXPECT_EQ(Paths(plan.vecDelete),
              (QStringList{QStringLiteral("data/emptyme/only.txt"), QStringLiteral("data/extra.txt"),
                           QStringLiteral("Res/zzz/deep/x.tmp")}));

    OrvelReconcile::ApplyResult result = OrvelReconcile::Apply(
        &m_service, plan, {QStringLiteral("data/a.txt"), QStringLiteral("Res/d.txt")}, {});
    ASSERT_TRUE(result.bOk) << result.strError.toStdString();
    EXPECT_EQ(OrvelTest::ReadFile(Local(QStringLiteral("data/a.txt"))), QByteArray("a as published"));
    EXPECT_EQ(OrvelTest::ReadFile(Local(QStringLiteral("Res/d.txt"))), QByteArray("d"));
    EXPECT_EQ(OrvelTest::ReadFile(m_store.Path(QStringLiteral("a_second_name"))),
              QByteArray("a edited locally"));

    // The server now delivers damaged packages: nothing reaches the working
    // path, and the apply stops with the file's reason.
    QDirIterator packages(m_store.StoreDir(), {QStringLiteral("*.dat")}, QDir::Files,
                          QDirIterator::Subdirectories);
    while (packages.hasNext())
    {
        QFile package(packages.next());
        ASSERT_TRUE(package.open(QIODevice::ReadWrite));
        QByteArray data = package.readAll();
        for (int i = 40; i < data.size(); i += 97)
            data[i] = static_cast<char>(data.at(i) ^ 0x5A);
        package.seek(0);
        package.write(data);
    }
    const Tree before = OrvelTest::ReadTree(WorkPath());
    result = OrvelReconcile::Apply(&m_service, plan, {QStringLiteral("data/b.bin")}, {});
    EXPECT_FALSE(result.bOk);
    EXPECT_TRUE(result.strError.startsWith(QStringLiteral("Failed to revert file data/b.bin: ")))
        << result.strError.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), before);
}

} // namespace
