// OrvelUpdater as a real process: a copy of the program in a temporary launcher
// directory, a stand-in launcher script beside it, real packages.
#include "OrvelAtomicFile.h"
#include "OrvelFnv1a.h"
#include "OrvelPackageBuilder.h"
#include "OrvelTestSupport.h"
#include "OrvelUpdaterBackup.h"
#include "platform/OrvelPlatformNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>
#include <functional>

#include <gtest/gtest.h>

using OrvelTest::ReadFile;
using OrvelTest::WriteFile;

namespace
{
const int kRunDeadlineMs = 60000;

struct UpdaterRun
{
    bool bFinished = false;
    int nExitCode = -1;
    QString strStdErr;
    QString strStdOut;
};

class UpdaterTest : public ::testing::Test
{
protected:
    // The launcher's directory: the updater, the stand-in launcher and the files to update.
    QString app() const { return m_dir.path() + QStringLiteral("/launcher dir"); }
    QString package() const { return app() + QStringLiteral("/QHalvaneLauncher_update.pkg"); }
    QString marker() const { return app() + QStringLiteral("/launcher_ran.txt"); }
    QString file(const QString& strRelative) const { return app() + QLatin1Char('/') + strRelative; }

    void SetUp() override
    {
        const QString strBinDir = qEnvironmentVariable("CORVANE_BIN_DIR", QStringLiteral(ORVEL_TEST_BIN_DIR));
        ASSERT_TRUE(QDir().mkpath(app()));
        m_strUpdater = file(QLatin1String(OrvelPlatform::kUpdaterFileName));
        ASSERT_TRUE(QFile::copy(strBinDir + QLatin1Char('/') + QLatin1String(OrvelPlatform::kUpdaterFileName),
                                m_strUpdater));

        // Records that it ran and in which working directory.
        const QString strLauncher = file(QLatin1String(OrvelPlatform::kLauncherFileName));
        WriteFile(strLauncher,
                  "#!/bin/sh\npwd > \"$(dirname \"$0\")/launcher_ran.tmp\"\n"
                  "mv \"$(dirname \"$0\")/launcher_ran.tmp\" \"$(dirname \"$0\")/launcher_ran.txt\"\n");
        ASSERT_TRUE(
            QFile::setPermissions(strLauncher, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        for (int i = 0; i < 5; ++i)
            WriteFile(file(m_vecFiles[i]), "old " + m_vecFiles[i].toUtf8());
    }

    QByteArray newContent(int i) const { return "new content of " + m_vecFiles[i].toUtf8(); }

    void buildPackage()
    {
        OrvelPackageBuilder builder;
        for (int i = 0; i < 5; ++i)
            builder.addMemoryFile(newContent(i), m_vecFiles[i]);
        ASSERT_TRUE(builder.build(package(), 9)) << builder.lastError().toStdString();
    }

    UpdaterRun run(const QStringList& vecArgs, bool bOffscreen = true)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (bOffscreen)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        else
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(env);
        process.start(m_strUpdater, vecArgs);
        UpdaterRun result;
        result.bFinished = process.waitForStarted() && process.waitForFinished(kRunDeadlineMs);
        if (!result.bFinished)
            process.kill();
        result.nExitCode = process.exitCode();
        result.strStdErr = QString::fromLocal8Bit(process.readAllStandardError());
        result.strStdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        return result;
    }

    QStringList standardArgs() const
    {
        return {QStringLiteral("--package"), package(), QStringLiteral("--target"), app()};
    }

    QString updaterLog() const
    {
        const QStringList vecLogs =
            QDir(app() + QStringLiteral("/_logs")).entryList({QStringLiteral("updater_*.log")}, QDir::Files);
        return vecLogs.size() == 1
                   ? QString::fromUtf8(ReadFile(app() + QStringLiteral("/_logs/") + vecLogs[0]))
                   : QString();
    }

    void expectOldFiles(int nFrom = 0)
    {
        for (int i = nFrom; i < 5; ++i)
            EXPECT_EQ(ReadFile(file(m_vecFiles[i])), "old " + m_vecFiles[i].toUtf8()) << i;
    }

    QTemporaryDir m_dir;
    QString m_strUpdater;
    const QStringList m_vecFiles = {QStringLiteral("first.txt"), QStringLiteral("lib/second.so"),
                                    QStringLiteral("sub/third.txt"), QStringLiteral("fourth.txt"),
                                    QStringLiteral("res/数据/fifth.dat")};
};
} // namespace

TEST_F(UpdaterTest, FailureOnTheThirdFileRollsBackAndEndsItsRun)
{
    // Root ignores permissions, so the third file is made impossible by its
    // shape: its directory is a regular file (replacement fails), or the file
    // is a directory (backup fails).
    struct Case
    {
        const char* pszName;
        std::function<void()> arrange;
        QString strLogLine;
    };
    const Case vecCases[] = {
        {"parent is a file",
         [&]
         {
             QDir(file(QStringLiteral("sub"))).removeRecursively();
             WriteFile(file(QStringLiteral("sub")), "a file, not a directory");
         },
         // No launcher.ini: the default language zh_CN is in force, so the reader's
         // reason shows that the embedded translation was loaded.
         QStringLiteral("Update failed for file: sub/third.txt, reason: 无法创建目录：%1")
             .arg(file(QStringLiteral("sub")))},
        {"file is a directory",
         [&]
         {
             QFile::remove(file(m_vecFiles[2]));
             ASSERT_TRUE(QDir().mkpath(file(m_vecFiles[2]) + QStringLiteral("/inside")));
         },
         QStringLiteral("Backup failed for file: sub/third.txt")},
    };
    for (const Case& testCase : vecCases)
    {
        SCOPED_TRACE(testCase.pszName);
        QDir(app() + QStringLiteral("/.bak")).removeRecursively();
        QDir(app() + QStringLiteral("/_logs")).removeRecursively();
        QDir(file(QStringLiteral("sub"))).removeRecursively();
        QFile::remove(file(QStringLiteral("sub")));
        for (int i = 0; i < 5; ++i)
            WriteFile(file(m_vecFiles[i]), "old " + m_vecFiles[i].toUtf8());
        testCase.arrange();
        buildPackage();

        const UpdaterRun result = run(standardArgs());
        ASSERT_TRUE(result.bFinished);
        EXPECT_EQ(result.nExitCode, 0);
        EXPECT_EQ(ReadFile(file(m_vecFiles[0])), "old first.txt");
        EXPECT_EQ(ReadFile(file(m_vecFiles[1])), "old lib/second.so");
        EXPECT_EQ(ReadFile(file(m_vecFiles[3])), "old fourth.txt");
        EXPECT_EQ(ReadFile(file(m_vecFiles[4])), "old res/数据/fifth.dat");
        // Everything is back: the run is over, and so are its backups.
        EXPECT_FALSE(QFileInfo::exists(app() + QStringLiteral("/.bak")));
        EXPECT_FALSE(QFileInfo::exists(app() + QStringLiteral("/.bak.run")));
        EXPECT_FALSE(QFileInfo::exists(package()));
        EXPECT_FALSE(QFileInfo::exists(marker())) << "the launcher must not start after a failure";
        const QString strLog = updaterLog();
        EXPECT_TRUE(strLog.contains(testCase.strLogLine)) << strLog.toStdString();
        EXPECT_TRUE(strLog.contains(QStringLiteral("Update finished with failure")));
        EXPECT_FALSE(strLog.contains(QStringLiteral("Rollback failed")));
    }
}

TEST_F(UpdaterTest, AFailingPackageNeverRestoresCopiesOfAnotherPackagesRun)
{
    // The first package ends rolled back, or killed after replacing first.txt.
    // The second holds neither first.txt nor second.so and fails on its
    // second file: its rollback must undo its own work and nothing else.
    for (const char* pszFirstRun : {"rolled back", "killed"})
    {
        SCOPED_TRACE(pszFirstRun);
        const bool bKilled = std::strcmp(pszFirstRun, "killed") == 0;
        QDir(app() + QStringLiteral("/.bak")).removeRecursively();
        QFile::remove(app() + QStringLiteral("/.bak.run"));
        QDir(app() + QStringLiteral("/_logs")).removeRecursively();
        QFile::remove(file(QStringLiteral("sub")));
        for (int i = 0; i < 5; ++i)
            WriteFile(file(m_vecFiles[i]), "old " + m_vecFiles[i].toUtf8());
        QDir(file(QStringLiteral("sub"))).removeRecursively();
        WriteFile(file(QStringLiteral("sub")), "a file, not a directory");

        buildPackage();
        if (bKilled)
            qputenv("ORVEL_CRASH_AT", "updater.replaced:1");
        const UpdaterRun first = run(standardArgs());
        qunsetenv("ORVEL_CRASH_AT");
        ASSERT_TRUE(first.bFinished);
        ASSERT_EQ(ReadFile(file(m_vecFiles[0])), bKilled ? newContent(0) : QByteArray("old first.txt"));
        // Edited after the first run (by the user, or another update).
        WriteFile(file(m_vecFiles[1]), "edited lib/second.so");

        OrvelPackageBuilder other;
        other.addMemoryFile("other fourth", m_vecFiles[3]);
        other.addMemoryFile("other third", m_vecFiles[2]);
        ASSERT_TRUE(other.build(package(), 10)) << other.lastError().toStdString();
        QDir(app() + QStringLiteral("/_logs")).removeRecursively();
        const UpdaterRun second = run(standardArgs());
        ASSERT_TRUE(second.bFinished);
        EXPECT_EQ(ReadFile(file(m_vecFiles[0])), bKilled ? newContent(0) : QByteArray("old first.txt"))
            << "not in the second package: left as the first run left it";
        EXPECT_EQ(ReadFile(file(m_vecFiles[1])), "edited lib/second.so");
        EXPECT_EQ(ReadFile(file(m_vecFiles[3])), "old fourth.txt") << "its own work is undone";
        EXPECT_FALSE(QFileInfo::exists(app() + QStringLiteral("/.bak")));
        EXPECT_FALSE(QFileInfo::exists(app() + QStringLiteral("/.bak.run")));
        const QString strLog = updaterLog();
        EXPECT_TRUE(strLog.contains(QStringLiteral("Update failed for file: sub/third.txt")))
            << strLog.toStdString();
        EXPECT_EQ(strLog.contains(QStringLiteral("Removed backups left by another update")), bKilled)
            << strLog.toStdString();
    }
}

TEST_F(UpdaterTest, WaitingForALiveProcessTimesOut)
{
    buildPackage();
    const UpdaterRun result =
        run(standardArgs() + QStringList{QStringLiteral("--pid"),
                                         QString::number(QCoreApplication::applicationPid()),
                                         QStringLiteral("--timeout"), QStringLiteral("300")});
    ASSERT_TRUE(result.bFinished);
    EXPECT_EQ(result.nExitCode, 0);
    EXPECT_TRUE(
        result.strStdErr.contains(QStringLiteral("Error: Timeout waiting for main process to exit\n")))
        << result.strStdErr.toStdString();
    expectOldFiles();
    EXPECT_FALSE(QFileInfo::exists(package()));
    EXPECT_FALSE(QFileInfo::exists(app() + QStringLiteral("/.bak")));
    EXPECT_TRUE(updaterLog().contains(QStringLiteral(
        "Timed out waiting for launcher to exit. Please close the launcher manually and retry.")));
}

TEST_F(UpdaterTest, AProcessThatDoesNotExistIsNotWaitedFor)
{
    buildPackage();
    // Far above any pid the kernel hands out; the timeout would outlast the test.
    const UpdaterRun result =
        run(standardArgs() + QStringList{QStringLiteral("--pid"), QStringLiteral("4294967290"),
                                         QStringLiteral("--timeout"), QStringLiteral("-1")});
    ASSERT_TRUE(result.bFinished) << "the updater waited for a process that does not exist";
    EXPECT_EQ(ReadFile(file(m_vecFiles[0])), newContent(0));
    EXPECT_FALSE(result.strStdErr.contains(QStringLiteral("Timeout")));
}

TEST_F(UpdaterTest, MissingOptionsExitWithCodeOneAndHelpNeedsNoDisplay)
{
    buildPackage();
    const QStringList vecCases[] = {
        {QStringLiteral("--package"), package()}, {QStringLiteral("--target"), app()}, {}};
    for (const QStringList& vecArgs : vecCases)
    {
        SCOPED_TRACE(vecArgs.join(QLatin1Char(' ')).toStdString());
        const UpdaterRun result = run(vecArgs, false);
        ASSERT_TRUE(result.bFinished);
        EXPECT_EQ(result.nExitCode, 1);
        EXPECT_EQ(result.strStdErr.trimmed().split(QLatin1Char('\n')).last(),
                  QStringLiteral("Error: --package and --target arguments are required"));
    }
    EXPECT_TRUE(QFileInfo::exists(package())) << "without its options the updater touches nothing";
    expectOldFiles();

    const UpdaterRun help = run({QStringLiteral("--help")}, false);
    ASSERT_TRUE(help.bFinished);
    EXPECT_EQ(help.nExitCode, 0);
    EXPECT_TRUE(help.strStdOut.contains(QStringLiteral("--package <path>"))) << help.strStdOut.toStdString();
}

TEST_F(UpdaterTest, AnInvalidPackageChangesNothing)
{
    buildPackage();
    const QByteArray good = ReadFile(package());
    QByteArray escaping = good;
    // Same length, so only the path check can refuse it.
    const int nAt = escaping.indexOf("first.txt");
    ASSERT_GT(nAt, 0);
    escaping.replace(nAt, 9, "../x.txt!");
    const std::pair<const char*, QByteArray> vecVariants[] = {{"bad signature", "XXXX" + good.mid(4)},
                                                              {"escaping path", escaping},
                                                              {"cut short", good.left(good.size() - 1)}};
    for (const auto& variant : vecVariants)
    {
        SCOPED_TRACE(variant.first);
        QDir(app() + QStringLiteral("/_logs")).removeRecursively();
        WriteFile(package(), variant.second);
        const UpdaterRun result = run(standardArgs());
        ASSERT_TRUE(result.bFinished);
        EXPECT_EQ(result.nExitCode, 0);
        expectOldFiles();
        EXPECT_FALSE(QFileInfo::exists(m_dir.path() + QStringLiteral("/x.txt!")));
        EXPECT_FALSE(QFileInfo::exists(app() + QStringLiteral("/.bak")));
        EXPECT_FALSE(QFileInfo::exists(package()));
        EXPECT_FALSE(QFileInfo::exists(marker()));
        EXPECT_TRUE(updaterLog().contains(QStringLiteral("Failed to open update package: ")))
            << updaterLog().toStdString();
    }
}

TEST_F(UpdaterTest, AnEntryEditedWithItsFnvRewrittenIsRefusedBeforeAnyFileIsReplaced)
{
    buildPackage();
    const QByteArray good = ReadFile(package());
    // The last entry: a check per file would have replaced the four before it.
    const QByteArray path = m_vecFiles[4].toUtf8();
    QByteArray edited = good;
    const int nData = edited.lastIndexOf(newContent(4));
    ASSERT_GT(nData, 0);
    edited[nData] = 'N';
    const int nEntry = edited.indexOf(path);
    ASSERT_GT(nEntry, 0);
    ASSERT_LT(nEntry, nData);
    quint64 uHash = OrvelFnv1a::hash(edited.mid(nData, newContent(4).size()));
    for (int i = 0; i < 8; ++i, uHash >>= 8)
        edited[nEntry + path.size() + 8 + i] = static_cast<char>(uHash & 0xff);

    WriteFile(package(), edited);
    const UpdaterRun refused = run(standardArgs());
    ASSERT_TRUE(refused.bFinished);
    EXPECT_EQ(refused.nExitCode, 0);
    expectOldFiles();
    EXPECT_FALSE(QFileInfo::exists(app() + QStringLiteral("/.bak")));
    EXPECT_FALSE(QFileInfo::exists(app() + QStringLiteral("/.bak.run")));
    EXPECT_FALSE(QFileInfo::exists(package()));
    EXPECT_FALSE(QFileInfo::exists(marker()));
    // The default language zh_CN is in force, as for every reason the reader gives.
    const QString strLog = updaterLog();
    EXPECT_TRUE(strLog.contains(QStringLiteral("Update package refused, nothing was changed: "
                                               "更新包内容与其 SHA-256 不符：res/数据/fifth.dat")))
        << strLog.toStdString();
    EXPECT_FALSE(strLog.contains(QStringLiteral("Replacing file:"))) << strLog.toStdString();

    // The package as the launcher wrote it applies, and the launcher starts again.
    QDir(app() + QStringLiteral("/_logs")).removeRecursively();
    WriteFile(package(), good);
    const UpdaterRun applied = run(standardArgs());
    ASSERT_TRUE(applied.bFinished);
    ASSERT_TRUE(OrvelTest::WaitForFile(marker(), kRunDeadlineMs)) << updaterLog().toStdString();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ReadFile(file(m_vecFiles[i])), newContent(i)) << i;
    EXPECT_TRUE(updaterLog().contains(QStringLiteral("Update completed successfully")));
    EXPECT_FALSE(updaterLog().contains(QStringLiteral("carries no SHA-256")));
}

namespace
{
QFile::Permissions ModeOf(const QString& strPath)
{
    return OrvelFileMode(QFileInfo(strPath).permissions());
}

const QFile::Permissions kMode0640 = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
const QFile::Permissions kMode0755 = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                     QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
} // namespace

TEST_F(UpdaterTest, ReplacedFilesKeepTheirModeAndTheReplacedLauncherStarts)
{
    const QString strLauncher = file(QLatin1String(OrvelPlatform::kLauncherFileName));
    ASSERT_TRUE(QFile::setPermissions(strLauncher, kMode0755));
    ASSERT_TRUE(QFile::setPermissions(file(m_vecFiles[0]), kMode0640));
    OrvelPackageBuilder builder;
    builder.addMemoryFile(
        "#!/bin/sh\necho new > \"$(dirname \"$0\")/launcher_ran.tmp\"\n"
        "mv \"$(dirname \"$0\")/launcher_ran.tmp\" \"$(dirname \"$0\")/launcher_ran.txt\"\n",
        QLatin1String(OrvelPlatform::kLauncherFileName));
    builder.addMemoryFile(newContent(0), m_vecFiles[0]);
    builder.addMemoryFile("a library new in this version", QStringLiteral("lib/plugin.so.2"));
    builder.addMemoryFile("a text new in this version", QStringLiteral("lib/readme.txt"));
    ASSERT_TRUE(builder.build(package(), 9)) << builder.lastError().toStdString();

    const UpdaterRun result = run(standardArgs());
    ASSERT_TRUE(result.bFinished);
    ASSERT_TRUE(OrvelTest::WaitForFile(marker(), kRunDeadlineMs)) << "the replaced launcher did not start";
    EXPECT_EQ(ReadFile(marker()).trimmed(), "new");
    EXPECT_EQ(ModeOf(strLauncher), kMode0755);
    EXPECT_EQ(ModeOf(file(m_vecFiles[0])), kMode0640);
    EXPECT_EQ(ReadFile(file(m_vecFiles[0])), newContent(0));
    EXPECT_TRUE(QFileInfo(file(QStringLiteral("lib/plugin.so.2"))).isExecutable());
    EXPECT_FALSE(QFileInfo(file(QStringLiteral("lib/readme.txt"))).permissions() & QFile::ExeOwner);
}

TEST(UpdaterBackupTest, RollbackTriesEveryFileDotFilesTooKeepsModesAndNamesWhatStaysNew)
{
    QTemporaryDir dir;
    const QString strTarget = dir.path() + QStringLiteral("/target");
    const QString strBackup = strTarget + QStringLiteral("/.bak");
    // Dot-files too, in plain and in dot-directories, below the top and at it.
    const QStringList vecNames = {
        QStringLiteral("a.txt"),       QStringLiteral("b/c.txt"),        QStringLiteral("d.bin"),
        QStringLiteral("e.txt"),       QStringLiteral("f/g.txt"),        QStringLiteral("h.txt"),
        QStringLiteral(".rc"),         QStringLiteral("conf/.settings"), QStringLiteral(".cache/deep/x.txt"),
        QStringLiteral("bin/.lib/.so")};
    for (const QString& strName : vecNames)
    {
        WriteFile(strTarget + QLatin1Char('/') + strName, "old " + strName.toUtf8());
        ASSERT_TRUE(OrvelUpdaterBackup::backupFile(strTarget, strName, strBackup));
        WriteFile(strTarget + QLatin1Char('/') + strName, "new " + strName.toUtf8());
    }
    // An executable's backup comes back executable.
    ASSERT_TRUE(QFile::setPermissions(strBackup + QStringLiteral("/d.bin"), kMode0755));
    // Root ignores permissions: a non-empty directory in a file's place cannot be
    // replaced by anyone.
    const QStringList vecBlocked = {QStringLiteral("b/c.txt"), QStringLiteral("e.txt")};
    for (const QString& strName : vecBlocked)
    {
        ASSERT_TRUE(QFile::remove(strTarget + QLatin1Char('/') + strName));
        WriteFile(strTarget + QLatin1Char('/') + strName + QStringLiteral("/inside"), "x");
    }

    QStringList vecFailed;
    EXPECT_FALSE(OrvelUpdaterBackup::restoreBackup(strBackup, strTarget, &vecFailed));
    vecFailed.sort();
    EXPECT_EQ(vecFailed, vecBlocked);
    for (const QString& strName : vecNames)
    {
        if (vecBlocked.contains(strName))
            continue;
        EXPECT_EQ(ReadFile(strTarget + QLatin1Char('/') + strName), "old " + strName.toUtf8())
            << strName.toStdString();
    }
    EXPECT_EQ(ModeOf(strTarget + QStringLiteral("/d.bin")), kMode0755);
}

TEST_F(UpdaterTest, AnImmutableFileAmongSeveralStillRollsBackAllTheOthers)
{
    // The last file cannot be replaced; the four before it already were.
    const QString strStuck = file(m_vecFiles[4]);
    QProcess chattr;
    chattr.start(QStringLiteral("chattr"), {QStringLiteral("+i"), strStuck});
    if (!chattr.waitForFinished() || chattr.exitStatus() != QProcess::NormalExit || chattr.exitCode() != 0)
        GTEST_SKIP() << "chattr +i is not available here";
    struct Unlock
    {
        QString strPath;
        ~Unlock() { QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), strPath}); }
    } unlock{strStuck};

    buildPackage();
    const UpdaterRun result = run(standardArgs());
    ASSERT_TRUE(result.bFinished);
    expectOldFiles();
    const QString strLog = updaterLog();
    EXPECT_TRUE(strLog.contains(QStringLiteral("Update failed for file: ") + m_vecFiles[4]))
        << strLog.toStdString();
    EXPECT_FALSE(strLog.contains(QStringLiteral("Rollback failed"))) << strLog.toStdString();
    EXPECT_FALSE(strLog.contains(QStringLiteral("Rollback could not restore"))) << strLog.toStdString();
    EXPECT_FALSE(QFileInfo::exists(marker()));
}

TEST_F(UpdaterTest, ARerunAfterAKillKeepsTheOriginalBackupsAndRemovesLeftovers)
{
    buildPackage();
    // Killed after its temporary copy of the second file was written: the first
    // file is new, the second still old, and a temporary file stays behind.
    qputenv("ORVEL_CRASH_AT", "atomic.temp-written:4");
    const UpdaterRun killed = run(standardArgs());
    qunsetenv("ORVEL_CRASH_AT");
    ASSERT_TRUE(killed.bFinished);
    ASSERT_EQ(killed.nExitCode, 137);
    ASSERT_EQ(ReadFile(file(m_vecFiles[0])), newContent(0));
    expectOldFiles(1);
    ASSERT_EQ(OrvelTest::TempFilesBelow(app()).size(), 1);

    // Files that are not its leftovers stay: an unrelated name, and the
    // temporary file of a process that is still running (this test).
    const QString strOther = file(QStringLiteral("notes.orveltmp"));
    const QString strLive =
        file(QStringLiteral(".x.%1-0badcafe.orveltmp").arg(QCoreApplication::applicationPid()));
    WriteFile(strOther, "keep");
    WriteFile(strLive, "keep");

    // The rerun fails on the third file and must restore the true old content.
    QDir(file(QStringLiteral("sub"))).removeRecursively();
    WriteFile(file(QStringLiteral("sub")), "a file, not a directory");
    QDir(app() + QStringLiteral("/_logs")).removeRecursively();
    buildPackage();
    const UpdaterRun failed = run(standardArgs());
    ASSERT_TRUE(failed.bFinished);
    EXPECT_EQ(ReadFile(file(m_vecFiles[0])), "old first.txt") << "the original backup was kept";
    EXPECT_EQ(ReadFile(file(m_vecFiles[1])), "old lib/second.so");
    EXPECT_EQ(ReadFile(file(m_vecFiles[3])), "old fourth.txt");
    const QString strLog = updaterLog();
    EXPECT_TRUE(strLog.contains(QStringLiteral("Removed leftover temporary file: "))) << strLog.toStdString();
    EXPECT_TRUE(strLog.contains(QStringLiteral("Resuming an unfinished update of this package")))
        << strLog.toStdString();
    EXPECT_FALSE(strLog.contains(QStringLiteral("Rollback failed")));
    EXPECT_EQ(OrvelTest::TempFilesBelow(app()),
              (QStringList{QFileInfo(strLive).fileName(), QStringLiteral("notes.orveltmp")}));

    // Once the obstacle is gone the same package goes through.
    QFile::remove(file(QStringLiteral("sub")));
    buildPackage();
    const UpdaterRun done = run(standardArgs());
    ASSERT_TRUE(done.bFinished);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ReadFile(file(m_vecFiles[i])), newContent(i)) << i;
    EXPECT_FALSE(QFileInfo::exists(app() + QStringLiteral("/.bak")));
    EXPECT_FALSE(QFileInfo::exists(app() + QStringLiteral("/.bak.run")));
    // The launcher it starts writes here: the directory must outlive it.
    EXPECT_TRUE(OrvelTest::WaitForFile(marker(), kRunDeadlineMs));
}

TEST_F(UpdaterTest, AnEntryBehindADirectoryLinkThatLeavesTheTargetIsRefused)
{
    const QString strOutside = m_dir.path() + QStringLiteral("/outside");
    ASSERT_TRUE(QDir().mkpath(strOutside));
    QDir(file(QStringLiteral("lib"))).removeRecursively();
    ASSERT_TRUE(QFile::link(QStringLiteral("../outside"), file(QStringLiteral("lib"))));
    buildPackage();

    const UpdaterRun result = run(standardArgs());
    ASSERT_TRUE(result.bFinished);
    EXPECT_TRUE(QDir(strOutside).isEmpty()) << "nothing is written through the link";
    EXPECT_EQ(ReadFile(file(m_vecFiles[0])), "old first.txt") << "a refused package changes nothing";
    EXPECT_FALSE(QFileInfo::exists(package()));
    const QString strLog = updaterLog();
    EXPECT_TRUE(strLog.contains(QStringLiteral("Failed to open update package: ")) &&
                strLog.contains(QStringLiteral("lib/second.so")))
        << strLog.toStdString();
}
