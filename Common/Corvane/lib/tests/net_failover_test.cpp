// SPDX-License-Identifier: MIT
// Two sources, a studio's mirror first and the origin after it: whatever the
// mirror does wrong, every file comes whole from the origin, and the mirror
// costs one attempt per task (however many readers it makes), not one per file. Attempts are counted from
// outside: the reader's request count against the origin's access log, or
// the faulty mirror's own count.
#include "support/FaultHttpServer.h"
#include "support/LogCapture.h"
#include "support/NetTestUtil.h"
#include "support/NginxServer.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <thread>
#include <vector>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

// A loopback port nobody listens on: connections to it are refused.
uint16_t RefusingPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    uint16_t uPort = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    {
        uPort = ntohs(addr.sin_port);
    }
    if (fd >= 0)
    {
        ::close(fd); // bound, never listened: refused from now on
    }
    return uPort;
}

uint64_t Requests(IPemCorvaneReader* piReader)
{
    CORVANE_TRANSFER_COUNTS counts;
    EXPECT_TRUE(g_GetCorvaneTransferCounts(piReader, &counts));
    return counts.uWholeRequests + counts.uRangeRequests + counts.uQueryRequests;
}

class FailoverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_InitCorvaneManager(nullptr, nullptr));
        ASSERT_TRUE(g_ResetCorvaneSources()); // what an earlier test's sources did is not this one's
        m_version.uVersion = 3;
        m_version.uFilesPerPackage = 2;
        for (int i = 0; i < 9; ++i)
        {
            m_version.mapFiles["bin/file" + std::to_string(i) + ".bin"] = RandomBytes(3000 + 30000 * i, i);
        }
        m_version.mapFiles["readme.txt"] = "hello";
        ASSERT_TRUE(WriteTestStoreVersion(m_served / "store", m_version, &m_result));
        m_origin = std::make_unique<NginxServer>(m_served.Path());
        ASSERT_TRUE(m_origin->Running());
    }
    void TearDown() override { g_UnInitCorvaneManager(); }

    // The mirror first, the origin second; one cache directory, as the launcher writes it.
    std::string WriteConfig(const std::string& strMirror, const std::string& strCacheDir)
    {
        const std::string strFile = m_log.Dir() / "two.cfg";
        const std::string strEntry = R"(", "dir": ")" + strCacheDir + R"(", "cache": 1})";
        WriteFileText(strFile, R"({"global": {"local": 1, "remote": 1}, "local": {"dir": ")" + strCacheDir +
                                   R"("}, "remote": {"count": 2, "0": {"url": ")" + strMirror + strEntry +
                                   R"(, "1": {"url": ")" + m_origin->BaseUrl() + "/store" + strEntry + "}}");
        return strFile;
    }

    // Reads every file through a new reader and checks its content; returns
    // the requests the reader made beyond those the origin logged.
    uint64_t InstallAndCountMirrorAttempts(const std::string& strMirror, uint32_t uVersion = _INVALID_VER)
    {
        TempDir cache;
        m_origin->ClearLog();
        ReaderPtr pReader = OpenConfigReader(WriteConfig(strMirror, cache.Path()), uVersion);
        EXPECT_TRUE(pReader);
        if (!pReader)
        {
            return 0;
        }
        EXPECT_EQ(pReader->GetWorkVersion(), 3u);
        for (const auto& [strPath, strContent] : m_version.mapFiles)
        {
            EXPECT_TRUE(TakeContent(pReader->OpenFile(strPath.c_str(), -1)) == strContent) << strPath;
        }
        return Requests(pReader.get()) - m_origin->AccessLogLines().size();
    }

    LogCapture m_log;
    TempDir m_served;
    TestStoreVersion m_version;
    TestStoreResult m_result;
    std::unique_ptr<NginxServer> m_origin;
};

} // namespace

TEST_F(FailoverTest, ARefusingMirrorCostsOneAttemptPerTask)
{
    const std::string strMirror = "http://127.0.0.1:" + std::to_string(RefusingPort()) + "/store";
    EXPECT_EQ(InstallAndCountMirrorAttempts(strMirror), 1u);
    EXPECT_TRUE(m_log.Contains("Source 0 (" + strMirror + ") passed over for the rest of the task"))
        << m_log.Text();
    // Another reader of the same task does not ask the mirror again.
    EXPECT_EQ(InstallAndCountMirrorAttempts(strMirror), 0u);
    // The next task does, once.
    ASSERT_TRUE(g_ResetCorvaneSources());
    EXPECT_EQ(InstallAndCountMirrorAttempts(strMirror), 1u);
}

TEST_F(FailoverTest, AMirrorAnswering502CostsOneRequest)
{
    NginxServer mirror(m_served.Path(), false, true, "return 502;");
    ASSERT_TRUE(mirror.Running());
    EXPECT_EQ(InstallAndCountMirrorAttempts(mirror.BaseUrl() + "/store"), 1u);
    const std::vector<std::string> vecLines = mirror.AccessLogLines();
    ASSERT_EQ(vecLines.size(), 1u);
    EXPECT_NE(vecLines[0].find(" 502 "), std::string::npos) << vecLines[0];
}

TEST_F(FailoverTest, AMirrorCuttingARangeIsLeftAfterThatRange)
{
    // Whole files are served well, ranges are cut off halfway.
    std::unique_ptr<FaultHttpServer> pMirror =
        FaultHttpServer::ServeDirectory(m_served.Path(), FaultMode::RangeShort);
    TempDir cache;
    m_origin->ClearLog();
    ReaderPtr pReader = OpenConfigReader(WriteConfig(pMirror->BaseUrl() + "/store", cache.Path()));
    ASSERT_TRUE(pReader);
    const int nSetup = pMirror->Requests(); // version marker and index, from the mirror
    EXPECT_GT(nSetup, 0);
    EXPECT_EQ(m_origin->AccessLogLines().size(), 0u);
    for (const auto& [strPath, strContent] : m_version.mapFiles)
    {
        EXPECT_TRUE(TakeContent(pReader->OpenFile(strPath.c_str(), -1)) == strContent) << strPath;
    }
    EXPECT_EQ(pMirror->Requests(), nSetup + 1);
    EXPECT_GT(m_origin->CountRequests("GET", "/store/" + m_result.vecPackage.front()), 0u);
}

TEST_F(FailoverTest, ManyThreadsMeetingADeadMirrorCostOneAttempt)
{
    const std::string strMirror = "http://127.0.0.1:" + std::to_string(RefusingPort()) + "/store";
    TempDir cache;
    // A reader of an explicit version whose index is cached asks nothing at
    // set-up, so its first requests to the mirror come from many threads at once.
    ASSERT_TRUE(OpenConfigReader(WriteConfig(m_origin->BaseUrl() + "/store", cache.Path()), 3));
    m_origin->ClearLog();
    ReaderPtr pReader = OpenConfigReader(WriteConfig(strMirror, cache.Path()), 3);
    ASSERT_TRUE(pReader);
    ASSERT_EQ(Requests(pReader.get()), 0u);
    std::vector<std::thread> vecThreads;
    std::vector<int> vecOk(m_version.mapFiles.size(), 0);
    size_t i = 0;
    for (const auto& [strPath, strContent] : m_version.mapFiles)
    {
        vecThreads.emplace_back(
            [&, i, strPath = strPath, strContent = strContent]
            { vecOk[i] = TakeContent(pReader->OpenFile(strPath.c_str(), -1)) == strContent; });
        ++i;
    }
    for (std::thread& thread : vecThreads)
    {
        thread.join();
    }
    EXPECT_EQ(vecOk, std::vector<int>(vecOk.size(), 1));
    EXPECT_EQ(Requests(pReader.get()) - m_origin->AccessLogLines().size(), 1u);
}
