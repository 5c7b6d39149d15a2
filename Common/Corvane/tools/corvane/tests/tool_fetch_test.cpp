// SPDX-License-Identifier: MIT
// corvane against a remote store: --config in place of STORE, and fetch, with
// the store served by a real nginx on loopback.
#include "ToolProcess.h"
#include "support/NetTestUtil.h"
#include "support/NginxServer.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <memory>

using namespace CorvaneTest;

namespace
{

class CorvaneRemoteTool : public ::testing::Test
{
protected:
    // Writes the store, serves it and writes the configuration that caches it.
    void Serve(const TestStoreVersion& version)
    {
        ASSERT_TRUE(WriteTestStoreVersion(m_served.Path(), version, &m_result));
        m_pServer = std::make_unique<NginxServer>(m_served.Path());
        ASSERT_TRUE(m_pServer->Running());
        m_strConfig = WriteRemoteConfig(m_cwd / "remote.cfg", m_pServer->BaseUrl(), m_cache.Path());
    }
    ToolRun Run(const std::vector<std::string>& vecArgs) { return RunCorvane(vecArgs, m_cwd.Path()); }

    TempDir m_served;
    TempDir m_cache;
    TempDir m_cwd;
    TestStoreResult m_result;
    std::unique_ptr<NginxServer> m_pServer;
    std::string m_strConfig;
};

} // namespace

TEST_F(CorvaneRemoteTool, FetchVerifyAndCatThroughTheConfiguration)
{
    TestStoreVersion version;
    version.uVersion = 2;
    version.uFilesPerPackage = 2;
    for (int i = 0; i < 5; ++i)
    {
        version.mapFiles["data/f" + std::to_string(i) + ".bin"] = RandomBytes(20000 + 1000 * i, i);
    }
    version.mapFiles["readme.txt"] = "hello";
    Serve(version);

    const ToolRun fetch = Run({"fetch", "--config", m_strConfig, "--threads", "3", "--limit", "0"});
    ASSERT_EQ(fetch.nExit, 0) << fetch.strErr;
    EXPECT_NE(fetch.strOut.find("packages: " + std::to_string(m_result.vecPackage.size())), std::string::npos)
        << fetch.strOut;
    for (const std::string& strPackage : m_result.vecPackage)
    {
        EXPECT_EQ(ReadFileBytes(m_cache / strPackage), ReadFileBytes(m_served / strPackage)) << strPackage;
    }

    const ToolRun verify = Run({"verify", "--config", m_strConfig});
    EXPECT_EQ(verify.nExit, 0) << verify.strOut << verify.strErr;
    const ToolRun cat = Run({"cat", "--config", m_strConfig, "readme.txt", "--version", "2"});
    EXPECT_EQ(cat.nExit, 0) << cat.strErr;
    EXPECT_EQ(cat.strOut, "hello");

    EXPECT_EQ(Run({"fetch", "--config", m_strConfig, "--no-range"}).nExit, 0);
    EXPECT_EQ(Run({"fetch"}).nExit, 2);
    EXPECT_EQ(Run({"fetch", "--config", m_strConfig, "--limit", "fast"}).nExit, 2);
    EXPECT_EQ(Run({"fetch", "--config", m_cwd / "missing.cfg"}).nExit, 1);
}

TEST_F(CorvaneRemoteTool, CatReadsOneRecordByRangeOrTheWholePackageWithNoRange)
{
    TestStoreVersion version;
    version.mapFiles["a.bin"] = RandomBytes(30000, 1);
    version.mapFiles["readme.txt"] = "hello";
    Serve(version);
    ASSERT_EQ(m_result.vecPackage.size(), 1u);
    const std::string strPackage = m_result.vecPackage.front();

    const ToolRun cat = Run({"cat", "--config", m_strConfig, "readme.txt"});
    EXPECT_EQ(cat.nExit, 0) << cat.strErr;
    EXPECT_EQ(cat.strOut, "hello");
    EXPECT_FALSE(FileExists(m_cache / strPackage));
    const ToolRun whole = Run({"cat", "--config", m_strConfig, "readme.txt", "--no-range"});
    EXPECT_EQ(whole.nExit, 0) << whole.strErr;
    EXPECT_EQ(whole.strOut, "hello");
    EXPECT_EQ(ReadFileBytes(m_cache / strPackage), ReadFileBytes(m_served / strPackage));

    EXPECT_EQ(Run({"cat", m_served.Path(), "readme.txt", "--no-range"}).nExit, 2);
    ASSERT_TRUE(WriteFileText(m_cwd / "bad.cfg", "{"));
    EXPECT_EQ(Run({"cat", "--config", m_cwd / "bad.cfg", "readme.txt", "--no-range"}).nExit, 1);
}
