// SPDX-License-Identifier: MIT
// corvane against a remote store: --config in place of STORE, and fetch, with
// the store served by a real nginx on loopback.
#include "ToolProcess.h"
#include "support/NetTestUtil.h"
#include "support/NginxServer.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

using namespace CorvaneTest;

TEST(CorvaneRemoteTool, FetchVerifyAndCatThroughTheConfiguration)
{
    TempDir served;
    TempDir cache;
    TempDir cwd;
    TestStoreVersion version;
    version.uVersion = 2;
    version.uFilesPerPackage = 2;
    for (int i = 0; i < 5; ++i)
    {
        version.mapFiles["data/f" + std::to_string(i) + ".bin"] = RandomBytes(20000 + 1000 * i, i);
    }
    version.mapFiles["readme.txt"] = "hello";
    TestStoreResult result;
    ASSERT_TRUE(WriteTestStoreVersion(served.Path(), version, &result));
    NginxServer server(served.Path());
    ASSERT_TRUE(server.Running());
    const std::string strConfig = cwd / "remote.cfg";
    ASSERT_TRUE(WriteFileText(strConfig, R"({"global": {"local": 1, "remote": 1},
        "local": {"dir": ")" + cache.Path() + R"("},
        "remote": {"count": 1, "0": {"url": ")" +
                                             server.BaseUrl() + R"(", "dir": ")" + cache.Path() +
                                             R"(", "cache": 1}}})"));

    const ToolRun fetch =
        RunCorvane({"fetch", "--config", strConfig, "--threads", "3", "--limit", "0"}, cwd.Path());
    ASSERT_EQ(fetch.nExit, 0) << fetch.strErr;
    EXPECT_NE(fetch.strOut.find("packages: " + std::to_string(result.vecPackage.size())), std::string::npos)
        << fetch.strOut;
    for (const std::string& strPackage : result.vecPackage)
    {
        EXPECT_EQ(ReadFileBytes(cache / strPackage), ReadFileBytes(served / strPackage)) << strPackage;
    }

    const ToolRun verify = RunCorvane({"verify", "--config", strConfig}, cwd.Path());
    EXPECT_EQ(verify.nExit, 0) << verify.strOut << verify.strErr;
    const ToolRun cat =
        RunCorvane({"cat", "--config", strConfig, "readme.txt", "--version", "2"}, cwd.Path());
    EXPECT_EQ(cat.nExit, 0) << cat.strErr;
    EXPECT_EQ(cat.strOut, "hello");

    EXPECT_EQ(RunCorvane({"fetch", "--config", strConfig, "--no-range"}, cwd.Path()).nExit, 0);
    EXPECT_EQ(RunCorvane({"fetch"}, cwd.Path()).nExit, 2);
    EXPECT_EQ(RunCorvane({"fetch", "--config", strConfig, "--limit", "fast"}, cwd.Path()).nExit, 2);
    EXPECT_EQ(RunCorvane({"fetch", "--config", cwd / "missing.cfg"}, cwd.Path()).nExit, 1);
}

TEST(CorvaneRemoteTool, CatReadsOneRecordByRangeOrTheWholePackageWithNoRange)
{
    TempDir served;
    TempDir cache;
    TempDir cwd;
    TestStoreVersion version;
    version.mapFiles["a.bin"] = RandomBytes(30000, 1);
    version.mapFiles["readme.txt"] = "hello";
    TestStoreResult result;
    ASSERT_TRUE(WriteTestStoreVersion(served.Path(), version, &result));
    ASSERT_EQ(result.vecPackage.size(), 1u);
    const std::string strPackage = result.vecPackage.front();
    NginxServer server(served.Path());
    ASSERT_TRUE(server.Running());
    const std::string strConfig = cwd / "remote.cfg";
    ASSERT_TRUE(WriteFileText(strConfig, R"({"global": {"local": 1, "remote": 1},
        "local": {"dir": ")" + cache.Path() + R"("},
        "remote": {"count": 1, "0": {"url": ")" +
                                             server.BaseUrl() + R"(", "dir": ")" + cache.Path() +
                                             R"(", "cache": 1, "range": 1}}})"));

    const ToolRun cat = RunCorvane({"cat", "--config", strConfig, "readme.txt"}, cwd.Path());
    EXPECT_EQ(cat.nExit, 0) << cat.strErr;
    EXPECT_EQ(cat.strOut, "hello");
    EXPECT_FALSE(FileExists(cache / strPackage));
    const ToolRun whole = RunCorvane({"cat", "--config", strConfig, "readme.txt", "--no-range"}, cwd.Path());
    EXPECT_EQ(whole.nExit, 0) << whole.strErr;
    EXPECT_EQ(whole.strOut, "hello");
    EXPECT_EQ(ReadFileBytes(cache / strPackage), ReadFileBytes(served / strPackage));

    EXPECT_EQ(RunCorvane({"cat", served.Path(), "readme.txt", "--no-range"}, cwd.Path()).nExit, 2);
    ASSERT_TRUE(WriteFileText(cwd / "bad.cfg", "{"));
    EXPECT_EQ(RunCorvane({"cat", "--config", cwd / "bad.cfg", "readme.txt", "--no-range"}, cwd.Path()).nExit,
              1);
}
