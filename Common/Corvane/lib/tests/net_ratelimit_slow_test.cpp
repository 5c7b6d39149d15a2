// SPDX-License-Identifier: MIT
// The rate limit and the speed meter over real transfers from nginx. These run
// for seconds by nature; the bounds are generous, only the order of magnitude
// is checked.
#include "net/PemHttpDownloader.h"
#include "support/LogCapture.h"
#include "support/NetTestUtil.h"
#include "support/NginxServer.h"
#include "support/TempDir.h"

#include <Corvane/CorvaneRecords.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class RateLimitTest : public ::testing::Test
{
protected:
    static constexpr uint64_t kLimit = 200 * 1024; // bytes per second

    void SetUp() override
    {
        m_strContent = RandomBytes(5 * kLimit, 5);
        ASSERT_TRUE(WriteFileText(m_served / "five.bin", m_strContent));
        m_server = std::make_unique<NginxServer>(m_served.Path());
        ASSERT_TRUE(m_server->Running());
    }

    CorvaneRemoteInfo Info(uint64_t uLimit) const
    {
        CorvaneRemoteInfo info = RemoteInfo(m_server->BaseUrl(), m_cache.Path(), 0);
        info.uLimitSpeed = uLimit;
        return info;
    }

    LogCapture m_log;
    ScopedCacheFileSys m_cacheFs;
    TempDir m_served;
    TempDir m_cache;
    std::string m_strContent;
    std::unique_ptr<NginxServer> m_server;
};

// Fetches uSeconds of data at uLimit while sampling the meter every 100 ms
// after the first second; checks the time taken and that the meter shows the
// bytes actually received per second. A loaded machine can only make the
// transfer slower than the limit, never faster, so the bounds are: no sample
// above the limit (plus slack for one catch-up after a stall), and the mean of
// the samples close to the real mean rate of the whole transfer.
void FetchAndWatchTheMeter(PemHttpDownloader* pDownloader, const std::string& strName,
                           const std::string& strContent, uint64_t uLimit)
{
    const Clock::time_point start = Clock::now();
    auto future = std::async(std::launch::async,
                             [&] { return TakeContent(pDownloader->Open(strName.c_str(), SHO_RemoteOnly)); });
    std::vector<uint64_t> vecSamples;
    while (future.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
    {
        if (SecondsSince(start) > 1.2)
        {
            vecSamples.push_back(pDownloader->GetCurrentSpeed());
        }
    }
    const double dSeconds = SecondsSince(start);
    EXPECT_TRUE(future.get() == strContent);
    const double dLimitSeconds = static_cast<double>(strContent.size()) / static_cast<double>(uLimit);
    EXPECT_GT(dSeconds, dLimitSeconds * 0.75);
    EXPECT_LT(dSeconds, dLimitSeconds * 4);
    ASSERT_GE(vecSamples.size(), 10u);
    double dSum = 0;
    uint64_t uMax = 0;
    for (const uint64_t uSample : vecSamples)
    {
        uMax = std::max(uMax, uSample);
        dSum += static_cast<double>(uSample);
    }
    EXPECT_LE(uMax, uLimit * 3 / 2);
    const double dMean = dSum / static_cast<double>(vecSamples.size());
    const double dReal = static_cast<double>(strContent.size()) / dSeconds;
    EXPECT_GT(dMean, dReal * 0.7) << "real " << dReal << " B/s";
    EXPECT_LT(dMean, dReal * 1.3) << "real " << dReal << " B/s";
}

} // namespace

TEST_F(RateLimitTest, TheMeterShowsTheBytesReceivedPerSecondUnderALimit)
{
    // 200 KiB/s with the downloader's limit, then 20 KiB/s set on the running
    // downloader (where libcurl's chunks hold most of a second's allowance).
    {
        ScopedDownloader dl(Info(kLimit));
        FetchAndWatchTheMeter(dl.Get(), "five.bin", m_strContent, kLimit);
    }
    {
        ScopedDownloader dl(Info(0));
        const std::string strSmall = m_strContent.substr(0, 4 * kLimit / 10);
        ASSERT_TRUE(WriteFileText(m_served / "small.bin", strSmall));
        EXPECT_TRUE(dl->SetLimitSpeed(kLimit / 10));
        FetchAndWatchTheMeter(dl.Get(), "small.bin", strSmall, kLimit / 10);
        // Once nothing flows, the meter falls to 0 within about a second.
        const Clock::time_point idle = Clock::now();
        while (dl->GetCurrentSpeed() != 0 && SecondsSince(idle) < 10)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_EQ(dl->GetCurrentSpeed(), 0u);
    }
    EXPECT_EQ(m_log.Text(), "");
}

TEST_F(RateLimitTest, LiftingTheLimitMidwayFinishesAtOnce)
{
    ScopedDownloader dl(Info(kLimit / 10)); // 50 s at this limit
    const Clock::time_point start = Clock::now();
    auto future =
        std::async(std::launch::async, [&] { return TakeContent(dl->Open("five.bin", SHO_RemoteOnly)); });
    EXPECT_EQ(future.wait_for(std::chrono::seconds(1)), std::future_status::timeout);
    EXPECT_TRUE(dl->SetLimitSpeed(0));
    ASSERT_EQ(future.wait_for(std::chrono::seconds(15)), std::future_status::ready);
    EXPECT_TRUE(future.get() == m_strContent);
    EXPECT_LT(SecondsSince(start), 15.0);
}
