// SPDX-License-Identifier: MIT
// A reader made from a configuration, reading a store served by nginx through
// its local cache: the way every user's machine gets its data.
#include "support/LogCapture.h"
#include "support/NetTestUtil.h"
#include "support/NginxServer.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <memory>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

class ConfigReaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_InitCorvaneManager(nullptr, nullptr));
        m_version.uVersion = 3;
        m_version.uFilesPerPackage = 2;
        for (int i = 0; i < 7; ++i)
        {
            m_version.mapFiles["bin/file" + std::to_string(i) + ".bin"] = RandomBytes(1000 + 40000 * i, i);
        }
        m_version.mapFiles["readme.txt"] = "hello";
        m_version.mapFiles["empty.txt"] = "";
        ASSERT_TRUE(WriteTestStoreVersion(m_served / "store", m_version, &m_result));
        m_server = std::make_unique<NginxServer>(m_served.Path());
        ASSERT_TRUE(m_server->Running());
    }
    void TearDown() override { g_UnInitCorvaneManager(); }

    // Local "dir" and the remote's cache are one directory, as the launcher writes them.
    std::string WriteConfig(const std::string& strExtra = "")
    {
        return WriteRemoteConfig(m_log.Dir() / "remote.cfg", m_server->BaseUrl() + "/store", m_cache.Path(),
                                 strExtra, R"(, "threadcount": 16)");
    }

    LogCapture m_log;
    TempDir m_served;
    TempDir m_cache;
    TestStoreVersion m_version;
    TestStoreResult m_result;
    std::unique_ptr<NginxServer> m_server;
};

} // namespace

TEST_F(ConfigReaderTest, ReadsEveryFileThroughTheCache)
{
    // Whole packages, as with a server without Range support.
    ReaderPtr pReader = OpenConfigReader(WriteConfig(R"(, "range": 0)"));
    ASSERT_TRUE(pReader);
    EXPECT_EQ(pReader->GetWorkVersion(), 3u); // from idx/_lastver on the server
    for (const auto& [strPath, strContent] : m_version.mapFiles)
    {
        EXPECT_TRUE(TakeContent(pReader->OpenFile(strPath.c_str(), -1)) == strContent) << strPath;
    }
    // Every package was fetched once; the second pass reads the cache only.
    const size_t uRequests = m_server->AccessLogLines().size();
    for (const auto& [strPath, strContent] : m_version.mapFiles)
    {
        EXPECT_TRUE(TakeContent(pReader->OpenFile(strPath.c_str(), -1)) == strContent) << strPath;
    }
    EXPECT_EQ(m_server->AccessLogLines().size(), uRequests);
    for (const std::string& strPackage : m_result.vecPackage)
    {
        EXPECT_EQ(m_server->WaitForRequests("GET", "/store/" + strPackage, 1), 1u) << strPackage;
    }
    EXPECT_TRUE(pReader->SetLimitSpeed(1 << 20));
    EXPECT_TRUE(pReader->SetLimitSpeed(0));
    EXPECT_TRUE(pReader->CancelDownloads());
    // Nothing failed; the one line says, once for the reader, that no key is trusted.
    EXPECT_EQ(m_log.Text(), "The store is not signed; files are checked for integrity only\r\n");

    // A configuration that does not parse makes no reader.
    const std::string strBad = m_log.Dir() / "bad.cfg";
    ASSERT_TRUE(WriteFileText(strBad, "{"));
    IPemCorvaneReader* pNone = nullptr;
    EXPECT_FALSE(g_NewCorvaneReaderByConfig(&pNone, strBad.c_str(), _INVALID_VER));
    EXPECT_EQ(pNone, nullptr);
    EXPECT_TRUE(m_log.Contains("PemConfig::Read parse json failed, file=" + strBad));
}

TEST_F(ConfigReaderTest, AListReaderReadsAVersionsListsWithoutItsIndex)
{
    const std::vector<std::string> vecChanged =
        Lines(OpenConfigReader(WriteConfig(), 3)->OpenPatchFileList());
    ASSERT_FALSE(vecChanged.empty());
    TempDir fresh;
    const std::string strConfig =
        WriteRemoteConfig(fresh / "remote.cfg", m_server->BaseUrl() + "/store", fresh / "cache");
    m_server->ClearLog();
    IPemCorvaneReader* pRaw = nullptr;
    ASSERT_TRUE(g_NewCorvaneListReaderByConfig(&pRaw, strConfig.c_str(), 3));
    ReaderPtr pLists(pRaw);
    EXPECT_EQ(pLists->GetWorkVersion(), 3u);
    EXPECT_EQ(Lines(pLists->OpenPatchFileList()), vecChanged);
    EXPECT_EQ(m_server->CountRequests("GET", "/store/dat/v3/_index"), 0u);
    // Its files are not there to open: it holds no index.
    EXPECT_EQ(pLists->OpenFile("readme.txt", -1), nullptr);

    // A version the store lacks opens, and fails where its list is read.
    pRaw = nullptr;
    ASSERT_TRUE(g_NewCorvaneListReaderByConfig(&pRaw, strConfig.c_str(), 9));
    ReaderPtr pMissing(pRaw);
    EXPECT_EQ(pMissing->OpenPatchFileList(), nullptr);
}

TEST_F(ConfigReaderTest, ATornCachedIndexIsFetchedAgain)
{
    const std::string strIndex = "dat/v3/_index";
    ASSERT_TRUE(OpenConfigReader(WriteConfig(), 3));
    const std::vector<unsigned char> vecServed = ReadFileBytes(m_served / ("store/" + strIndex));
    ASSERT_EQ(ReadFileBytes(m_cache / strIndex), vecServed);
    // Cache files are not flushed: after a crash a copy may hold only part of its bytes.
    ASSERT_TRUE(WriteFileBytes(m_cache / strIndex, vecServed.data(), vecServed.size() / 2));
    ReaderPtr pReader = OpenConfigReader(WriteConfig(), 3);
    ASSERT_TRUE(pReader);
    EXPECT_TRUE(pReader->HasFile("readme.txt"));
    EXPECT_EQ(ReadFileBytes(m_cache / strIndex), vecServed);
    EXPECT_EQ(m_server->WaitForRequests("GET", "/store/" + strIndex, 2), 2u);
}

TEST_F(ConfigReaderTest, SyncDownloadDataFileFetchesAndVerifiesPackages)
{
    ReaderPtr pReader = OpenConfigReader(WriteConfig(), 3);
    ASSERT_TRUE(pReader);
    IStringList* pList = pReader->OpenDataList();
    ASSERT_NE(pList, nullptr);
    ASSERT_EQ(pList->Count(), m_result.vecPackage.size());
    for (uint32_t i = 0; i < pList->Count(); ++i)
    {
        EXPECT_TRUE(pReader->SyncDownloadDataFile(pList->Get(i))) << pList->Get(i);
        const std::vector<unsigned char> vecServed =
            ReadFileBytes(m_served / ("store/" + std::string(pList->Get(i))));
        EXPECT_EQ(ReadFileBytes(m_cache / pList->Get(i)), vecServed);
    }
    // Already verified: no new request.
    const std::string strPackage = pList->Get(0);
    pList->Release();
    EXPECT_TRUE(pReader->SyncDownloadDataFile(strPackage.c_str()));
    EXPECT_EQ(m_server->WaitForRequests("GET", "/store/" + strPackage, 1), 1u);

    // A damaged cache copy is deleted, fetched again and checked.
    std::vector<unsigned char> vecCached = ReadFileBytes(m_cache / strPackage);
    ASSERT_GT(vecCached.size(), 40u);
    vecCached[vecCached.size() - 3] ^= 0x5A;
    ASSERT_TRUE(WriteFileBytes(m_cache / strPackage, vecCached.data(), vecCached.size()));
    EXPECT_TRUE(pReader->SyncDownloadDataFile(strPackage.c_str()));
    EXPECT_EQ(m_server->WaitForRequests("GET", "/store/" + strPackage, 2), 2u);
    EXPECT_EQ(ReadFileBytes(m_cache / strPackage), ReadFileBytes(m_served / ("store/" + strPackage)));
    EXPECT_TRUE(m_log.Contains("hash failed")) << m_log.Text(); // the damaged copy, reported once

    // A package damaged on the server fails the sync and leaves no copy behind.
    std::vector<unsigned char> vecServed = ReadFileBytes(m_served / ("store/" + strPackage));
    vecServed[vecServed.size() - 3] ^= 0x5A;
    ASSERT_TRUE(WriteFileBytes(m_served / ("store/" + strPackage), vecServed.data(), vecServed.size()));
    ASSERT_TRUE(WriteFileBytes(m_cache / strPackage, vecCached.data(), vecCached.size()));
    EXPECT_FALSE(pReader->SyncDownloadDataFile(strPackage.c_str()));
    EXPECT_FALSE(FileExists(m_cache / strPackage));
    EXPECT_FALSE(pReader->SyncDownloadDataFile("dat/v3/9/99.dat")); // not on the server
}
