// orvelsync through a server that misbehaves on a sizeable share of requests:
// each run finishes with the exact target or fails with a clear error, leaves
// every file old or new, and a rerun without faults finishes. A run is
// replayed by its seed: CORVANE_SOAK_SEED=<seed> CORVANE_SOAK_RUNS=1.
// CORVANE_SOAK_RUNS and CORVANE_SOAK_SHARE (percent) set the long form;
// CORVANE_CRASH_KEEP keeps the scratch directory, with each disturbed run's
// installation copied aside before its rerun, for a post-mortem.
#include "OrvelCrashWorld.h"
#include "support/FaultHttpServer.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdio>

using OrvelCrash::RunResult;
using OrvelCrash::Scenario;
using OrvelCrash::World;

namespace
{

const int kShortRuns = 10;
const int kDefaultSharePercent = 30;

} // namespace

TEST(SoakTest, RunsThroughAMisbehavingServerFinishOrFailCleanlyAndARerunFinishes)
{
    World& world = World::Get();
    ASSERT_TRUE(world.Ready()) << world.Error().toStdString();
    const int nRuns = OrvelCrash::EnvCount("CORVANE_SOAK_RUNS", kShortRuns);
    const int nFirstSeed = OrvelCrash::EnvCount("CORVANE_SOAK_SEED", 1);
    const int nSharePercent = OrvelCrash::EnvCount("CORVANE_SOAK_SHARE", kDefaultSharePercent);
    const std::vector<Scenario>& vecScenarios = world.Scenarios();

    int nFinished = 0;
    int nFailedCleanly = 0;
    int nStale = 0;
    size_t uFaults = 0;
    int nRequests = 0;
    for (int nRun = 0; nRun < nRuns; ++nRun)
    {
        const int nSeed = nFirstSeed + nRun;
        const Scenario& scenario = vecScenarios[static_cast<size_t>(nSeed) % vecScenarios.size()];
        const std::string strReplay =
            "replay: CORVANE_SOAK_SEED=" + std::to_string(nSeed) +
            " CORVANE_SOAK_RUNS=1 CORVANE_SOAK_SHARE=" + std::to_string(nSharePercent) + " (" +
            scenario.strName.toStdString() + ")";
        SCOPED_TRACE(strReplay);
        ASSERT_TRUE(world.Restore(scenario.strTemplate));

        CorvaneTest::FaultScriptOptions options;
        options.uSeed = static_cast<uint64_t>(nSeed);
        options.dShare = nSharePercent / 100.0;
        auto pScript = std::make_shared<CorvaneTest::FaultScript>(options);
        auto pServer = CorvaneTest::FaultHttpServer::ServeDirectory(world.StorePath().toStdString(), pScript);
        const RunResult disturbed =
            world.Run(scenario.vecCommand, QString(), -1, QString::fromStdString(pServer->BaseUrl()));
        pServer.reset();
        uFaults += pScript->Committed().size();
        nRequests += pScript->Requests();
        std::string strFaults;
        for (const std::string& strFault : pScript->Committed())
            strFaults += "  " + strFault + "\n";
        strFaults += "orvelsync said:\n" + (disturbed.strOut + disturbed.strErr).toStdString();

        // The reader falls back to its cached version marker when the server
        // cannot deliver the current one, as it does offline. The check asks
        // the server again on its own and fails when that fails too; when
        // only the reader's request met the fault, the run reports an older
        // latest version, finds nothing newer and changes nothing.
        const QRegularExpressionMatch latest =
            QRegularExpression(QStringLiteral("Latest version: (\\d+)")).match(disturbed.strOut);
        const bool bStaleMarker = pScript->FaultsOn("/idx/_lastver") > 0 && latest.hasMatch() &&
                                  latest.captured(1).toUInt() < world.PublishedLatest();
        if (disturbed.nExitCode == 0 && bStaleMarker)
        {
            ++nStale;
            EXPECT_TRUE(OrvelCrash::ReadAll(world.WorkPath()) == scenario.start)
                << "the working path changed";
            EXPECT_EQ(world.RecordedVersion(), scenario.uStartVersion);
        }
        else if (disturbed.nExitCode == 0)
        {
            ++nFinished;
            const QStringList vecProblems = world.CheckCompleted(scenario);
            EXPECT_TRUE(vecProblems.isEmpty()) << "reported done but:\n"
                                               << vecProblems.join('\n').toStdString() << "\nfaults:\n"
                                               << strFaults;
        }
        else
        {
            ++nFailedCleanly;
            EXPECT_EQ(disturbed.nExitCode, 1) << "a failure, not a crash or a hang\n"
                                              << disturbed.strErr.toStdString() << "\nfaults:\n"
                                              << strFaults;
            const QString strSaid = disturbed.strOut + disturbed.strErr;
            EXPECT_TRUE(strSaid.contains(QStringLiteral("fail"), Qt::CaseInsensitive) ||
                        strSaid.contains(QStringLiteral("Could not reach the update server: ")))
                << "no clear error:\n"
                << strSaid.toStdString();
            const QStringList vecProblems = world.CheckInterrupted(scenario);
            EXPECT_TRUE(vecProblems.isEmpty()) << vecProblems.join('\n').toStdString() << "\nfaults:\n"
                                               << strFaults;
        }
        if (qEnvironmentVariableIsSet("CORVANE_CRASH_KEEP"))
            QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), world.RunRoot(),
                                                     world.RunRoot() + QStringLiteral(".disturbed")});
        const RunResult rerun = world.Run(scenario.vecCommand);
        EXPECT_EQ(rerun.nExitCode, 0) << "the rerun without faults: " << rerun.strErr.toStdString();
        const QStringList vecAfterRerun = world.CheckCompleted(scenario);
        EXPECT_TRUE(vecAfterRerun.isEmpty()) << vecAfterRerun.join('\n').toStdString() << "\nfaults:\n"
                                             << strFaults;
        if (HasFailure())
            break;
    }
    std::printf(
        "[soak] %d runs, %d requests, %zu faults injected (%d%% share): %d finished, %d failed with an "
        "error, %d found no newer version (version marker unreachable), every rerun finished\n",
        nFinished + nFailedCleanly + nStale, nRequests, uFaults, nSharePercent, nFinished, nFailedCleanly,
        nStale);
    std::fflush(stdout);
    EXPECT_GT(uFaults, 0u);
}

TEST(SoakTest, AStoreThatCannotBeReadBeforeTheTaskFailsItAndChangesNothing)
{
    World& world = World::Get();
    ASSERT_TRUE(world.Ready()) << world.Error().toStdString();
    const Scenario& scenario = world.Scenarios().at(1); // incremental from v1
    struct Case
    {
        const char* pszPath;    // answers "busy" however often it is asked
        QStringList vecCommand; // fails with exit code 1
        const char* pszSaid;
    };
    const QStringList vecCheck{QStringLiteral("check")};
    // The latest version's index: the check cannot tell whether there is an update.
    // Its release information: the record could not name the version afterwards.
    const Case cases[] = {
        {"/dat/v3/_index", scenario.vecCommand, "Check update failed"},
        {"/dat/v3/_index", vecCheck, "Check update failed"},
        {"/dat/v3/_pkginf", scenario.vecCommand, "Failed to read the release information of version 3"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.pszPath) + " " + c.vecCommand.join(' ').toStdString());
        ASSERT_TRUE(world.Restore(scenario.strTemplate));
        CorvaneTest::FaultScriptOptions options;
        options.mapScript[c.pszPath] =
            std::vector<CorvaneTest::RequestFault>(1000, CorvaneTest::RequestFault::Status503);
        auto pScript = std::make_shared<CorvaneTest::FaultScript>(options);
        auto pServer = CorvaneTest::FaultHttpServer::ServeDirectory(world.StorePath().toStdString(), pScript);
        const RunResult result =
            world.Run(c.vecCommand, QString(), -1, QString::fromStdString(pServer->BaseUrl()));
        EXPECT_EQ(result.nExitCode, 1) << (result.strOut + result.strErr).toStdString();
        EXPECT_TRUE(result.strErr.contains(QLatin1String(c.pszSaid))) << result.strErr.toStdString();
        EXPECT_GT(pScript->FaultsOn(c.pszPath), 0u);
        EXPECT_TRUE(OrvelCrash::ReadAll(world.WorkPath()) == scenario.start) << "the working path changed";
        QString strTag;
        bool bPending = true;
        EXPECT_EQ(world.RecordedVersion(&strTag, &bPending), scenario.uStartVersion);
        EXPECT_FALSE(strTag.isEmpty());
        EXPECT_FALSE(bPending);
        const RunResult rerun = world.Run(scenario.vecCommand);
        EXPECT_EQ(rerun.nExitCode, 0) << rerun.strErr.toStdString();
        EXPECT_TRUE(world.CheckCompleted(scenario).isEmpty());
    }
}
