// orvelsync as a user runs it: the real program against stores built with the
// real packer and served by a real nginx, one installation directory per test.
#include "OrvelTestNginx.h"
#include "OrvelTestStore.h"
#include "OrvelTestSupport.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>

namespace
{
using Tree = QMap<QString, QByteArray>;
const int kDeadlineMs = 120000;

struct SyncRun
{
    int nExitCode = -1;
    QString strOut;
    QString strErr;
};

class OrvelSyncTest : public ::testing::Test
{
protected:
    QString store() const { return m_dir.path() + QStringLiteral("/store"); }
    QString appDir() const { return m_dir.path() + QStringLiteral("/app"); }
    QString workPath() const { return m_dir.path() + QStringLiteral("/work"); }

    void SetUp() override
    {
        Tree v1;
        v1[QStringLiteral("data/a.bin")] = OrvelTest::Bytes(30000, 1);
        v1[QStringLiteral("data/b.txt")] = "b one";
        v1[QStringLiteral("client/bin64/tool.dll")] = OrvelTest::Bytes(10000, 3);
        for (int i = 0; i < 16; ++i)
            v1[QStringLiteral("bulk/f%1.bin").arg(i)] = OrvelTest::Bytes(40000, 100 + i);
        Tree v2 = v1;
        v2[QStringLiteral("data/a.bin")] = OrvelTest::Bytes(30000, 11);
        v2[QStringLiteral("data/new.txt")] = "new in two";
        m_vecTrees = {v1, v2};
        for (int i = 0; i < 2; ++i)
            publish(i);
        m_pServer = std::make_unique<OrvelTest::Nginx>(store());
        ASSERT_TRUE(m_pServer->Running());
    }

    void publish(int nIndex)
    {
        const QString strTree = m_dir.path() + QStringLiteral("/tree%1").arg(nIndex + 1);
        OrvelTest::WriteTree(strTree, m_vecTrees[nIndex]);
        ASSERT_TRUE(OrvelTest::PackVersion(strTree, store(), static_cast<quint32>(nIndex + 1)));
    }

    // The common options name the installation; the first run also names the
    // working path and the server, as a scripted install would.
    QStringList common() const { return {QStringLiteral("--app-dir"), appDir()}; }
    QStringList first() const
    {
        return common() + QStringList{QStringLiteral("--work-path"), workPath(), QStringLiteral("--server"),
                                      m_pServer->BaseUrl()};
    }

    SyncRun run(const QStringList& vecArgs)
    {
        QProcess process;
        process.start(OrvelTest::BinDir() + QStringLiteral("/orvelsync"), vecArgs);
        SyncRun result;
        if (!process.waitForStarted() || !process.waitForFinished(kDeadlineMs))
        {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "orvelsync did not finish: " << vecArgs.join(QLatin1Char(' ')).toStdString();
            return result;
        }
        result.nExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.strOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.strErr = QString::fromLocal8Bit(process.readAllStandardError());
        return result;
    }

    QString log() const
    {
        QString strAll;
        const QDir logs(appDir() + QStringLiteral("/_logs"));
        for (const QString& strName :
             logs.entryList({QStringLiteral("orvelsync_*.log")}, QDir::Files, QDir::Name))
            strAll += QString::fromUtf8(OrvelTest::ReadFile(logs.filePath(strName)));
        return strAll;
    }

    quint32 recordedVersion(QString* pstrTag = nullptr) const
    {
        QSettings record(appDir() + QStringLiteral("/_cache/veride.ini"), QSettings::IniFormat);
        if (pstrTag != nullptr)
            *pstrTag = record.value(QStringLiteral("General/currSyncGuid")).toString();
        return record.value(QStringLiteral("General/currSyncVersion")).toUInt();
    }

    QString LauncherWorkPath() const
    {
        return QSettings(appDir() + QStringLiteral("/launcher.ini"), QSettings::IniFormat)
            .value(QStringLiteral("General/WorkPath"))
            .toString();
    }

    QTemporaryDir m_dir;
    std::vector<Tree> m_vecTrees;
    std::unique_ptr<OrvelTest::Nginx> m_pServer;
};
} // namespace

TEST_F(OrvelSyncTest, InstallUpdateSwitchAndRepairThroughTheCommandLine)
{
    // v1 first, with a limit that makes the run last long enough to show progress.
    QDir(store()).removeRecursively();
    publish(0);
    SyncRun result = run(first() + QStringList{QStringLiteral("status")});
    ASSERT_EQ(result.nExitCode, 0) << result.strErr.toStdString();
    EXPECT_TRUE(result.strOut.contains(QStringLiteral("Recorded version: none")))
        << result.strOut.toStdString();
    EXPECT_TRUE(result.strOut.contains(QStringLiteral("Mode: normal")));
    EXPECT_TRUE(result.strOut.contains(QStringLiteral("Latest version: 1")));
    EXPECT_EQ(LauncherWorkPath(), workPath());

    result = run(common() + QStringList{QStringLiteral("get-latest"), QStringLiteral("--limit"),
                                        QStringLiteral("400000")});
    ASSERT_EQ(result.nExitCode, 0) << result.strErr.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(workPath()), m_vecTrees[0]);
    QString strTag;
    EXPECT_EQ(recordedVersion(&strTag), 1u);
    EXPECT_FALSE(strTag.isEmpty());
    EXPECT_TRUE(result.strErr.contains(QStringLiteral("Speed: ")))
        << "progress lines: " << result.strErr.toStdString();
    EXPECT_TRUE(result.strOut.contains(QStringLiteral("Update complete"))) << result.strOut.toStdString();
    EXPECT_TRUE(log().contains(QStringLiteral("Using full download (no valid sync baseline)")));
    EXPECT_TRUE(log().contains(QStringLiteral("Resource download completed successfully")));
    QSettings ini(appDir() + QStringLiteral("/launcher.ini"), QSettings::IniFormat);
    EXPECT_FALSE(ini.contains(QStringLiteral("General/DownloadLimitBytesPerSec")))
        << "--limit is for one run";

    // A script tells "current" (0) from "a newer version is published" (4).
    result = run(common() + QStringList{QStringLiteral("check")});
    EXPECT_EQ(result.nExitCode, 0) << result.strErr.toStdString();
    // v2 is published: check sees it, get-latest takes only what changed.
    publish(1);
    result = run(common() + QStringList{QStringLiteral("check")});
    ASSERT_EQ(result.nExitCode, 4) << result.strErr.toStdString();
    EXPECT_TRUE(result.strOut.contains(QStringLiteral("Resource update available")))
        << result.strOut.toStdString();
    result = run(common() + QStringList{QStringLiteral("get-latest"), QStringLiteral("--quiet")});
    ASSERT_EQ(result.nExitCode, 0) << result.strErr.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(workPath()), m_vecTrees[1]);
    EXPECT_EQ(recordedVersion(), 2u);
    EXPECT_TRUE(log().contains(QStringLiteral("Using incremental download: version 1 -> 2 (1 versions)")));
    EXPECT_FALSE(result.strErr.contains(QStringLiteral("Speed: ")))
        << "--quiet: " << result.strErr.toStdString();

    // The browse list, a switch down and back (their trees: worker_switch_test).
    result = run(common() + QStringList{QStringLiteral("versions")});
    ASSERT_EQ(result.nExitCode, 0) << result.strErr.toStdString();
    const QStringList vecLines = result.strOut.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(vecLines.size(), 2) << result.strOut.toStdString();
    EXPECT_TRUE(vecLines[0].startsWith(QStringLiteral("*      2"))) << vecLines[0].toStdString();
    EXPECT_TRUE(vecLines[1].startsWith(QStringLiteral("       1"))) << vecLines[1].toStdString();
    result = run(common() + QStringList{QStringLiteral("switch"), QStringLiteral("1")});
    ASSERT_EQ(result.nExitCode, 0) << result.strErr.toStdString();
    EXPECT_EQ(recordedVersion(), 1u);
    EXPECT_EQ(OrvelTest::ReadTree(workPath()), m_vecTrees[0]) << "1 lacks data/new.txt";
    EXPECT_TRUE(result.strOut.contains(QStringLiteral("Removed 1 file(s) the version no longer holds")))
        << result.strOut.toStdString();
    ASSERT_EQ(run(common() + QStringList{QStringLiteral("switch"), QStringLiteral("2")}).nExitCode, 0);
    EXPECT_EQ(recordedVersion(), 2u);

    // A damaged and a missing file come back; a script is not asked, so a
    // repair (whose question defaults to No) needs --yes.
    OrvelTest::WriteFile(workPath() + QStringLiteral("/data/a.bin"), "damaged");
    QFile::remove(workPath() + QStringLiteral("/bulk/f3.bin"));
    result = run(common() + QStringList{QStringLiteral("repair")});
    EXPECT_EQ(result.nExitCode, 1) << "declined by its default answer";
    EXPECT_TRUE(result.strOut.contains(QStringLiteral("Repair cancelled"))) << result.strOut.toStdString();
    result = run(common() + QStringList{QStringLiteral("repair"), QStringLiteral("--yes")});
    ASSERT_EQ(result.nExitCode, 0) << result.strErr.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(workPath()), m_vecTrees[1]);
    EXPECT_TRUE(OrvelTest::TempFilesBelow(workPath()).isEmpty());
    const QString strSummary =
        QStringLiteral("2 files restored, %1 already correct").arg(m_vecTrees[1].size() - 2);
    EXPECT_TRUE(result.strOut.contains(strSummary)) << result.strOut.toStdString();
    EXPECT_TRUE(log().contains(strSummary));
}

TEST_F(OrvelSyncTest, EachRunSaysWhatItFetchedAsTheServerCountsIt)
{
    const SyncRun result = run(first() + QStringList{QStringLiteral("get-latest")});
    ASSERT_EQ(result.nExitCode, 0) << result.strErr.toStdString();
    // Every request the run made, as the server logged it (body bytes in the fourth field).
    ASSERT_TRUE(m_pServer->Settle());
    const QStringList vecLog = m_pServer->AccessLog();
    qint64 nBytes = 0;
    for (const QString& strLine : vecLog)
        nBytes += strLine.split(QLatin1Char(' ')).value(3).toLongLong();
    ASSERT_GT(vecLog.size(), 2);
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("Fetched ([0-9.]+) (B|KB|MB) in ([0-9]+) requests"))
            .match(result.strOut);
    ASSERT_TRUE(match.hasMatch()) << result.strOut.toStdString();
    EXPECT_EQ(match.captured(3).toInt(), vecLog.size());
    const double dUnit = match.captured(2) == QLatin1String("MB")   ? 1048576.0
                         : match.captured(2) == QLatin1String("KB") ? 1024.0
                                                                    : 1.0;
    // Shown rounded, to whole units from 100 of them on.
    EXPECT_NEAR(match.captured(1).toDouble() * dUnit, double(nBytes), 0.5 * dUnit) << nBytes;
    // The run log has a line for each task (the check and the download).
    EXPECT_GE(log().count(QStringLiteral("Fetched ")), 2) << log().toStdString();
}

TEST_F(OrvelSyncTest, ReleasesUnpackedWithOneFixedTimeInstallAsPublished)
{
    // Two releases unpacked in place from archives that date every file the
    // same: a changed file keeps its size and its time.
    QDir(store()).removeRecursively();
    const QString strTree = m_dir.path() + QStringLiteral("/release");
    const QDateTime archiveTime = QDateTime::fromSecsSinceEpoch(499161600, Qt::UTC);
    const auto fnUnpack = [&](const Tree& tree)
    {
        QDir(strTree).removeRecursively();
        OrvelTest::WriteTree(strTree, tree);
        for (auto it = tree.begin(); it != tree.end(); ++it)
        {
            QFile file(strTree + QLatin1Char('/') + it.key());
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.setFileTime(archiveTime, QFileDevice::FileModificationTime));
        }
    };
    Tree v2 = m_vecTrees[0];
    QByteArray& tool = v2[QStringLiteral("client/bin64/tool.dll")];
    tool[5000] = static_cast<char>(tool[5000] ^ 0x5a);
    v2[QStringLiteral("data/b.txt")] = "b two";
    fnUnpack(m_vecTrees[0]);
    ASSERT_TRUE(OrvelTest::PackVersion(strTree, store(), 1));
    ASSERT_EQ(run(first() + QStringList{QStringLiteral("get-latest"), QStringLiteral("--quiet")}).nExitCode,
              0);
    fnUnpack(v2);
    ASSERT_TRUE(OrvelTest::PackVersion(strTree, store(), 2));
    const SyncRun result =
        run(common() + QStringList{QStringLiteral("get-latest"), QStringLiteral("--quiet")});
    ASSERT_EQ(result.nExitCode, 0) << result.strErr.toStdString();
    EXPECT_EQ(recordedVersion(), 2u);
    EXPECT_EQ(OrvelTest::ReadTree(workPath()), v2);
}

TEST_F(OrvelSyncTest, RepairOnlyModeRefusesGetLatestUntilARepairSucceeds)
{
    ASSERT_EQ(run(first() + QStringList{QStringLiteral("get-latest")}).nExitCode, 0);
    // A record that no longer matches the store: the next start is repair-only.
    OrvelTest::WriteFile(appDir() + QStringLiteral("/_cache/veride.ini"),
                         "[%General]\ncurrSyncVersion=2\ncurrSyncGuid=not-the-servers-tag\n");
    SyncRun result = run(common() + QStringList{QStringLiteral("get-latest")});
    EXPECT_EQ(result.nExitCode, 1);
    EXPECT_TRUE(result.strErr.contains(QStringLiteral("repair"))) << result.strErr.toStdString();
    EXPECT_TRUE(log().contains(QStringLiteral("Download skipped: repair-only mode is active")));

    result = run(common() + QStringList{QStringLiteral("repair"), QStringLiteral("--yes")});
    ASSERT_EQ(result.nExitCode, 0) << result.strErr.toStdString();
    QString strTag;
    EXPECT_EQ(recordedVersion(&strTag), 2u);
    EXPECT_NE(strTag, QStringLiteral("not-the-servers-tag"));
    result = run(common() + QStringList{QStringLiteral("status")});
    EXPECT_TRUE(result.strOut.contains(QStringLiteral("Mode: normal"))) << result.strOut.toStdString();
}

TEST_F(OrvelSyncTest, StatusShowsAnInterruptedTaskAndGetLatestOrRepairFinishesIt)
{
    ASSERT_EQ(run(first() + QStringList{QStringLiteral("get-latest")}).nExitCode, 0);
    for (const char* pszFinish : {"get-latest", "repair"})
    {
        SCOPED_TRACE(pszFinish);
        // A switch down killed after its first file.
        qputenv("ORVEL_CRASH_AT", "local.renamed:1");
        const SyncRun killed = run(common() + QStringList{QStringLiteral("switch"), QStringLiteral("1")});
        qunsetenv("ORVEL_CRASH_AT");
        ASSERT_NE(killed.nExitCode, 0);
        ASSERT_NE(OrvelTest::ReadTree(workPath()), m_vecTrees[1]) << "the kill left a mixed tree";

        SyncRun result = run(common() + QStringList{QStringLiteral("status")});
        EXPECT_TRUE(result.strOut.contains(QStringLiteral(
            "Interrupted: a switch to version 1 did not finish; the working path is not whole")))
            << result.strOut.toStdString();

        result = run(common() + QStringList{QLatin1String(pszFinish), QStringLiteral("--yes")});
        ASSERT_EQ(result.nExitCode, 0) << result.strErr.toStdString();
        EXPECT_EQ(OrvelTest::ReadTree(workPath()), m_vecTrees[1]);
        EXPECT_EQ(recordedVersion(), 2u);
        result = run(common() + QStringList{QStringLiteral("status")});
        EXPECT_FALSE(result.strOut.contains(QStringLiteral("Interrupted"))) << result.strOut.toStdString();
    }
}

TEST_F(OrvelSyncTest, AServerThatCannotBeReachedIsNamedWithItsCause)
{
    ASSERT_EQ(run(first() + QStringList{QStringLiteral("get-latest"), QStringLiteral("--quiet")}).nExitCode,
              0);
    const QString strUrl = m_pServer->BaseUrl();
    m_pServer->Kill();
    // Reading still falls back to the cache; no check calls that the newest.
    const QString strOffline =
        QStringLiteral("Could not reach the update server: %1: connection refused; last known version 2")
            .arg(strUrl);
    for (const QString& strCommand : {QStringLiteral("check"), QStringLiteral("get-latest")})
    {
        SCOPED_TRACE(strCommand.toStdString());
        const SyncRun result = run(common() + QStringList{strCommand});
        EXPECT_EQ(result.nExitCode, 1) << result.strErr.toStdString();
        EXPECT_TRUE(result.strOut.contains(strOffline)) << result.strOut.toStdString();
        EXPECT_FALSE(result.strOut.contains(QStringLiteral("newest"))) << result.strOut.toStdString();
    }
    EXPECT_TRUE(log().contains(strOffline));

    // A new installation against a dead server, then against one without a
    // store at the address: the known first line, then the URL and the cause.
    const QString strFirstLine = QStringLiteral(
        "Failed to initialize Corvane: Failed to create StreamReader, please check configuration file\n");
    const auto fnFreshRun = [&](const QString& strServer, const QString& strName)
    {
        return run({QStringLiteral("--app-dir"), m_dir.path() + QLatin1Char('/') + strName,
                    QStringLiteral("--work-path"), workPath(), QStringLiteral("--server"), strServer,
                    QStringLiteral("get-latest")});
    };
    SyncRun result = fnFreshRun(strUrl, QStringLiteral("dead"));
    EXPECT_EQ(result.nExitCode, 1);
    EXPECT_TRUE(result.strErr.contains(strFirstLine + strUrl + QStringLiteral(": connection refused")))
        << result.strErr.toStdString();
    ASSERT_TRUE(m_pServer->Start());
    const QString strWrong = m_pServer->BaseUrl() + QStringLiteral("/nostore");
    result = fnFreshRun(strWrong, QStringLiteral("wrong"));
    EXPECT_EQ(result.nExitCode, 1);
    EXPECT_TRUE(result.strErr.contains(strFirstLine + strWrong +
                                       QStringLiteral(": HTTP 404: no store at this address")))
        << result.strErr.toStdString();
}

TEST_F(OrvelSyncTest, CtrlCStopsCleanlyAndTheRerunCompletes)
{
    // Slow enough to be interrupted in the middle.
    QProcess process;
    process.start(OrvelTest::BinDir() + QStringLiteral("/orvelsync"),
                  first() + QStringList{QStringLiteral("get-latest"), QStringLiteral("--limit"),
                                        QStringLiteral("100000")});
    ASSERT_TRUE(process.waitForStarted());
    QDeadlineTimer deadline(kDeadlineMs);
    QByteArray err;
    while (!err.contains("Speed: ") && !deadline.hasExpired() && process.state() == QProcess::Running)
    {
        process.waitForReadyRead(100);
        err += process.readAllStandardError();
    }
    ASSERT_TRUE(err.contains("Speed: ")) << "no transfer seen: " << err.toStdString();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(30000)) << "a stop must end the run promptly";
    EXPECT_EQ(process.exitCode(), 3);
    EXPECT_TRUE(log().contains(QStringLiteral("User requested resource download stop")));
    EXPECT_TRUE(OrvelTest::TempFilesBelow(workPath()).isEmpty())
        << OrvelTest::TempFilesBelow(workPath()).join(' ').toStdString();
    EXPECT_FALSE(QFileInfo::exists(appDir() + QStringLiteral("/_cache/veride.ini"))) << "nothing is recorded";

    const SyncRun rerun = run(common() + QStringList{QStringLiteral("get-latest")});
    ASSERT_EQ(rerun.nExitCode, 0) << rerun.strErr.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(workPath()), m_vecTrees[1]);
}

TEST_F(OrvelSyncTest, CtrlCWhileALargeFileArrivesSaysStoppedAndNeverReadsAllOfIt)
{
    // A file large enough to be fetched first and still arrive after every
    // other file has started (one by one, the moment a file counter read
    // 100%), or after a fifth of the bytes (with the library's fetch plan).
    Tree v3 = m_vecTrees[1];
    v3[QStringLiteral("data/big.bin")] = OrvelTest::Bytes(5 << 20, 77);
    m_vecTrees.push_back(v3);
    publish(2);
    const QString strLast = QStringLiteral("(%1/%1) ").arg(v3.size());
    static const QRegularExpression s_progress(
        QStringLiteral("^\\s*(\\d+)% .*  (\\S+ \\S*B) of (\\S+ \\S*B)  Speed: "),
        QRegularExpression::MultilineOption);
    const auto fnFarEnough = [&](const QString& strErr)
    {
        if (strErr.contains(strLast))
            return true;
        auto it = s_progress.globalMatch(strErr);
        while (it.hasNext())
        {
            if (it.next().captured(1).toInt() >= 20)
                return true;
        }
        return false;
    };

    QProcess process;
    process.start(OrvelTest::BinDir() + QStringLiteral("/orvelsync"),
                  first() + QStringList{QStringLiteral("get-latest"), QStringLiteral("--limit"),
                                        QStringLiteral("400000")});
    ASSERT_TRUE(process.waitForStarted());
    QDeadlineTimer deadline(kDeadlineMs);
    QString strErr;
    while (!fnFarEnough(strErr) && !deadline.hasExpired() && process.state() == QProcess::Running)
    {
        process.waitForReadyRead(100);
        strErr += QString::fromLocal8Bit(process.readAllStandardError());
    }
    ASSERT_TRUE(fnFarEnough(strErr)) << "the transfer never got far: " << strErr.toStdString();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(30000)) << "a stop must end the run promptly";
    strErr += QString::fromLocal8Bit(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 3) << strErr.toStdString();

    // Each progress line counts bytes, and none claims the whole while
    // data/big.bin was still on its way.
    int nProgress = 0;
    auto it = s_progress.globalMatch(strErr);
    while (it.hasNext())
    {
        const QRegularExpressionMatch match = it.next();
        ++nProgress;
        EXPECT_LT(match.captured(1).toInt(), 100) << match.captured(0).toStdString();
    }
    EXPECT_GT(nProgress, 0) << strErr.toStdString();
    // The file the stop cut short is said to be stopped, not failed.
    EXPECT_TRUE(strErr.contains(QStringLiteral("Stopped: data/big.bin"))) << strErr.toStdString();
    EXPECT_FALSE(strErr.contains(QStringLiteral("Failed: "))) << strErr.toStdString();
    EXPECT_FALSE(strErr.contains(QStringLiteral("Cannot open remote file"))) << strErr.toStdString();
    EXPECT_TRUE(log().contains(QStringLiteral("Stopped: data/big.bin")));
    EXPECT_FALSE(QFileInfo::exists(workPath() + QStringLiteral("/data/big.bin")));
    EXPECT_TRUE(OrvelTest::TempFilesBelow(workPath()).isEmpty());
}

TEST_F(OrvelSyncTest, UsageErrorsExitWithTwoAndTouchNothing)
{
    const QStringList vecCases[] = {
        {},
        {QStringLiteral("frobnicate")},
        {QStringLiteral("status"), QStringLiteral("--config"), QStringLiteral("x.cfg"),
         QStringLiteral("--server"), QStringLiteral("http://127.0.0.1:1/")},
        {QStringLiteral("status"), QStringLiteral("--server"), QStringLiteral("ftp://127.0.0.1/")},
        {QStringLiteral("repair"), QStringLiteral("--full")},
        {QStringLiteral("switch")},
        {QStringLiteral("switch"), QStringLiteral("two")},
        {QStringLiteral("repair"), QStringLiteral("--retry-weak"), QStringLiteral("-1")},
        {QStringLiteral("get-latest"), QStringLiteral("--limit"), QStringLiteral("fast")},
        {QStringLiteral("status"), QStringLiteral("--work-path"), m_dir.path()},
    };
    for (const QStringList& vecArgs : vecCases)
    {
        SCOPED_TRACE(vecArgs.join(QLatin1Char(' ')).toStdString());
        const SyncRun result = run(common() + vecArgs);
        EXPECT_EQ(result.nExitCode, 2) << result.strErr.toStdString();
        EXPECT_FALSE(result.strErr.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(appDir() + QStringLiteral("/launcher.ini")));
    const SyncRun help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.nExitCode, 0);
    EXPECT_TRUE(
        help.strOut.contains(QStringLiteral("Exit codes: 0 success, 1 failure, 2 usage error, 3 stopped")));
    EXPECT_TRUE(help.strOut.contains(QStringLiteral("4 (check only) a newer version is published")));
}

TEST_F(OrvelSyncTest, ReconcilePrintsThePlanAndAppliesItOnlyWithYes)
{
    ASSERT_EQ(run(first() + QStringList{QStringLiteral("get-latest"), QStringLiteral("--yes"),
                                        QStringLiteral("--quiet")})
                  .nExitCode,
              0);
    OrvelTest::WriteFile(workPath() + QStringLiteral("/data/b.txt"), "b edited");
    OrvelTest::WriteFile(workPath() + QStringLiteral("/data/extra/mine.txt"), "mine");
    OrvelTest::WriteFile(workPath() + QStringLiteral("/bulk/extra.txt"), "not selected");
    const Tree before = OrvelTest::ReadTree(workPath());

    for (const QString& strMode : {QStringLiteral("--dry-run"), QString()})
    {
        QStringList vecArgs = common() + QStringList{QStringLiteral("reconcile"), QStringLiteral("data")};
        if (!strMode.isEmpty())
            vecArgs << strMode;
        const SyncRun plan = run(vecArgs);
        EXPECT_EQ(plan.nExitCode, 0) << plan.strErr.toStdString();
        EXPECT_TRUE(plan.strOut.contains(
            QStringLiteral("Revert to server version (1 file(s)):\n        5 B  data/b.txt")))
            << plan.strOut.toStdString();
        EXPECT_TRUE(plan.strOut.contains(
            QStringLiteral("Delete extra local files (1 file(s)):\n        4 B  data/extra/mine.txt")))
            << plan.strOut.toStdString();
        EXPECT_EQ(OrvelTest::ReadTree(workPath()), before);
        EXPECT_TRUE(plan.strOut.contains(QStringLiteral("plan only, nothing changed")))
            << plan.strOut.toStdString();
        EXPECT_FALSE(plan.strOut.contains(QStringLiteral("cancelled"))) << plan.strOut.toStdString();
    }

    const SyncRun applied =
        run(common() + QStringList{QStringLiteral("reconcile"), workPath() + QStringLiteral("/data"),
                                   QStringLiteral("--yes")});
    EXPECT_EQ(applied.nExitCode, 0) << applied.strErr.toStdString();
    EXPECT_TRUE(applied.strOut.contains(QStringLiteral("Directory reconcile complete")))
        << applied.strOut.toStdString();
    EXPECT_TRUE(
        log().contains(QStringLiteral("Directory reconcile complete: 1 files reverted, 1 files deleted")));
    EXPECT_EQ(OrvelTest::ReadFile(workPath() + QStringLiteral("/data/b.txt")),
              m_vecTrees[1].value(QStringLiteral("data/b.txt")));
    EXPECT_FALSE(QFileInfo::exists(workPath() + QStringLiteral("/data/extra")));
    EXPECT_EQ(OrvelTest::ReadFile(workPath() + QStringLiteral("/bulk/extra.txt")),
              QByteArray("not selected"));

    EXPECT_EQ(
        run(common() + QStringList{QStringLiteral("reconcile"), QStringLiteral("../outside")}).nExitCode, 2);
    EXPECT_EQ(run(common() + QStringList{QStringLiteral("reconcile"), QStringLiteral("data"),
                                         QStringLiteral("--yes"), QStringLiteral("--dry-run")})
                  .nExitCode,
              2);
}

TEST_F(OrvelSyncTest, ASignedStoreInstallsOnlyWhatItsTrustedKeySignedAndNeverGoesDownByItself)
{
    const QString strCorvane = OrvelTest::BinDir() + QStringLiteral("/corvane");
    auto fnCorvane = [&](const QStringList& vecArgs)
    {
        QProcess process;
        process.start(strCorvane, vecArgs);
        const bool bDone = process.waitForFinished(kDeadlineMs);
        EXPECT_TRUE(bDone && process.exitCode() == 0) << process.readAllStandardError().toStdString();
    };
    const QString strKey = m_dir.path() + QStringLiteral("/studio.key");
    const QString strOther = m_dir.path() + QStringLiteral("/other.key");
    fnCorvane({QStringLiteral("keygen"), strKey});
    fnCorvane({QStringLiteral("keygen"), strOther});
    auto fnSign = [&](const QString& strWith, quint32 uVersion)
    {
        fnCorvane({QStringLiteral("sign"), store(), QStringLiteral("--key"), strWith,
                   QStringLiteral("--version"), QString::number(uVersion)});
    };
    QDir(store()).removeRecursively();
    publish(0);
    fnSign(strKey, 1);
    const QByteArray lastVer1 = OrvelTest::ReadFile(store() + QStringLiteral("/idx/_lastver"));
    const QByteArray lastVerSig1 = OrvelTest::ReadFile(store() + QStringLiteral("/idx/_lastver.sig"));

    SyncRun result = run(first() + QStringList{QStringLiteral("--trust"), strKey + QStringLiteral(".pub"),
                                               QStringLiteral("get-latest")});
    ASSERT_EQ(result.nExitCode, 0) << result.strOut.toStdString() << result.strErr.toStdString();
    ASSERT_EQ(OrvelTest::ReadTree(workPath()), m_vecTrees[0]);
    EXPECT_TRUE(
        OrvelTest::ReadFile(appDir() + QStringLiteral("/_cache/config_ofse.cfg")).contains("ed25519 "));

    // Each refusal leaves the working path and the record as they were, and says why.
    auto fnRefused = [&](const char* pcszWhy)
    {
        const SyncRun refused = run(common() + QStringList{QStringLiteral("get-latest")});
        EXPECT_NE(refused.nExitCode, 0);
        const QString strAll = refused.strOut + refused.strErr + log();
        EXPECT_TRUE(strAll.contains(QLatin1String(pcszWhy))) << pcszWhy << "\n" << strAll.toStdString();
        EXPECT_EQ(OrvelTest::ReadTree(workPath()), m_vecTrees[0]);
        EXPECT_EQ(recordedVersion(), 1u);
    };
    publish(1); // packed without a key
    fnRefused("store not trusted: the latest-version marker names version 2, its signature version 1");
    fnSign(strOther, 2);
    fnRefused("store not trusted: latest version: signed by key");

    fnSign(strKey, 2);
    result = run(common() + QStringList{QStringLiteral("get-latest")});
    ASSERT_EQ(result.nExitCode, 0) << result.strOut.toStdString() << result.strErr.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(workPath()), m_vecTrees[1]);
    EXPECT_EQ(recordedVersion(), 2u);

    // A mirror serving the old, still validly signed latest version: get-latest
    // refuses to go down, an explicit switch may.
    OrvelTest::WriteFile(store() + QStringLiteral("/idx/_lastver"), lastVer1);
    OrvelTest::WriteFile(store() + QStringLiteral("/idx/_lastver.sig"), lastVerSig1);
    result = run(common() + QStringList{QStringLiteral("get-latest")});
    EXPECT_NE(result.nExitCode, 0);
    EXPECT_TRUE((result.strOut + result.strErr + log())
                    .contains(QStringLiteral(
                        "the server's latest version v1 is older than the installed version v2")))
        << result.strOut.toStdString() << result.strErr.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(workPath()), m_vecTrees[1]);
    EXPECT_EQ(recordedVersion(), 2u);
    result = run(common() + QStringList{QStringLiteral("switch"), QStringLiteral("1")});
    ASSERT_EQ(result.nExitCode, 0) << result.strOut.toStdString() << result.strErr.toStdString();
    EXPECT_EQ(OrvelTest::ReadTree(workPath()), m_vecTrees[0]);
    EXPECT_EQ(recordedVersion(), 1u);
}
