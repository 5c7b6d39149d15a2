// SPDX-License-Identifier: MIT
// The downloader against a server that misbehaves on purpose: every fault
// ends in a clean failure with a log line, never a hang or a wrong body.
#include "net/PemHttpDownloader.h"
#include "support/FaultHttpServer.h"
#include "support/LogCapture.h"
#include "support/NetTestUtil.h"
#include "support/TempDir.h"

#include <Corvane/CorvaneRecords.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

class FaultTest : public ::testing::Test
{
protected:
    // Opens "f.bin" remote-only against a server in eMode; the content or "<null>".
    std::string OpenOnce(FaultMode eMode, uint32_t uStallSeconds = 30)
    {
        FaultHttpServer server(eMode);
        CorvaneRemoteInfo info = RemoteInfo(server.BaseUrl(), m_cache.Path(), 1);
        info.uStallSeconds = uStallSeconds;
        ScopedDownloader dl(info);
        return TakeContent(dl->Open("f.bin", SHO_RemoteOnly));
    }

    // Waits until the server has seen a request (the transfer is under way).
    static void WaitForRequest(const FaultHttpServer& server)
    {
        for (int i = 0; i < 500 && server.Requests() == 0; ++i)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_GT(server.Requests(), 0);
    }

    LogCapture m_log;
    ScopedCacheFileSys m_cacheFs;
    TempDir m_cache;
};

} // namespace

TEST_F(FaultTest, BrokenResponsesFailCleanly)
{
    EXPECT_EQ(OpenOnce(FaultMode::ShortBody), "<null>");
    EXPECT_TRUE(m_log.Contains("condition=Download file fail, body size mismatch, expect=1000 recv=500\r\n"))
        << m_log.Text();

    EXPECT_EQ(OpenOnce(FaultMode::Status500), "<null>");
    EXPECT_TRUE(
        m_log.Contains("condition=Download file fail, code is 500, message is Internal Server Error\r\n"))
        << m_log.Text();

    m_log.Clear();
    EXPECT_EQ(OpenOnce(FaultMode::Reset), "<null>");
    EXPECT_TRUE(m_log.Contains("function=HttpPrivateImpl::FileDownload line=")) << m_log.Text();
    EXPECT_TRUE(m_log.Contains("condition=Download file fail, ret=")) << m_log.Text();
    EXPECT_TRUE(m_log.Contains("condition=Download file fail, no response, url=http://127.0.0.1:"))
        << m_log.Text();

    m_log.Clear();
    // libcurl alone would take "12abc" as 12 and report success with a cut body.
    EXPECT_EQ(OpenOnce(FaultMode::BadContentLength), "<null>");
    EXPECT_TRUE(m_log.Contains("condition=Download file fail, invalid Content-Length \"12abc\", url="))
        << m_log.Text();

    // Nothing of a failed download reaches the cache.
    EXPECT_TRUE(ListDir(m_cache.Path()).empty());
}

TEST_F(FaultTest, BodyPastContentLengthIsCutOff)
{
    FaultHttpServer server(FaultMode::LongBody, std::string(1000, 'b'));
    ScopedDownloader dl(RemoteInfo(server.BaseUrl(), m_cache.Path(), 0));
    EXPECT_EQ(TakeContent(dl->Open("f.bin", SHO_RemoteOnly)), std::string(1000, 'b'));
    // A kept-alive connection spoilt by the surplus costs the next request a retry, not a failure.
    EXPECT_EQ(TakeContent(dl->Open("g.bin", SHO_RemoteOnly)), std::string(1000, 'b'));
}

TEST_F(FaultTest, StalledServerIsAbandonedAfterTheWindow)
{
    EXPECT_EQ(OpenOnce(FaultMode::Stall, /*uStallSeconds=*/1), "<null>");
    EXPECT_TRUE(
        m_log.Contains("condition=Download file stalled: less than 1 byte/s for 1 s, abandoned, url="))
        << m_log.Text();
}

TEST_F(FaultTest, CancelMakesOpenReturnNull)
{
    FaultHttpServer server(FaultMode::Trickle, std::string(100000, 't'), 20);
    ScopedDownloader dl(RemoteInfo(server.BaseUrl(), m_cache.Path(), 1));
    auto future = std::async(std::launch::async, [&] { return dl->Open("f.bin", 0); });
    WaitForRequest(server);
    EXPECT_TRUE(dl->CancelDownloads());
    // Prompt: far sooner than the transfer (~2000 s) or the stall window (30 s).
    ASSERT_EQ(future.wait_for(std::chrono::seconds(15)), std::future_status::ready);
    EXPECT_EQ(future.get(), nullptr);
    EXPECT_TRUE(m_log.Contains("condition=Download file aborted\r\n")) << m_log.Text();
    EXPECT_TRUE(ListDir(m_cache.Path()).empty());

    // Cancel ends the transfers in flight, not the downloader.
    FaultHttpServer ok(FaultMode::Ok, "fine");
    ScopedDownloader dl2(RemoteInfo(ok.BaseUrl(), m_cache.Path(), 1));
    EXPECT_TRUE(dl2->CancelDownloads());
    EXPECT_EQ(TakeContent(dl2->Open("f.bin", 0)), "fine");
}

TEST_F(FaultTest, ShutdownDuringTransfersWaitsForEveryOpen)
{
    FaultHttpServer server(FaultMode::Trickle, std::string(100000, 't'), 20);
    PemHttpDownloader* pDl = PemHttpDownloader::Create();
    ASSERT_TRUE(pDl->InitlizeUrl(RemoteInfo(server.BaseUrl(), m_cache.Path(), 1)));
    std::vector<std::future<IFile*>> vecOpen;
    for (int i = 0; i < 4; ++i)
    {
        // Two paths: two owners and two joiners.
        const char* pcszPath = i % 2 ? "a.bin" : "b.bin";
        vecOpen.push_back(std::async(std::launch::async, [pDl, pcszPath] { return pDl->Open(pcszPath, 0); }));
    }
    WaitForRequest(server);
    EXPECT_TRUE(pDl->Shutdown());
    // Opens that were under way have left; any that start now fail at once.
    for (auto& future : vecOpen)
    {
        ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(future.get(), nullptr);
    }
    // After shutdown every call fails quietly.
    m_log.Clear();
    EXPECT_EQ(pDl->Open("a.bin", 0), nullptr);
    EXPECT_FALSE(pDl->Exists("a.bin", 0));
    EXPECT_TRUE(pDl->Shutdown());
    EXPECT_EQ(m_log.Text(), "");
    pDl->Release();
}
