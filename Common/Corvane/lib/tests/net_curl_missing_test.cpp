// SPDX-License-Identifier: MIT
// A process in which libcurl cannot be loaded: remote sources refuse to start,
// with the library names and the loader's reasons in the error log, and nothing
// crashes. A file of its own, as libcurl is loaded at most once per process.
#include "net/CorvaneCurl.h"
#include "net/PemHttpDownloader.h"
#include "support/LogCapture.h"
#include "support/NetTestUtil.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace NSCorvane;
using namespace CorvaneTest;

TEST(CurlMissing, RemoteSourcesFailWithTheLoadersReason)
{
    // The first name is not there; the second is a library without libcurl's functions.
    NSCorvaneNet::SetCurlLibraryNamesForTest({"libcorvane-no-such-curl.so", "libz.so.1"});
    LogCapture log;
    ScopedCacheFileSys cacheFs;
    TempDir cache;

    PemHttpDownloader* pDownloader = PemHttpDownloader::Create();
    ASSERT_NE(nullptr, pDownloader);
    EXPECT_FALSE(pDownloader->InitlizeUrl(RemoteInfo("http://127.0.0.1:1/store", cache.Path(), 1)));
    EXPECT_EQ(nullptr, pDownloader->Open("f.bin", 0));
    pDownloader->Release();
    // Later attempts fail the same way, each with its own record.
    EXPECT_EQ(nullptr, NSCorvaneNet::LoadCurl());

    const std::string strLog = log.Text();
    const std::string strReason = "function=NSCorvaneNet::LoadCurl line=";
    const std::string strTried = "condition=libcurl not loaded, tried libcorvane-no-such-curl.so "
                                 "(libcorvane-no-such-curl.so: cannot open shared object file";
    size_t uCount = 0;
    for (size_t uPos = strLog.find(strTried); uPos != std::string::npos;
         uPos = strLog.find(strTried, uPos + 1))
    {
        ++uCount;
    }
    EXPECT_EQ(2u, uCount) << strLog;
    EXPECT_TRUE(log.Contains(strReason)) << strLog;
    EXPECT_TRUE(log.Contains("cannot open shared object file: No such file or directory), libz.so.1 lacks "
                             "curl_global_init ("))
        << strLog;
}
