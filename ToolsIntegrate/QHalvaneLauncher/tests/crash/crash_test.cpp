// Power cuts and kills at many points of every command that writes the working
// path, and of the updater: after each kill every file is wholly old or wholly
// new and the record claims nothing untrue; the same command run again
// finishes with the target byte for byte. CORVANE_CRASH_POINTS sets how many
// kill points are tried (scripts/crash.sh); the default is the short form.
#include "OrvelCrashWorld.h"
#include "OrvelPackageBuilder.h"
#include "OrvelTestStore.h"
#include "OrvelTestSupport.h"
#include "platform/OrvelPlatformNames.h"
#include "support/FaultHttpServer.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

using OrvelCrash::RunResult;
using OrvelCrash::Scenario;
using OrvelCrash::World;

namespace
{

const int kShortPoints = 60;

struct KillPoint
{
    QString strCrashAt; // a named point, or empty for a kill by time
    int nKillAfterMs = -1;

    QString Name() const
    {
        return strCrashAt.isEmpty() ? QStringLiteral("SIGKILL after %1 ms").arg(nKillAfterMs) : strCrashAt;
    }
};

struct Tally
{
    int nTried = 0;
    int nKilled = 0;
    int nPassed = 0;
    int nRanThrough = 0;
};

// Occurrences 1..nMax spread evenly, nCount of them at most.
std::vector<int> Spread(int nMax, int nCount)
{
    std::set<int> setPicked;
    for (int i = 0; i < nCount && nMax > 0; ++i)
        setPicked.insert(1 + (nCount == 1 ? 0 : (nMax - 1) * i / (nCount - 1)));
    return std::vector<int>(setPicked.begin(), setPicked.end());
}

std::vector<KillPoint> PlanFor(const Scenario& scenario, int nBudget, qint64 nFullRunMs)
{
    std::vector<KillPoint> vecPlan;
    // The first atomic write is the store configuration at start-up.
    for (const char* pszPoint : {"atomic.temp-written", "records.pending-written", "batch.flush",
                                 "records.before-write", "records.written"})
        vecPlan.push_back({QString::fromLatin1(pszPoint) + QStringLiteral(":1")});
    const int nLeft = std::max(3, nBudget - static_cast<int>(vecPlan.size()));
    const int nNamed = (nLeft + 1) / 2;
    const char* const apszFilePoints[] = {"local.temp-written", "local.renamed", "batch.file-added"};
    for (int nPoint = 0; nPoint < 3; ++nPoint)
        for (int nOccurrence : Spread(scenario.nWrites, (nNamed + 2 - nPoint) / 3))
            vecPlan.push_back(
                {QStringLiteral("%1:%2").arg(QLatin1String(apszFilePoints[nPoint])).arg(nOccurrence)});
    const int nTimed = nLeft - nNamed;
    for (int i = 0; i < nTimed; ++i)
        vecPlan.push_back({QString(), static_cast<int>(nFullRunMs * (2 * i + 1) / (2 * nTimed))});
    return vecPlan;
}

void Report(const char* pszWhat, const Tally& tally)
{
    std::printf("[crash] %s: %d kill points tried, %d killed the process, %d passed every check, %d ran "
                "through before the kill\n",
                pszWhat, tally.nTried, tally.nKilled, tally.nPassed, tally.nRanThrough);
    std::fflush(stdout);
}

class CrashTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!World::Get().Ready())
            FAIL() << World::Get().Error().toStdString();
    }
    int Budget() const { return OrvelCrash::EnvCount("CORVANE_CRASH_POINTS", kShortPoints); }
};

} // namespace

TEST_F(CrashTest, EveryOrvelsyncCommandSurvivesAKillAnywhereAndARerunFinishesIt)
{
    World& world = World::Get();
    const std::vector<Scenario>& vecScenarios = world.Scenarios();
    // The updater takes a share like each scenario.
    const int nPerScenario = std::max(8, Budget() / static_cast<int>(vecScenarios.size() + 1));
    Tally total;
    for (const Scenario& scenario : vecScenarios)
    {
        SCOPED_TRACE(scenario.strName.toStdString());
        // Undisturbed first: it must go through, and it times the kills.
        ASSERT_TRUE(world.Restore(scenario.strTemplate));
        const RunResult reference = world.Run(scenario.vecCommand);
        ASSERT_EQ(reference.nExitCode, 0) << reference.strErr.toStdString();
        const QStringList vecReference = world.CheckCompleted(scenario);
        ASSERT_TRUE(vecReference.isEmpty()) << vecReference.join('\n').toStdString();

        Tally tally;
        for (const KillPoint& point : PlanFor(scenario, nPerScenario, reference.nMs))
        {
            SCOPED_TRACE(point.Name().toStdString());
            ++tally.nTried;
            ASSERT_TRUE(world.Restore(scenario.strTemplate));
            const RunResult killed = world.Run(scenario.vecCommand, point.strCrashAt, point.nKillAfterMs);
            if (killed.bKilled)
            {
                ++tally.nKilled;
                const QStringList vecAfterKill = world.CheckInterrupted(scenario);
                EXPECT_TRUE(vecAfterKill.isEmpty()) << "after the kill:\n"
                                                    << vecAfterKill.join('\n').toStdString();
                const RunResult rerun = world.Run(scenario.vecCommand);
                EXPECT_EQ(rerun.nExitCode, 0) << rerun.strErr.toStdString();
                const QStringList vecAfterRerun = world.CheckCompleted(scenario);
                EXPECT_TRUE(vecAfterRerun.isEmpty()) << "after the rerun:\n"
                                                     << vecAfterRerun.join('\n').toStdString();
                if (vecAfterKill.isEmpty() && vecAfterRerun.isEmpty() && rerun.nExitCode == 0)
                    ++tally.nPassed;
            }
            else
            {
                // Not reached: the run must then have gone through.
                ++tally.nRanThrough;
                EXPECT_EQ(killed.nExitCode, 0) << killed.strErr.toStdString();
                const QStringList vecProblems = world.CheckCompleted(scenario);
                EXPECT_TRUE(vecProblems.isEmpty()) << vecProblems.join('\n').toStdString();
                if (vecProblems.isEmpty() && killed.nExitCode == 0)
                    ++tally.nPassed;
            }
        }
        Report(qPrintable(scenario.strName), tally);
        total.nTried += tally.nTried;
        total.nKilled += tally.nKilled;
        total.nPassed += tally.nPassed;
        total.nRanThrough += tally.nRanThrough;
        EXPECT_GT(tally.nKilled, tally.nTried / 2) << "most points must hit the run";
    }
    Report("orvelsync", total);
    RecordProperty("kill_points_tried", total.nTried);
    RecordProperty("kill_points_passed", total.nPassed);
}

TEST_F(CrashTest, AKillWhileAFailedUpdateRollsBackLeavesNothingHalfAndARerunFinishes)
{
    // One package of the newest version always answers 500: get-latest writes
    // what it can, fails, and rolls back; the kills land anywhere in that.
    World& world = World::Get();
    const Scenario& scenario = world.Scenarios().at(1); // incremental from v1
    QStringList vecPackages;
    QDirIterator packages(world.StorePath() + QStringLiteral("/dat/v3"), {QStringLiteral("*.dat")},
                          QDir::Files, QDirIterator::Subdirectories);
    while (packages.hasNext())
        vecPackages << packages.next().mid(world.StorePath().size());
    ASSERT_FALSE(vecPackages.isEmpty());
    std::sort(vecPackages.begin(), vecPackages.end());
    CorvaneTest::FaultScriptOptions options;
    options.mapScript[vecPackages.last().toStdString()] =
        std::vector<CorvaneTest::RequestFault>(100000, CorvaneTest::RequestFault::Status500);
    auto pServer = CorvaneTest::FaultHttpServer::ServeDirectory(
        world.StorePath().toStdString(), std::make_shared<CorvaneTest::FaultScript>(options));
    const QString strUrl = QString::fromStdString(pServer->BaseUrl());

    ASSERT_TRUE(world.Restore(scenario.strTemplate));
    const RunResult reference = world.Run(scenario.vecCommand, QString(), -1, strUrl);
    ASSERT_EQ(reference.nExitCode, 1) << reference.strErr.toStdString();
    // Files are fetched in an order with a random start: when the failing
    // package's files come first, nothing was written and nothing rolls back.
    ASSERT_TRUE(reference.strErr.contains(QStringLiteral("Rollback complete")) ||
                reference.strErr.contains(QStringLiteral("Update failed")))
        << reference.strErr.toStdString();
    ASSERT_TRUE(world.CheckInterrupted(scenario).isEmpty());
    ASSERT_TRUE(OrvelCrash::ReadAll(world.WorkPath()) == scenario.start) << "rolled back";

    const int nPoints = std::max(8, Budget() / 6);
    std::vector<KillPoint> vecPlan;
    for (int nOccurrence : Spread(2 * scenario.nWrites, nPoints / 2))
        vecPlan.push_back({QStringLiteral("local.renamed:%1").arg(nOccurrence)});
    const int nTimed = nPoints - static_cast<int>(vecPlan.size());
    for (int i = 0; i < nTimed; ++i)
        vecPlan.push_back({QString(), static_cast<int>(reference.nMs * (2 * i + 1) / (2 * nTimed))});
    Tally tally;
    for (const KillPoint& point : vecPlan)
    {
        SCOPED_TRACE(point.Name().toStdString());
        ++tally.nTried;
        ASSERT_TRUE(world.Restore(scenario.strTemplate));
        const RunResult killed = world.Run(scenario.vecCommand, point.strCrashAt, point.nKillAfterMs, strUrl);
        if (killed.bKilled)
            ++tally.nKilled;
        else
            ++tally.nRanThrough;
        const QStringList vecAfterKill = world.CheckInterrupted(scenario);
        EXPECT_TRUE(vecAfterKill.isEmpty()) << vecAfterKill.join('\n').toStdString();
        const RunResult rerun = world.Run(scenario.vecCommand);
        EXPECT_EQ(rerun.nExitCode, 0) << rerun.strErr.toStdString();
        const QStringList vecAfterRerun = world.CheckCompleted(scenario);
        EXPECT_TRUE(vecAfterRerun.isEmpty()) << vecAfterRerun.join('\n').toStdString();
        if (vecAfterKill.isEmpty() && vecAfterRerun.isEmpty() && rerun.nExitCode == 0)
            ++tally.nPassed;
    }
    Report("failed update and its rollback", tally);
    EXPECT_GT(tally.nKilled, 0);
}

TEST_F(CrashTest, AnyCommandFinishesWhatAKilledOneLeftHalfDone)
{
    // A switch down killed half-way, then get-latest: the record still names
    // the newest version, but the working path is not at it.
    World& world = World::Get();
    const Scenario& switchDown = world.Scenarios().at(4);
    ASSERT_EQ(switchDown.strName, QStringLiteral("switch"));
    ASSERT_TRUE(world.Restore(switchDown.strTemplate));
    ASSERT_TRUE(world.Run(switchDown.vecCommand, QStringLiteral("local.renamed:3")).bKilled);
    ASSERT_TRUE(world.CheckInterrupted(switchDown).isEmpty());
    Scenario latest = switchDown;
    latest.vecCommand = QStringList{QStringLiteral("get-latest"), QStringLiteral("--yes")};
    latest.target = world.VersionTree(3);
    latest.uTargetVersion = 3;
    const RunResult rerun = world.Run(latest.vecCommand);
    EXPECT_EQ(rerun.nExitCode, 0) << rerun.strErr.toStdString();
    const QStringList vecProblems = world.CheckCompleted(latest);
    EXPECT_TRUE(vecProblems.isEmpty()) << vecProblems.join('\n').toStdString();
}

namespace
{

class UpdaterCrashTest : public ::testing::Test
{
protected:
    QString app() const { return m_dir.path() + QStringLiteral("/app"); }
    QString package() const { return app() + QStringLiteral("/QHalvaneLauncher_update.pkg"); }

    void SetUp() override
    {
        m_vecFiles = QStringList{QStringLiteral("first.txt"),
                                 QStringLiteral("lib/second.so"),
                                 QStringLiteral("sub/.dotfile"),
                                 QStringLiteral("sub/deeper/third.dat"),
                                 QString::fromUtf8("res/数据/fourth.bin"),
                                 QStringLiteral("fifth.txt")};
        for (int i = 0; i < m_vecFiles.size(); ++i)
        {
            m_old[m_vecFiles[i]] = "old " + m_vecFiles[i].toUtf8();
            m_new[m_vecFiles[i]] = OrvelTest::Bytes(3000 + 5000 * i, 900 + static_cast<quint32>(i));
        }
    }

    // A fresh launcher directory: updater, stand-in launcher, old files, package.
    void Prepare()
    {
        QDir(app()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(app()));
        const QString strUpdater = app() + QLatin1Char('/') + QLatin1String(OrvelPlatform::kUpdaterFileName);
        ASSERT_TRUE(QFile::copy(OrvelTest::BinDir() + QLatin1Char('/') +
                                    QLatin1String(OrvelPlatform::kUpdaterFileName),
                                strUpdater));
        const QString strLauncher =
            app() + QLatin1Char('/') + QLatin1String(OrvelPlatform::kLauncherFileName);
        OrvelTest::WriteFile(strLauncher, "#!/bin/sh\nexit 0\n");
        ASSERT_TRUE(
            QFile::setPermissions(strLauncher, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        for (auto it = m_old.begin(); it != m_old.end(); ++it)
            OrvelTest::WriteFile(app() + QLatin1Char('/') + it.key(), it.value());
        OrvelPackageBuilder builder;
        for (auto it = m_new.begin(); it != m_new.end(); ++it)
            builder.addMemoryFile(it.value(), it.key());
        ASSERT_TRUE(builder.build(package(), 9)) << builder.lastError().toStdString();
    }

    // Exit code, or -1 when it did not end by itself.
    // Exit code, 137 when a crash point or the kill after nKillAfterMs ended
    // it, -1 when it did not end by itself.
    int Run(const QString& strCrashAt, int nKillAfterMs = -1)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("ORVEL_CRASH_AT"));
        if (!strCrashAt.isEmpty())
            env.insert(QStringLiteral("ORVEL_CRASH_AT"), strCrashAt);
        process.setProcessEnvironment(env);
        process.start(app() + QLatin1Char('/') + QLatin1String(OrvelPlatform::kUpdaterFileName),
                      {QStringLiteral("--package"), package(), QStringLiteral("--target"), app()});
        if (!process.waitForStarted())
            return -1;
        if (!process.waitForFinished(nKillAfterMs >= 0 ? nKillAfterMs : 60000))
        {
            process.kill();
            process.waitForFinished();
            return nKillAfterMs >= 0 ? 137 : -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QStringList CheckFiles(bool bNewOnly) const
    {
        QStringList vecProblems;
        for (const QString& strFile : m_vecFiles)
        {
            const QByteArray data = OrvelTest::ReadFile(app() + QLatin1Char('/') + strFile);
            if (data != m_new.value(strFile) && (bNewOnly || data != m_old.value(strFile)))
                vecProblems << QStringLiteral("%1 holds %2 bytes of neither").arg(strFile).arg(data.size());
        }
        return vecProblems;
    }

    QTemporaryDir m_dir;
    QStringList m_vecFiles;
    OrvelCrash::Tree m_old;
    OrvelCrash::Tree m_new;
};

} // namespace

TEST_F(UpdaterCrashTest, TheUpdaterSurvivesAKillAtEveryStepAndARerunFinishesIt)
{
    const int nBudget = std::max(6, OrvelCrash::EnvCount("CORVANE_CRASH_POINTS", kShortPoints) / 6);
    // Per file: a backup copy and the new file, each through a temporary file.
    const int nFiles = m_vecFiles.size();
    std::vector<KillPoint> vecPlan;
    const char* const apszPoints[] = {"updater.backed-up", "updater.replaced", "atomic.temp-written",
                                      "atomic.renamed"};
    for (int nPoint = 0; nPoint < 4; ++nPoint)
        for (int nOccurrence : Spread(nPoint < 2 ? nFiles : 2 * nFiles, (nBudget + 3 - nPoint) / 4))
            vecPlan.push_back(
                {QStringLiteral("%1:%2").arg(QLatin1String(apszPoints[nPoint])).arg(nOccurrence)});
    // By time too, over the first half of an undisturbed run: the rest is the
    // wait before the launcher is started again.
    Prepare();
    if (HasFatalFailure())
        return;
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(Run(QString()), 0);
    const qint64 nRunMs = timer.elapsed();
    ASSERT_TRUE(CheckFiles(true).isEmpty());
    const int nTimed = std::max(2, nBudget / 4);
    for (int i = 0; i < nTimed; ++i)
        vecPlan.push_back({QString(), static_cast<int>(nRunMs * (2 * i + 1) / (4 * nTimed))});

    Tally tally;
    for (const KillPoint& point : vecPlan)
    {
        SCOPED_TRACE(point.Name().toStdString());
        ++tally.nTried;
        Prepare();
        if (HasFatalFailure())
            return;
        const int nKilled = Run(point.strCrashAt, point.nKillAfterMs);
        if (nKilled != 137)
        {
            ++tally.nRanThrough;
            EXPECT_TRUE(point.strCrashAt.isEmpty()) << "every named point lies within the run";
            EXPECT_EQ(nKilled, 0);
            EXPECT_TRUE(CheckFiles(true).isEmpty());
            continue;
        }
        ++tally.nKilled;
        const QStringList vecAfterKill = CheckFiles(false);
        EXPECT_TRUE(vecAfterKill.isEmpty()) << vecAfterKill.join('\n').toStdString();
        EXPECT_EQ(Run(QString()), 0);
        QStringList vecAfterRerun = CheckFiles(true);
        if (QFileInfo::exists(app() + QStringLiteral("/.bak")))
            vecAfterRerun << QStringLiteral("the backup directory stayed");
        if (QFileInfo::exists(package()))
            vecAfterRerun << QStringLiteral("the package stayed");
        vecAfterRerun += OrvelCrash::TempFiles(app());
        EXPECT_TRUE(vecAfterRerun.isEmpty()) << vecAfterRerun.join('\n').toStdString();
        if (vecAfterKill.isEmpty() && vecAfterRerun.isEmpty())
            ++tally.nPassed;
    }
    Report("updater", tally);
    RecordProperty("kill_points_tried", tally.nTried);
    RecordProperty("kill_points_passed", tally.nPassed);
}
