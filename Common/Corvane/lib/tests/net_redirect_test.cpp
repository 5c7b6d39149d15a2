// SPDX-License-Identifier: MIT
// Redirects, as content servers and mirror fronts send them: followed a few
// times, never from HTTPS down to plain HTTP, and the answer at the end is
// checked as strictly as a direct one (lengths, ranges).
#include "net/PemHttpDownloader.h"
#include "support/FaultHttpServer.h"
#include "support/LogCapture.h"
#include "support/NetTestUtil.h"
#include "support/NginxServer.h"
#include "support/TempDir.h"

#include <Corvane/CorvaneRecords.h>

#include <gtest/gtest.h>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

class RedirectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strContent = RandomBytes(200000, 3);
        ASSERT_TRUE(WriteFileText(m_served / "dat/v1/0/1.dat", m_strContent));
    }
    // One range read of the package; its bytes in *pstr when Ok.
    static RangeReadResult ReadRange(ScopedDownloader& dl, uint32_t uOffset, uint32_t uLength,
                                     std::string* pstr)
    {
        IFile* pif = nullptr;
        const RangeReadResult eResult = dl->ReadRange("dat/v1/0/1.dat", uOffset, uLength, &pif);
        *pstr = eResult == RangeReadResult::Ok ? TakeContent(pif) : std::string();
        return eResult;
    }

    LogCapture m_log;
    ScopedCacheFileSys m_cacheFs;
    TempDir m_served;
    TempDir m_cache;
    std::string m_strContent;
};

TEST_F(RedirectTest, WholeFilesAndRangesArriveThroughAChainOfRedirects)
{
    NginxServer nginx(m_served.Path());
    ASSERT_TRUE(nginx.Running());
    FaultHttpServer front(FaultMode::Redirect, nginx.BaseUrl());
    // Two hops round the front, one to nginx, one more inside nginx.
    ScopedDownloader dl(RemoteInfo(front.BaseUrl() + "/hops/2/hop", m_cache.Path(), 0));
    EXPECT_TRUE(TakeContent(dl->Open("dat/v1/0/1.dat", SHO_RemoteOnly)) == m_strContent);
    EXPECT_TRUE(dl->Exists("dat/v1/0/1.dat", SHO_RemoteOnly));
    EXPECT_FALSE(dl->Exists("dat/v1/0/9.dat", SHO_RemoteOnly));
    std::string strRange;
    ASSERT_EQ(ReadRange(dl, 1000, 5000, &strRange), RangeReadResult::Ok) << m_log.Text();
    EXPECT_TRUE(strRange == m_strContent.substr(1000, 5000));
    EXPECT_EQ(nginx.WaitForRequests("GET", "/dat/v1/0/1.dat", 2), 2u);
    // Both GETs went the whole chain: three redirects each (and the HEADs).
    EXPECT_GE(front.Requests(), 3 * 2);
}

TEST_F(RedirectTest, RangeAnswersAreCheckedAtTheEndOfTheChain)
{
    // Behind the redirect, a server that answers for the wrong bytes, and one
    // that ignores ranges: refused exactly as when asked directly.
    for (const auto& [eMode, eExpected] :
         {std::make_pair(FaultMode::RangeWrongContentRange, RangeReadResult::Failed),
          std::make_pair(FaultMode::RangeIgnored, RangeReadResult::UseWhole)})
    {
        std::unique_ptr<FaultHttpServer> pServer = FaultHttpServer::ServeDirectory(m_served.Path(), eMode);
        FaultHttpServer front(FaultMode::Redirect, pServer->BaseUrl());
        ScopedDownloader dl(RemoteInfo(front.BaseUrl(), m_cache.Path(), 0));
        std::string strRange;
        EXPECT_EQ(ReadRange(dl, 1000, 5000, &strRange), eExpected);
    }
    EXPECT_TRUE(m_log.Contains("wrong Content-Range")) << m_log.Text();
}

TEST_F(RedirectTest, LoopsAndDowngradesAreNotFollowed)
{
    NginxServer nginx(m_served.Path());
    ASSERT_TRUE(nginx.Running());
    FaultHttpServer front(FaultMode::Redirect, nginx.BaseUrl());
    {
        // Ten hops is a loop, or a fault; nginx never hears of it.
        ScopedDownloader dl(RemoteInfo(front.BaseUrl() + "/hops/10", m_cache.Path(), 0));
        EXPECT_TRUE(TakeContent(dl->Open("dat/v1/0/1.dat", SHO_RemoteOnly)) == "<null>");
        EXPECT_TRUE(m_log.Contains("redirects")) << m_log.Text();
    }

    // An HTTPS server that sends the client to plain HTTP: refused, and the
    // plain server gets no request. HTTPS to HTTPS is followed.
    NginxServer secure(m_served.Path(), /*bHttps=*/true);
    ASSERT_TRUE(secure.Running());
    const int nBefore = front.Requests();
    CorvaneRemoteInfo info =
        RemoteInfo(secure.BaseUrl() + "/bounce/" + std::to_string(front.Port()), m_cache.Path(), 0);
    info.strCaBundle = secure.CertificateFile();
    {
        ScopedDownloader dl(info);
        EXPECT_TRUE(TakeContent(dl->Open("dat/v1/0/1.dat", SHO_RemoteOnly)) == "<null>");
        std::string strRange;
        EXPECT_NE(ReadRange(dl, 0, 100, &strRange), RangeReadResult::Ok);
    }
    EXPECT_EQ(front.Requests(), nBefore);
    info.strUrl = secure.BaseUrl() + "/hop";
    {
        ScopedDownloader dl(info);
        EXPECT_TRUE(TakeContent(dl->Open("dat/v1/0/1.dat", SHO_RemoteOnly)) == m_strContent);
    }
}

} // namespace
