// SPDX-License-Identifier: MIT
// Connections to a content server, counted where the server accepts them:
// what the downloaders of one run keep alive and share.
#include "net/PemHttpDownloader.h"
#include "support/FaultHttpServer.h"
#include "support/LogCapture.h"
#include "support/NetTestUtil.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

class ConnectionsTest : public ::testing::Test
{
protected:
    LogCapture m_log;
    ScopedCacheFileSys m_cacheFs;
    TempDir m_served;
    TempDir m_cache;
};

} // namespace

// A reader opened while another of the same server lives (the launcher's
// start-up reader, then a check, then a task) pays no new handshake.
TEST_F(ConnectionsTest, DownloadersOfOneServerShareKeptAliveConnectionsWhileOneLives)
{
    ASSERT_TRUE(WriteFileText(m_served / "dat/v1/0/1.dat", "one"));
    ASSERT_TRUE(WriteFileText(m_served / "dat/v1/0/2.dat", "two"));
    std::unique_ptr<FaultHttpServer> pServer =
        FaultHttpServer::ServeDirectory(m_served.Path(), FaultMode::RangeOk);
    TempDir cache2;
    TempDir cache3;
    {
        ScopedDownloader first(RemoteInfo(pServer->BaseUrl(), m_cache.Path(), 1));
        EXPECT_EQ(TakeContent(first->Open("dat/v1/0/1.dat", 0)), "one");
        {
            ScopedDownloader second(RemoteInfo(pServer->BaseUrl(), cache2.Path(), 1));
            EXPECT_EQ(TakeContent(second->Open("dat/v1/0/2.dat", 0)), "two");
        }
        EXPECT_EQ(TakeContent(first->Open("dat/v1/0/2.dat", 0)), "two");
        EXPECT_EQ(pServer->Requests(), 3);
        EXPECT_EQ(pServer->Connections(), 1);
    }
    // With the last of them gone its connections closed: nothing is held for
    // a server nobody reads from.
    ScopedDownloader third(RemoteInfo(pServer->BaseUrl(), cache3.Path(), 1));
    EXPECT_EQ(TakeContent(third->Open("dat/v1/0/1.dat", 0)), "one");
    EXPECT_EQ(pServer->Connections(), 2);
    EXPECT_EQ(m_log.Text(), "");
}
