// SPDX-License-Identifier: MIT
// Files whose package is not cached are read as single records by HTTP range:
// against a real nginx (with and without Range support) and against a server
// that answers ranges wrongly on purpose.
#include "format/CorvaneEnvelope.h"
#include "reader/PemCorvaneReader.h"
#include "support/FaultHttpServer.h"
#include "support/LogCapture.h"
#include "support/NetTestUtil.h"
#include "support/NginxServer.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <Corvane/PemCorvaneX64.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numeric>
#include <sstream>
#include <thread>
#include <tuple>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

struct LogLine
{
    std::string strMethod, strUri, strRange;
    int nStatus = 0;
    uint64_t uBytes = 0;
};

std::vector<LogLine> PackageGets(const NginxServer& server)
{
    std::vector<LogLine> vecOut;
    for (const std::string& strLine : server.AccessLogLines())
    {
        LogLine line;
        std::istringstream(strLine) >> line.strMethod >> line.strUri >> line.nStatus >> line.uBytes >>
            line.strRange;
        if (line.strMethod == "GET" && line.strUri.size() > 4 &&
            line.strUri.compare(line.strUri.size() - 4, 4, ".dat") == 0)
        {
            vecOut.push_back(line);
        }
    }
    return vecOut;
}

// Three versions: each changes some files and keeps the others where an
// earlier version wrote them, so version 3 reads from packages of all three.
class RangeReadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_InitCorvaneManager(nullptr, nullptr));
        TestStoreResult previous;
        for (uint32_t uVer = 1; uVer <= 3; ++uVer)
        {
            TestStoreVersion version;
            version.uVersion = uVer;
            version.uFilesPerPackage = 3;
            for (int i = 0; i < 8; ++i)
            {
                const std::string strPath = "bin/f" + std::to_string(i) + ".bin";
                if (uVer == 1 || i % 3 == static_cast<int>(uVer) - 2)
                {
                    version.mapFiles[strPath] = RandomBytes(500 + 9000 * i, uVer * 100 + i);
                }
                else
                {
                    version.mapKept[strPath] = previous.mapElement.at(strPath);
                }
            }
            version.mapFiles["empty.txt"] = "";
            version.mapFiles["big.bin"] = RandomBytes(uVer == 3 ? 400000 : 10, uVer);
            TestStoreResult result;
            ASSERT_TRUE(WriteTestStoreVersion(m_served / "store", version, &result));
            for (const auto& [strPath, strContent] : version.mapFiles)
            {
                m_tree[strPath] = strContent;
            }
            previous = result;
        }
        m_elements = previous.mapElement;
    }
    void TearDown() override { g_UnInitCorvaneManager(); }

    std::string WriteConfig(const std::string& strUrl, const std::string& strExtra = "")
    {
        return WriteRemoteConfig(m_log.Dir() / "remote.cfg", strUrl + "/store", m_cache.Path(), strExtra);
    }

    ReaderPtr NewReader(const std::string& strConfig) { return OpenConfigReader(strConfig, 3); }

    void ExpectTree(IPemCorvaneReader& reader)
    {
        for (const auto& [strPath, strContent] : m_tree)
        {
            EXPECT_TRUE(TakeContent(reader.OpenFile(strPath.c_str(), -1)) == strContent) << strPath;
        }
    }

    std::string PackageOf(const std::string& strPath) const
    {
        std::string strPackage;
        const CORVANE_IDX_ELEMENT& element = m_elements.at(strPath);
        NSCorvaneReader::IdxValue_2_Path(strPackage, element.uElemIdx, element.uVer);
        return strPackage;
    }

    size_t CachedPackages() const
    {
        size_t uCount = 0;
        for (uint32_t uVer = 1; uVer <= 3; ++uVer)
        {
            uCount += ListDir(m_cache / ("dat/v" + std::to_string(uVer) + "/0")).size();
        }
        return uCount;
    }

    LogCapture m_log;
    TempDir m_served;
    TempDir m_cache;
    std::map<std::string, std::string> m_tree; // the files of version 3
    std::map<std::string, CORVANE_IDX_ELEMENT> m_elements;
};

} // namespace

TEST_F(RangeReadTest, RecordsComeByRangeAndNothingIsCached)
{
    NginxServer server(m_served.Path());
    ASSERT_TRUE(server.Running());
    ReaderPtr pReader = NewReader(WriteConfig(server.BaseUrl()));
    ASSERT_TRUE(pReader);
    ExpectTree(*pReader);

    // Only 206s, each for whole records of the version (neighbours may come
    // in one request); never a whole package.
    std::vector<LogLine> vecGets = PackageGets(server);
    ASSERT_GE(vecGets.size(), 1u);
    ASSERT_LE(vecGets.size(), m_tree.size());
    for (const LogLine& line : vecGets)
    {
        EXPECT_EQ(line.nStatus, 206) << line.strUri;
        bool bStartsAtRecord = false;
        bool bEndsAtRecord = false;
        for (const auto& [strPath, element] : m_elements)
        {
            if ("/store/" + PackageOf(strPath) != line.strUri)
            {
                continue;
            }
            const std::string strFirst = "bytes=" + std::to_string(element.uElemOfs) + "-";
            bStartsAtRecord |= line.strRange.compare(0, strFirst.size(), strFirst) == 0;
            const std::string strLast = "-" + std::to_string(element.uElemOfs + element.uElemLen - 1);
            bEndsAtRecord |=
                line.strRange.size() > strLast.size() &&
                line.strRange.compare(line.strRange.size() - strLast.size(), strLast.size(), strLast) == 0;
        }
        EXPECT_TRUE(bStartsAtRecord && bEndsAtRecord) << line.strUri << " " << line.strRange;
    }
    EXPECT_EQ(CachedPackages(), 0u);

    // A cache that holds some packages: those are read from it, the rest by range.
    const std::string strCached = PackageOf("big.bin");
    ASSERT_TRUE(pReader->SyncDownloadDataFile(strCached.c_str()));
    const size_t uBefore = PackageGets(server).size();
    ExpectTree(*pReader);
    vecGets = PackageGets(server);
    size_t uFromCached = 0;
    for (const auto& [strPath, element] : m_elements)
    {
        uFromCached += PackageOf(strPath) == strCached ? 1 : 0;
    }
    EXPECT_EQ(vecGets.size(), uBefore + m_tree.size() - uFromCached);
    for (size_t i = uBefore; i < vecGets.size(); ++i)
    {
        EXPECT_NE(vecGets[i].strUri, "/store/" + strCached);
        EXPECT_EQ(vecGets[i].nStatus, 206);
    }
    EXPECT_EQ(m_log.ProblemText(), "");
}

TEST_F(RangeReadTest, TransferCountsAreWhatTheServerSent)
{
    NginxServer server(m_served.Path());
    ASSERT_TRUE(server.Running());
    ReaderPtr pReader = NewReader(WriteConfig(server.BaseUrl()));
    ASSERT_TRUE(pReader);
    ExpectTree(*pReader);
    ASSERT_TRUE(pReader->SyncDownloadDataFile(PackageOf("big.bin").c_str()));
    CORVANE_TRANSFER_COUNTS counts;
    ASSERT_TRUE(g_GetCorvaneTransferCounts(pReader.get(), &counts));

    // Every request and body byte the server logged, by kind.
    CORVANE_TRANSFER_COUNTS logged;
    for (const std::string& strLine : server.AccessLogLines())
    {
        LogLine line;
        std::istringstream(strLine) >> line.strMethod >> line.strUri >> line.nStatus >> line.uBytes;
        if (line.strMethod == "HEAD")
        {
            ++logged.uQueryRequests;
        }
        else if (line.nStatus == 206)
        {
            ++logged.uRangeRequests;
            logged.uRangeBytes += line.uBytes;
        }
        else if (line.strMethod == "GET")
        {
            ++logged.uWholeRequests;
            logged.uWholeBytes += line.uBytes;
        }
    }
    EXPECT_GT(counts.uRangeRequests, 0u);
    EXPECT_GT(counts.uWholeRequests, 1u); // the version's files and one package
    EXPECT_EQ(logged.uWholeRequests, counts.uWholeRequests);
    EXPECT_EQ(logged.uWholeBytes, counts.uWholeBytes);
    EXPECT_EQ(logged.uRangeRequests, counts.uRangeRequests);
    EXPECT_EQ(logged.uRangeBytes, counts.uRangeBytes);
    EXPECT_EQ(logged.uQueryRequests, counts.uQueryRequests);

    // A local store's reader fetches nothing; a foreign size is refused.
    ReaderPtr pLocal = OpenStoreReader(m_served / "store", 3);
    ASSERT_TRUE(pLocal);
    CORVANE_TRANSFER_COUNTS none;
    ASSERT_TRUE(g_GetCorvaneTransferCounts(pLocal.get(), &none));
    EXPECT_EQ(0u, none.uWholeRequests + none.uRangeRequests + none.uQueryRequests);
    none.uStructSize = 8;
    EXPECT_FALSE(g_GetCorvaneTransferCounts(pLocal.get(), &none));
}

TEST_F(RangeReadTest, RecordsOpenedInPackageOrderAreJoinedAndSkipsAreNot)
{
    // One package of 60 incompressible records, written in path order.
    TempDir served;
    TestStoreVersion version;
    version.uFilesPerPackage = 100;
    std::vector<std::string> vecPath;
    for (int i = 0; i < 60; ++i)
    {
        char szName[32];
        std::snprintf(szName, sizeof(szName), "walk/f%02d.bin", i);
        vecPath.push_back(szName);
        version.mapFiles[szName] = RandomBytes(2000 + 97 * i, 7000 + i);
    }
    TestStoreResult result;
    ASSERT_TRUE(WriteTestStoreVersion(served / "store", version, &result));
    NginxServer server(served.Path());
    ASSERT_TRUE(server.Running());

    // Opens the files picked from vecPath in order on nThreads threads with a
    // reader of its own; returns requests and bytes, checks every content.
    auto fnWalk = [&](const std::vector<size_t>& vecPick, int nThreads)
    {
        const size_t uBefore = PackageGets(server).size();
        ReaderPtr pReader = OpenConfigReader(WriteConfig(server.BaseUrl()), 1);
        std::atomic<size_t> uNext{0};
        auto fnThread = [&]
        {
            for (size_t i; (i = uNext++) < vecPick.size();)
            {
                const std::string& strPath = vecPath[vecPick[i]];
                EXPECT_TRUE(TakeContent(pReader->OpenFile(strPath.c_str(), -1)) ==
                            version.mapFiles.at(strPath))
                    << strPath;
            }
        };
        std::vector<std::thread> vecThreads;
        for (int t = 1; t < nThreads; ++t)
        {
            vecThreads.emplace_back(fnThread);
        }
        fnThread();
        for (std::thread& thread : vecThreads)
        {
            thread.join();
        }
        uint64_t uNeeded = 0;
        for (size_t i : vecPick)
        {
            uNeeded += result.mapElement.at(vecPath[i]).uElemLen;
        }
        const std::vector<LogLine> vecGets = PackageGets(server);
        uint64_t uBytes = 0;
        for (size_t i = uBefore; i < vecGets.size(); ++i)
        {
            EXPECT_EQ(vecGets[i].nStatus, 206);
            uBytes += vecGets[i].uBytes;
        }
        return std::make_tuple(vecGets.size() - uBefore, uBytes, uNeeded);
    };

    std::vector<size_t> vecAll(vecPath.size());
    std::iota(vecAll.begin(), vecAll.end(), 0);
    for (int nThreads : {1, 2})
    {
        SCOPED_TRACE(nThreads);
        // Every record: a handful of requests (windows grow from 256 KiB; two
        // threads arriving out of turn may start one over), no byte more.
        const auto [uRequests, uBytes, uNeeded] = fnWalk(vecAll, nThreads);
        EXPECT_LE(uRequests, 10u);
        EXPECT_EQ(uBytes, uNeeded);
    }
    // Every other record, or two of three: no read-ahead, each record alone.
    std::vector<size_t> vecEveryOther;
    std::vector<size_t> vecTwoOfThree;
    for (size_t i = 0; i < vecPath.size(); ++i)
    {
        if (i % 2 == 0)
            vecEveryOther.push_back(i);
        if (i % 3 != 2)
            vecTwoOfThree.push_back(i);
    }
    for (const auto* pvecPick : {&vecEveryOther, &vecTwoOfThree})
    {
        const auto [uRequests, uBytes, uNeeded] = fnWalk(*pvecPick, 1);
        EXPECT_EQ(uRequests, pvecPick->size());
        EXPECT_EQ(uBytes, uNeeded);
    }
    // A walk that skips now and then loses at most a little.
    std::vector<size_t> vecMostly;
    for (size_t i = 0; i < vecPath.size(); ++i)
    {
        if (i % 12 != 11)
            vecMostly.push_back(i);
    }
    const auto [uRequests, uBytes, uNeeded] = fnWalk(vecMostly, 2);
    EXPECT_LT(uRequests, vecMostly.size() / 2);
    EXPECT_LE(uBytes * 100, uNeeded * 115);
    EXPECT_EQ(m_log.ProblemText(), "");
}

TEST_F(RangeReadTest, WithoutRangesWholePackagesAreFetchedAndCached)
{
    // nginx with "max_ranges 0" answers a range with the whole file: asked once,
    // then the reader keeps to whole packages.
    NginxServer server(m_served.Path(), false, /*bRanges=*/false);
    ASSERT_TRUE(server.Running());
    ReaderPtr pReader = NewReader(WriteConfig(server.BaseUrl()));
    ASSERT_TRUE(pReader);
    ExpectTree(*pReader);
    ExpectTree(*pReader);
    const std::vector<LogLine> vecGets = PackageGets(server);
    ASSERT_FALSE(vecGets.empty());
    EXPECT_NE(vecGets.front().strRange, "-");
    for (size_t i = 1; i < vecGets.size(); ++i)
    {
        EXPECT_EQ(vecGets[i].nStatus, 200);
        EXPECT_EQ(vecGets[i].strRange, "-");
    }
    EXPECT_EQ(vecGets.size(), CachedPackages() + 1);
    EXPECT_TRUE(m_log.Contains("Range reads answered with the whole file")) << m_log.Text();
}

TEST_F(RangeReadTest, ConcurrentOpensShareOneLimitedRequestThatCancelStops)
{
    NginxServer server(m_served.Path());
    ASSERT_TRUE(server.Running());
    ReaderPtr pReader = NewReader(WriteConfig(server.BaseUrl()));
    ASSERT_TRUE(pReader);
    // Limited to about 2 s for the record, so that every thread joins the one request.
    ASSERT_TRUE(pReader->SetLimitSpeed(200000));
    std::vector<std::string> vecResult(8);
    std::vector<std::thread> vecThreads;
    for (size_t i = 0; i < vecResult.size(); ++i)
    {
        vecThreads.emplace_back([&, i] { vecResult[i] = TakeContent(pReader->OpenFile("big.bin", -1)); });
    }
    bool bMeasured = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!bMeasured && std::chrono::steady_clock::now() < deadline)
    {
        bMeasured = pReader->GetDownloadSpeed() > 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (std::thread& t : vecThreads)
    {
        t.join();
    }
    EXPECT_TRUE(bMeasured);
    for (const std::string& str : vecResult)
    {
        EXPECT_TRUE(str == m_tree.at("big.bin"));
    }
    EXPECT_EQ(PackageGets(server).size(), 1u);

    // Cancelled while it runs: no content, and no whole package either. The
    // meter covers the last second: once it shows 0 again, a new figure means
    // the new transfer is under way.
    ASSERT_TRUE(pReader->SetLimitSpeed(20000));
    auto fnWaitForSpeed = [&](bool bRunning)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((pReader->GetDownloadSpeed() > 0) != bRunning && std::chrono::steady_clock::now() < deadline)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return (pReader->GetDownloadSpeed() > 0) == bRunning;
    };
    ASSERT_TRUE(fnWaitForSpeed(false));
    std::string strCancelled;
    std::thread reader([&] { strCancelled = TakeContent(pReader->OpenFile("big.bin", -1)); });
    EXPECT_TRUE(fnWaitForSpeed(true));
    EXPECT_TRUE(pReader->CancelDownloads());
    reader.join();
    EXPECT_EQ(strCancelled, "<null>");
    const std::vector<LogLine> vecGets = PackageGets(server);
    ASSERT_EQ(vecGets.size(), 2u);
    EXPECT_EQ(vecGets[1].nStatus, 206);
    EXPECT_TRUE(m_log.Contains("Download file aborted")) << m_log.Text();
    EXPECT_EQ(CachedPackages(), 0u);
}

TEST_F(RangeReadTest, MisbehavingRangesAreRefusedAndTheWholePackageServes)
{
    struct Case
    {
        FaultMode eMode;
        const char* pcszLog; // what the log says about it
        int nRangeRequests;  // range requests for the first file before the package
        bool bLaterByRange;  // whether later files are asked for by range again
    };
    const Case cases[] = {
        {FaultMode::RangeWrongContentRange, "wrong Content-Range", 2, true},
        {FaultMode::RangeShort, "body size mismatch", 2, true},
        {FaultMode::RangeLong, "body longer than the range", 2, true},
        {FaultMode::RangeCorrupt, "Record read by range failed its checks, package=dat/v3/0/0.dat offset=28",
         2, true},
        {FaultMode::RangeNotSatisfiable, "code is 416", 1, true},
        {FaultMode::RangeIgnored, "Range reads answered with the whole file", 1, false},
    };
    const std::string strFirst = "big.bin"; // package dat/v3/0/0.dat, first record
    ASSERT_EQ(PackageOf(strFirst), "dat/v3/0/0.dat");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pcszLog);
        std::filesystem::remove_all(m_cache / "dat");
        m_log.Clear();
        std::unique_ptr<FaultHttpServer> pServer = FaultHttpServer::ServeDirectory(m_served.Path(), c.eMode);
        ReaderPtr pReader = NewReader(WriteConfig(pServer->BaseUrl()));
        ASSERT_TRUE(pReader);
        const int nSetup = pServer->Requests();
        EXPECT_TRUE(TakeContent(pReader->OpenFile(strFirst.c_str(), -1)) == m_tree.at(strFirst));
        EXPECT_EQ(pServer->Requests() - nSetup, c.nRangeRequests + 1);
        EXPECT_TRUE(m_log.Contains(c.pcszLog)) << m_log.Text();
        EXPECT_EQ(CachedPackages(), 1u); // the fallback caches the package as before
        // A file of another package: by range again, unless the server ignores ranges.
        const int nBefore = pServer->Requests();
        EXPECT_TRUE(TakeContent(pReader->OpenFile("bin/f0.bin", -1)) == m_tree.at("bin/f0.bin"));
        EXPECT_EQ(pServer->Requests() - nBefore, c.bLaterByRange ? c.nRangeRequests + 1 : 1);
        // Records read ahead fail the same ways and end in the same files.
        std::vector<std::string> vecAll;
        for (const auto& [strPath, strContent] : m_tree)
        {
            vecAll.push_back(strPath);
        }
        for (const std::string& strPath : vecAll)
        {
            EXPECT_TRUE(TakeContent(pReader->OpenFile(strPath.c_str(), -1)) == m_tree.at(strPath)) << strPath;
        }
    }
}
