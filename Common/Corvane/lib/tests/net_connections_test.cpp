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

// A reader opened while another of the same server lives (the launcher's
// start-up reader, then a check, then a task) pays no new handshake.
TEST(Connections, DownloadersOfOneServerShareKeptAliveConnectionsWhileOneLives)
{
    LogCapture log;
    ScopedCacheFileSys cacheFs;
    TempDir served;
    TempDir cache1;
    TempDir cache2;
    TempDir cache3;
    ASSERT_TRUE(WriteFileText(served / "dat/v1/0/1.dat", "one"));
    ASSERT_TRUE(WriteFileText(served / "dat/v1/0/2.dat", "two"));
    std::unique_ptr<FaultHttpServer> pServer =
        FaultHttpServer::ServeDirectory(served.Path(), FaultMode::RangeOk);
    {
        ScopedDownloader first(RemoteInfo(pServer->BaseUrl(), cache1.Path(), 1));
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
    EXPECT_EQ(log.Text(), "");
}
