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

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

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

} // namespace

TEST_F(RateLimitTest, FiveSecondsOfDataTakeAboutFiveSecondsAndTheMeterSeesIt)
{
    ScopedDownloader dl(Info(kLimit));
    const Clock::time_point start = Clock::now();
    auto future =
        std::async(std::launch::async, [&] { return TakeContent(dl->Open("five.bin", SHO_RemoteOnly)); });
    // While it runs, the meter reports a figure of the limit's order.
    uint64_t uMaxSpeed = 0;
    while (future.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
    {
        if (SecondsSince(start) > 1.5)
        {
            uMaxSpeed = std::max(uMaxSpeed, dl->GetCurrentSpeed());
        }
    }
    const double dSeconds = SecondsSince(start);
    EXPECT_TRUE(future.get() == m_strContent);
    EXPECT_GT(dSeconds, 3.5);
    EXPECT_LT(dSeconds, 20.0);
    EXPECT_GT(uMaxSpeed, kLimit / 4);
    EXPECT_LT(uMaxSpeed, kLimit * 4);
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
