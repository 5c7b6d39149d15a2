// SPDX-License-Identifier: MIT
// What a publisher reads when corvane fails: the path, the operation and the
// system's reason once, never the library's source text; and where the
// library's log goes (never the current directory).
#include "ToolProcess.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

using namespace CorvaneTest;

namespace
{

const char kUnshare[] = "/usr/bin/unshare";

// Runs "$@" in a private mount namespace in which strDir is read-only: a store
// no one may write, whatever the user (the tests run as root, whom
// permissions do not stop).
std::vector<std::string> ReadOnlyLauncher(const std::string& strDir)
{
    return {kUnshare,
            "-m",
            "/bin/sh",
            "-c",
            "mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" \"$0\" && exec \"$@\"",
            strDir};
}

// Lines of stderr that are pieces of the library rather than words.
bool HasSourceText(const std::string& strErr)
{
    for (const char* pcszMark : {"PROCESS_ERROR", "condition=", "::", "->", "(str", "[&", "m_"})
    {
        if (strErr.find(pcszMark) != std::string::npos)
        {
            return true;
        }
    }
    return false;
}

size_t CountOf(const std::string& strText, const std::string& strNeedle)
{
    size_t uCount = 0;
    for (size_t uAt = strText.find(strNeedle); uAt != std::string::npos;
         uAt = strText.find(strNeedle, uAt + 1))
    {
        ++uCount;
    }
    return uCount;
}

class CorvaneErrorsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WriteFileText(m_src / "Readme.txt", "hello store\n"));
        ASSERT_TRUE(WriteFileText(m_src / "bin/tool.exe", std::string(40000, 'x')));
    }

    ToolRun Run(const std::vector<std::string>& vecArgs)
    {
        return RunCorvane(vecArgs, m_cwd.Path(), m_state.Path());
    }

    std::vector<std::string> PackArgs(const std::string& strStore, uint32_t uVersion) const
    {
        return {"pack",    "--root", m_src.Path(), "--store", strStore, "--version", std::to_string(uVersion),
                "--level", "1",      "--threads",  "2"};
    }

    // Whether this machine lets a test make a read-only mount of its own; the
    // reason to skip otherwise.
    std::string ReadOnlyMountRefusal()
    {
        if (::access(kUnshare, X_OK) != 0)
        {
            return "no unshare(1) here";
        }
        TempDir probe;
        const ToolRun run =
            RunCorvaneThrough({kUnshare, "-m", "/bin/sh", "-c",
                               "mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" \"$0\" && "
                               "! touch \"$0/probe\" 2>/dev/null && exit 0; exit 1",
                               probe.Path()},
                              {"--help"}, m_cwd.Path(), m_state.Path());
        return run.nExit == 0 ? std::string() : "no private read-only mount here: " + run.strErr;
    }

    std::string CwdLog() const { return m_cwd / "PemCorvane.log"; }
    std::string StateLog() const { return m_state / "corvane/PemCorvane.log"; }

    TempDir m_src;
    TempDir m_work;
    TempDir m_cwd;
    TempDir m_state;
};

TEST_F(CorvaneErrorsTest, UnwritableStoreNamesPathAndReasonOnce)
{
    const std::string strRefusal = ReadOnlyMountRefusal();
    if (!strRefusal.empty())
    {
        GTEST_SKIP() << strRefusal;
    }
    // The whole store read-only: nothing can be staged, not even the log.
    const std::string strStore = m_work / "store";
    ASSERT_TRUE(WriteFileText(strStore + "/.keep", ""));
    const ToolRun run =
        RunCorvaneThrough(ReadOnlyLauncher(strStore), PackArgs(strStore, 1), m_cwd.Path(), m_state.Path());
    EXPECT_EQ(run.nExit, 1) << run.strErr;
    EXPECT_EQ(run.strOut, "");
    EXPECT_EQ(CountOf(run.strErr, "cannot "), 1u) << run.strErr;
    EXPECT_EQ(run.strErr.find("corvane: cannot create " + strStore + "/"), 0u) << run.strErr;
    EXPECT_NE(run.strErr.find(": Read-only file system\n"), std::string::npos) << run.strErr;
    EXPECT_NE(run.strErr.find("corvane: packing version 1 failed; the store has no new version\n"),
              std::string::npos)
        << run.strErr;
    EXPECT_FALSE(HasSourceText(run.strErr)) << run.strErr;
    // No log could be written there, so none is pointed at, and none went elsewhere.
    EXPECT_EQ(run.strErr.find("details in"), std::string::npos) << run.strErr;
    EXPECT_FALSE(FileExists(CwdLog()));
    EXPECT_FALSE(FileExists(strStore + "/_tmp"));
    EXPECT_FALSE(FileExists(m_state / "corvane"));

    // Only the published part read-only: staging works, publishing does not,
    // and the log with the details stays in the store's _tmp.
    ASSERT_TRUE(WriteFileText(strStore + "/dat/.keep", ""));
    const ToolRun publish = RunCorvaneThrough(ReadOnlyLauncher(strStore + "/dat"), PackArgs(strStore, 1),
                                              m_cwd.Path(), m_state.Path());
    EXPECT_EQ(publish.nExit, 1) << publish.strErr;
    const std::string strLog = strStore + "/_tmp/PemCorvane.log";
    EXPECT_EQ(publish.strErr,
              "corvane: cannot create " + strStore + "/dat/v1: Read-only file system\n" +
                  "corvane: packing version 1 failed; the store has no new version (details in " + strLog +
                  ")\n");
    const std::string strText = ReadFileText(strLog);
    EXPECT_EQ(strText.find("system error: cannot create " + strStore + "/dat/v1: Read-only file system\r\n"),
              0u)
        << strText;
    EXPECT_NE(strText.find("PROCESS_ERROR failed. function="), std::string::npos) << strText;
    EXPECT_FALSE(FileExists(CwdLog()));

    // Writable again, the same build goes through and says nothing of the old log.
    const ToolRun ok = Run(PackArgs(strStore, 1));
    EXPECT_EQ(ok.nExit, 0) << ok.strErr;
    EXPECT_EQ(ok.strErr, "");
    EXPECT_FALSE(FileExists(strLog)) << "a build that logs nothing leaves no log";
}

TEST_F(CorvaneErrorsTest, ReadingCommandsLeaveNoLogBehind)
{
    const std::string strStore = m_work / "store";
    ASSERT_EQ(Run(PackArgs(strStore, 1)).nExit, 0);
    for (const std::vector<std::string>& vecArgs : {std::vector<std::string>{"ls", strStore, "-r"},
                                                    {"cat", strStore, "readme.txt"},
                                                    {"info", strStore},
                                                    {"verify", strStore}})
    {
        const ToolRun run = Run(vecArgs);
        EXPECT_EQ(run.nExit, 0) << vecArgs[0] << ": " << run.strErr;
        EXPECT_FALSE(FileExists(CwdLog())) << vecArgs[0];
        EXPECT_FALSE(FileExists(StateLog())) << vecArgs[0];
    }

    // A failure that the library logs: the log is in the state directory, and
    // the message says so only because it is there.
    const ToolRun bad = Run({"info", strStore, "--version", "7"});
    EXPECT_EQ(bad.nExit, 1);
    EXPECT_FALSE(HasSourceText(bad.strErr)) << bad.strErr;
    EXPECT_FALSE(FileExists(CwdLog()));
    const bool bLogged = FileExists(StateLog());
    EXPECT_EQ(bad.strErr.find("(details in " + StateLog() + ")") != std::string::npos, bLogged) << bad.strErr;
    EXPECT_EQ(bad.strErr.find("details in PemCorvane.log"), std::string::npos) << bad.strErr;

    // The next good run clears the earlier run's log.
    if (bLogged)
    {
        ASSERT_EQ(Run({"ls", strStore}).nExit, 0);
        EXPECT_FALSE(FileExists(StateLog()));
    }
}

TEST_F(CorvaneErrorsTest, RefusedBuildKeepsItsWordsAndItsLogInTheStore)
{
    const std::string strStore = m_work / "store";
    ASSERT_EQ(Run(PackArgs(strStore, 1)).nExit, 0);
    ASSERT_TRUE(WriteFileText(m_src / "site/Index.html", "upper"));
    ASSERT_TRUE(WriteFileText(m_src / "site/index.html", "lower"));
    const ToolRun run = Run(PackArgs(strStore, 2));
    EXPECT_EQ(run.nExit, 1);
    // No system reason here: the library's own words, then the outcome, each once.
    const std::string strLog = strStore + "/_tmp/PemCorvane.log";
    EXPECT_EQ(run.strErr, "corvane: 'site/Index.html' and 'site/index.html' are one store path "
                          "'site/index.html': store paths are case-insensitive\n"
                          "corvane: packing version 2 failed; the store stays at version 1 (details in " +
                              strLog + ")\n");
    EXPECT_NE(ReadFileText(strLog).find("PROCESS_ERROR failed. function="), std::string::npos);
    EXPECT_FALSE(FileExists(CwdLog()));
    EXPECT_FALSE(FileExists(StateLog()));
}

} // namespace
