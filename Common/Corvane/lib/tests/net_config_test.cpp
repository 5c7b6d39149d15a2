// SPDX-License-Identifier: MIT
// Configuration files, the factory they set up, URLs of store paths and the
// speed meter's arithmetic.
#include "fs/PemFileStreamFactory.h"
#include "net/CorvaneRemoteSetup.h"
#include "net/CorvaneUrl.h"
#include "net/PemConfig.h"
#include "net/PemSpeedMeter.h"
#include "support/LogCapture.h"
#include "support/NetTestUtil.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

const char* const kTemplate = R"({
  "global": { "local": 1, "remote": 1, "threadcount": 16 },
  "local": { "dir": "./_cache/ofse", "desc": "cache" },
  "remote": {
    "count": 1,
    "0": { "url": "http://127.0.0.1:1/pkgs_editor/trunk_editor", "dir": "./_cache/ofse",
           "timeout": 9000, "cache": 1, "limitspeed": 4096 }
  }
})";

} // namespace

TEST(PemConfig, ReadsTheTemplateAndKeepsDefaults)
{
    LogCapture log;
    const std::string strFile = log.Dir() / "a.cfg";
    ASSERT_TRUE(WriteFileText(strFile, kTemplate));
    PemConfig cfg;
    ASSERT_TRUE(cfg.Read(strFile.c_str()));
    EXPECT_STREQ(cfg.GetLocalDir(), "./_cache/ofse");
    EXPECT_TRUE(cfg.IsLocalEnabled());
    EXPECT_TRUE(cfg.IsRemoteEnabled());
    EXPECT_EQ(cfg.ThreadCount(), 16);
    ASSERT_EQ(cfg.Remotes().size(), 1u);
    const CorvaneRemoteInfo& info = cfg.Remotes()[0];
    EXPECT_EQ(info.strUrl, "http://127.0.0.1:1/pkgs_editor/trunk_editor");
    EXPECT_EQ(info.uCache, 1u);
    EXPECT_EQ(info.uLimitSpeed, 4096u);
    EXPECT_EQ(info.uTimeoutMs, 3000u); // "timeout" is not read

    // Absent keys keep their defaults; a key of the wrong type is not taken.
    ASSERT_TRUE(WriteFileText(
        strFile, R"({"global": {"local": "1"}, "remote": {"count": 2, "1": {"url": "u", "cache": 1.5}}})"));
    PemConfig sparse;
    ASSERT_TRUE(sparse.Read(strFile.c_str()));
    EXPECT_FALSE(sparse.IsLocalEnabled());
    EXPECT_FALSE(sparse.IsRemoteEnabled());
    ASSERT_EQ(sparse.Remotes().size(), 1u); // "count" 2 with only entry "1"
    EXPECT_EQ(sparse.Remotes()[0].strUrl, "u");
    EXPECT_EQ(sparse.Remotes()[0].uCache, 0u);
    EXPECT_EQ(log.Text(), "");

    // Entries come in index order whatever the key order; keys at or past
    // "count", and keys that are not plain indexes, are not entries. A huge
    // "count" costs no more than the keys that exist (found by fuzzing: it hung).
    ASSERT_TRUE(WriteFileText(strFile, R"({"remote": {"count": 444444494344, "10": {"url": "ten"},
        "2": {"url": "two"}, "02": {"url": "padded"}, "-1": {"url": "neg"}, "0": {"url": "zero"}}})"));
    PemConfig huge;
    ASSERT_TRUE(huge.Read(strFile.c_str()));
    ASSERT_EQ(huge.Remotes().size(), 3u);
    EXPECT_EQ(huge.Remotes()[0].strUrl, "zero");
    EXPECT_EQ(huge.Remotes()[1].strUrl, "two");
    EXPECT_EQ(huge.Remotes()[2].strUrl, "ten");
    ASSERT_TRUE(WriteFileText(strFile, R"({"remote": {"count": 2, "0": {"url": "a"}, "2": {"url": "b"}}})"));
    PemConfig bounded;
    ASSERT_TRUE(bounded.Read(strFile.c_str()));
    ASSERT_EQ(bounded.Remotes().size(), 1u);
}

TEST(PemConfig, FailuresNameFileOffsetAndParserMessage)
{
    LogCapture log;
    const std::string strFile = log.Dir() / "bad.cfg";
    ASSERT_TRUE(WriteFileText(strFile, "{\"global\": }"));
    PemConfig cfg;
    EXPECT_FALSE(cfg.Read(strFile.c_str()));
    EXPECT_TRUE(log.Contains("function=PemConfig::Read line=")) << log.Text();
    EXPECT_TRUE(log.Contains("condition=PemConfig::Read parse json failed, file=" + strFile +
                             ", offset=11, error=Invalid value.\r\n"))
        << log.Text();

    ASSERT_TRUE(WriteFileText(strFile, "{} {}"));
    EXPECT_FALSE(cfg.Read(strFile.c_str()));
    EXPECT_TRUE(log.Contains("error=The document root must not be followed by other values.")) << log.Text();

    log.Clear();
    const std::string strMissing = log.Dir() / "missing.cfg";
    EXPECT_FALSE(cfg.Read(strMissing.c_str()));
    EXPECT_TRUE(log.Contains("condition=PemConfig::Read open file failed, file=" + strMissing)) << log.Text();
}

TEST(SetupFactoryByConfig, AddsWhatTheConfigurationEnables)
{
    LogCapture log;
    ScopedCacheFileSys cacheFs;
    const std::string strFile = log.Dir() / "c.cfg";
    const std::string strLocal = log.Dir() / "cache";

    // "remote" 0: only the local directory, even with entries present.
    ASSERT_TRUE(
        WriteFileText(strFile, R"({"global": {"local": 1, "remote": 0}, "local": {"dir": ")" + strLocal +
                                   R"("}, "remote": {"count": 1, "0": {"url": "http://127.0.0.1:1"}}})"));
    {
        PemConfig cfg;
        ASSERT_TRUE(cfg.Read(strFile.c_str()));
        PemFileStreamFactory factory;
        ASSERT_TRUE(SetupFactoryByConfig(factory, &cfg));
        EXPECT_EQ(factory.LocalFileSystems().size(), 1u);
        EXPECT_TRUE(factory.RemoteFileSystems().empty());
        EXPECT_TRUE(factory.Downloaders().empty());
    }
    // Two remote sources, in order, each reachable as a downloader.
    ASSERT_TRUE(WriteFileText(
        strFile, R"({"global": {"local": 1, "remote": 1}, "local": {"dir": ")" + strLocal +
                     R"("}, "remote": {"count": 2, "0": {"url": "http://127.0.0.1:1", "dir": "a"},
                                                "1": {"url": "http://127.0.0.1:2", "dir": "b"}}})"));
    {
        PemConfig cfg;
        ASSERT_TRUE(cfg.Read(strFile.c_str()));
        PemFileStreamFactory factory;
        ASSERT_TRUE(SetupFactoryByConfig(factory, &cfg));
        ASSERT_EQ(factory.RemoteFileSystems().size(), 2u);
        EXPECT_STREQ(factory.RemoteFileSystems()[0]->GetRootDir(), "a");
        EXPECT_STREQ(factory.RemoteFileSystems()[1]->GetRootDir(), "b");
        EXPECT_EQ(factory.Downloaders().size(), 2u);
        EXPECT_TRUE(factory.Release());
    }
    // Local enabled with an empty directory fails the setup.
    ASSERT_TRUE(WriteFileText(strFile, R"({"global": {"local": 1}})"));
    {
        PemConfig cfg;
        ASSERT_TRUE(cfg.Read(strFile.c_str()));
        PemFileStreamFactory factory;
        EXPECT_FALSE(SetupFactoryByConfig(factory, &cfg));
        EXPECT_TRUE(log.Contains("condition=factory.SetupByRootDir(pCfg->GetLocalDir())")) << log.Text();
    }
    EXPECT_FALSE(SetupFactoryByConfig(*std::make_unique<PemFileStreamFactory>(), nullptr));
}

TEST(CorvaneUrl, EncodesPathsAddsTheTickAndNamesTheOrigin)
{
    using NSCorvaneNet::BuildFileUrl;
    EXPECT_EQ(BuildFileUrl("http://h/base", "dat/v12/3/37.dat", 42), "http://h/base/dat/v12/3/37.dat?t=42");
    EXPECT_EQ(BuildFileUrl("http://h/base/", "idx/_lastver", 7), "http://h/base/idx/_lastver?t=7");
    EXPECT_EQ(NSCorvaneNet::PercentEncodePath("a b/ü?#&+%41%4"), "a%20b/%C3%BC%3F%23%26%2B%41%254");
    EXPECT_EQ(NSCorvaneNet::PercentEncodePath("A-Z_a.z~0/9"), "A-Z_a.z~0/9");
    // Stores on one server share its connections; another port is another server.
    EXPECT_EQ(NSCorvaneNet::OriginOf("HTTP://CDN.Example:8080/a/store"), "http://cdn.example:8080");
    EXPECT_EQ(NSCorvaneNet::OriginOf("https://cdn.example?x=/y"), "https://cdn.example");
    EXPECT_EQ(NSCorvaneNet::OriginOf("https://cdn.example"), "https://cdn.example");
}

TEST(PemSpeedMeter, DividesTheLastSecondsBytesByTheTimeTheyCover)
{
    PemSpeedMeter meter;
    EXPECT_EQ(meter.CurrentAt(10000), 0u);
    // A steady 1000 bytes per slot: 10000 bytes per second, read at any moment.
    for (uint64_t t = 10000; t < 12000; t += 100)
    {
        meter.AddAt(t + 50, 1000);
    }
    EXPECT_EQ(meter.CurrentAt(11999), 10000u * 1000 / 999);
    // Bursts of 16000 bytes every 800 ms (a limit of 20000 bytes/s met with big
    // chunks) are 16000 or 32000 bytes a second, never 16000 per 100 ms.
    PemSpeedMeter bursts;
    for (uint64_t t = 20000; t < 24000; t += 800)
    {
        bursts.AddAt(t, 16000);
    }
    EXPECT_EQ(bursts.CurrentAt(23250), 32000u * 1000 / 950);
    EXPECT_EQ(bursts.CurrentAt(23900), 16000u * 1000 / 900);
    // Bytes that began to flow 300 ms ago cover 300 ms, not a second.
    PemSpeedMeter fresh;
    fresh.AddAt(5000, 500);
    fresh.AddAt(5250, 1000);
    EXPECT_EQ(fresh.CurrentAt(5300), 1500u * 1000 / 300);
    EXPECT_EQ(fresh.CurrentAt(5000), 500u * 1000 / 100); // at least one slot
    // A second later nothing counts; a reused slot starts over.
    EXPECT_EQ(fresh.CurrentAt(6300), 0u);
    fresh.AddAt(7000, 7);
    EXPECT_EQ(fresh.CurrentAt(7050), 70u);
}
