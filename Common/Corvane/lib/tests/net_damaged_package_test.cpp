// SPDX-License-Identifier: MIT
// A data package that arrives damaged, or lies damaged in the cache, is never
// kept: the next read fetches it again instead of failing from then on.
#include "reader/PemCorvaneReader.h"
#include "support/FaultHttpServer.h"
#include "support/LogCapture.h"
#include "support/NetTestUtil.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

class DamagedPackageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_InitCorvaneManager(nullptr, nullptr));
        TestStoreVersion version;
        version.mapFiles["a.bin"] = RandomBytes(40000, 1);
        version.mapFiles["b.bin"] = RandomBytes(30000, 2);
        ASSERT_TRUE(WriteTestStoreVersion(m_served / "store", version, &m_result));
        ASSERT_EQ(m_result.vecPackage.size(), 1u);
        m_strPackage = m_result.vecPackage[0];
    }
    void TearDown() override { g_UnInitCorvaneManager(); }

    ReaderPtr NewReader(const std::string& strUrl)
    {
        return OpenConfigReader(
            WriteRemoteConfig(m_log.Dir() / "remote.cfg", strUrl + "/store", m_cache.Path()), 1);
    }

    LogCapture m_log;
    TempDir m_served;
    TempDir m_cache;
    TestStoreResult m_result;
    std::string m_strPackage;
};

} // namespace

TEST_F(DamagedPackageTest, APackageDamagedOnItsWayIsFetchedAgainAndCachedWhole)
{
    // Both range reads of the record and the first whole package come with a
    // changed byte; the package's next answer is right. The seed puts the
    // change of the whole package inside the record of the file read.
    const std::string strUri = "/store/" + m_strPackage;
    const size_t uPackageSize = ReadFileText(m_served / ("store/" + m_strPackage)).size();
    FaultScriptOptions options;
    options.mapScript[strUri] = {RequestFault::FlipBytes, RequestFault::FlipBytes, RequestFault::FlipBytes};
    std::string strFile;
    for (options.uSeed = 1; strFile.empty() && options.uSeed < 100; ++options.uSeed)
    {
        const size_t uFlip = FaultScript(options).FlipOffset(strUri, uPackageSize);
        for (const auto& [strPath, element] : m_result.mapElement)
            if (uFlip >= element.uElemOfs + sizeof(CORVANE_FILE_HEADER) &&
                uFlip < element.uElemOfs + element.uElemLen)
                strFile = strPath;
    }
    ASSERT_FALSE(strFile.empty());
    --options.uSeed;
    auto pScript = std::make_shared<FaultScript>(options);
    auto pServer = FaultHttpServer::ServeDirectory(m_served.Path(), pScript);
    ReaderPtr pReader = NewReader(pServer->BaseUrl());
    ASSERT_TRUE(pReader);
    const std::string strExpected = strFile == "a.bin" ? RandomBytes(40000, 1) : RandomBytes(30000, 2);
    EXPECT_TRUE(TakeContent(pReader->OpenFile(strFile.c_str(), -1)) == strExpected) << m_log.Text();
    EXPECT_EQ(pScript->FaultsOn(strUri), 3u);
    EXPECT_TRUE(ReadFileText(m_cache / m_strPackage) == ReadFileText(m_served / ("store/" + m_strPackage)));
    EXPECT_TRUE(TakeContent(pReader->OpenFile("a.bin", -1)) == RandomBytes(40000, 1));
    EXPECT_TRUE(TakeContent(pReader->OpenFile("b.bin", -1)) == RandomBytes(30000, 2));
}

TEST_F(DamagedPackageTest, APackageTornInTheCacheIsFetchedAgain)
{
    auto pServer =
        FaultHttpServer::ServeDirectory(m_served.Path(), std::make_shared<FaultScript>(FaultScriptOptions()));
    {
        ReaderPtr pReader = NewReader(pServer->BaseUrl());
        ASSERT_TRUE(pReader);
        ASSERT_TRUE(pReader->SyncDownloadDataFile(m_strPackage.c_str())) << m_log.Text();
    }
    // A crash cut the cached copy short.
    const std::string strCached = m_cache / m_strPackage;
    std::string strTorn = ReadFileText(strCached);
    ASSERT_GT(strTorn.size(), 1000u);
    strTorn.resize(strTorn.size() - 1000);
    ASSERT_TRUE(WriteFileText(strCached, strTorn));

    ReaderPtr pReader = NewReader(pServer->BaseUrl());
    ASSERT_TRUE(pReader);
    EXPECT_TRUE(TakeContent(pReader->OpenFile("a.bin", -1)) == RandomBytes(40000, 1)) << m_log.Text();
    EXPECT_TRUE(TakeContent(pReader->OpenFile("b.bin", -1)) == RandomBytes(30000, 2));
    EXPECT_TRUE(ReadFileText(strCached) == ReadFileText(m_served / ("store/" + m_strPackage)));
}
