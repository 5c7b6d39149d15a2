// SPDX-License-Identifier: MIT
// A task's fetch plan: records (or whole packages) planned at once, fetched on
// the transfer thread with many requests in flight and taken by the opens,
// against a real nginx and against a server that breaks requests on purpose.
#include "fetch/PemFetchPlanner.h"
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
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

using Clock = std::chrono::steady_clock;

struct LogLine
{
    std::string strMethod, strUri, strRange;
    int nStatus = 0;
};

std::vector<LogLine> PackageGets(const NginxServer& server)
{
    std::vector<LogLine> vecOut;
    for (const std::string& strLine : server.AccessLogLines())
    {
        LogLine line;
        uint64_t uBytes = 0;
        std::istringstream(strLine) >> line.strMethod >> line.strUri >> line.nStatus >> uBytes >>
            line.strRange;
        const size_t uQuery = line.strUri.find('?');
        const std::string strPath = line.strUri.substr(0, uQuery);
        if (line.strMethod == "GET" && strPath.size() > 4 &&
            strPath.compare(strPath.size() - 4, 4, ".dat") == 0)
        {
            vecOut.push_back(line);
        }
    }
    return vecOut;
}

// Established connections to a local port, as the kernel lists them.
size_t ConnectionsTo(uint16_t uPort)
{
    std::ifstream file("/proc/net/tcp");
    std::string strLine;
    std::getline(file, strLine);
    size_t uCount = 0;
    char szPort[8];
    std::snprintf(szPort, sizeof(szPort), "%04X", uPort);
    while (std::getline(file, strLine))
    {
        std::istringstream in(strLine);
        std::string strSlot, strLocal, strRemote, strState;
        in >> strSlot >> strLocal >> strRemote >> strState;
        if (strState == "01" && strRemote.size() > 5 && strRemote.substr(strRemote.size() - 4) == szPort)
        {
            ++uCount;
        }
    }
    return uCount;
}

bool WaitFor(const std::function<bool()>& fnDone, std::chrono::milliseconds deadline)
{
    const auto tEnd = Clock::now() + deadline;
    while (!fnDone())
    {
        if (Clock::now() > tEnd)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::vector<const char*> CStrings(const std::vector<std::string>& vec)
{
    std::vector<const char*> vecOut;
    for (const std::string& str : vec)
    {
        vecOut.push_back(str.c_str());
    }
    return vecOut;
}

// A store of nFiles files of 400,000 random bytes, each in a package of its own.
bool WriteLargeFiles(const TempDir& served, int nFiles, uint32_t uSeed, std::vector<std::string>* pvecPaths,
                     TestStoreResult* pResult)
{
    TestStoreVersion version;
    version.uFilesPerPackage = 1;
    for (int i = 0; i < nFiles; ++i)
    {
        const std::string strPath = "big/f" + std::to_string(i) + ".bin";
        version.mapFiles[strPath] = RandomBytes(400000, uSeed + static_cast<uint32_t>(i));
        pvecPaths->push_back(strPath);
    }
    return WriteTestStoreVersion(served / "store", version, pResult);
}

// Three versions of 48 files in packages of eight: each version changes a
// third of the files and keeps the rest where an earlier one wrote them.
class FetchPlanTest : public ::testing::Test
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
            version.uFilesPerPackage = 8;
            for (int i = 0; i < 48; ++i)
            {
                char szName[32];
                std::snprintf(szName, sizeof(szName), "dir%d/f%02d.bin", i % 3, i);
                if (uVer == 1 || i % 3 == static_cast<int>(uVer) - 2)
                {
                    version.mapFiles[szName] = RandomBytes(1000 + 700 * i, uVer * 100 + i);
                }
                else
                {
                    version.mapKept[szName] = previous.mapElement.at(szName);
                }
            }
            version.mapFiles["empty.txt"] = "";
            TestStoreResult result;
            ASSERT_TRUE(WriteTestStoreVersion(m_served / "store", version, &result));
            for (const auto& [strPath, strContent] : version.mapFiles)
            {
                m_tree[strPath] = strContent;
            }
            previous = result;
            m_vecPackage = result.vecPackage;
        }
        for (const auto& [strPath, strContent] : m_tree)
        {
            m_vecPath.push_back(strPath);
        }
    }
    void TearDown() override { g_UnInitCorvaneManager(); }

    ReaderPtr NewReader(const std::string& strUrl, const std::string& strExtra = "")
    {
        return OpenConfigReader(
            WriteRemoteConfig(m_log.Dir() / "remote.cfg", strUrl + "/store", m_cache.Path(), strExtra), 3);
    }

    // Files from this size on count as large: about half of them.
    static constexpr uint32_t kLarge = 20000;

    // A reader of the served store, and the implementation behind it for the knobs tests turn.
    std::pair<ReaderPtr, PemCorvaneReader*> NewImplReader(const std::string& strUrl)
    {
        ReaderPtr pReader = NewReader(strUrl);
        PemCorvaneReader* pImpl = dynamic_cast<PemCorvaneReader*>(pReader.get());
        return {std::move(pReader), pImpl};
    }

    bool Plan(IPemCorvaneReader& reader, const std::vector<std::string>& vecPath, uint32_t uFlags = 0)
    {
        const std::vector<const char*> vecC = CStrings(vecPath);
        return g_PlanCorvaneFetch(&reader, vecC.data(), static_cast<uint32_t>(vecC.size()), uFlags);
    }

    // Opens every path of the plan on two threads, in the plan's order.
    void ExpectTree(IPemCorvaneReader& reader)
    {
        std::atomic<size_t> uNext{0};
        std::vector<std::string> vecGot(m_vecPath.size());
        auto fnWorker = [&]
        {
            for (size_t i = uNext++; i < m_vecPath.size(); i = uNext++)
            {
                vecGot[i] = TakeContent(reader.OpenFile(m_vecPath[i].c_str(), -1));
            }
        };
        std::thread other(fnWorker);
        fnWorker();
        other.join();
        for (size_t i = 0; i < m_vecPath.size(); ++i)
        {
            EXPECT_TRUE(vecGot[i] == m_tree.at(m_vecPath[i])) << m_vecPath[i];
        }
    }

    // Packages and temporaries in the cache; indexes and lists left out.
    std::vector<std::string> CacheFiles() const
    {
        std::vector<std::string> vecOut;
        if (std::filesystem::exists(m_cache / "dat"))
        {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(m_cache / "dat"))
            {
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '_')
                {
                    vecOut.push_back(entry.path().string());
                }
            }
        }
        return vecOut;
    }

    LogCapture m_log;
    TempDir m_served;
    TempDir m_cache;
    std::map<std::string, std::string> m_tree; // the files of version 3
    std::vector<std::string> m_vecPath;
    std::vector<std::string> m_vecPackage; // written by version 3
};

TEST(FetchPlannerTest, JoinsCheapGapsWithinAnEighthAndSplitsLongRanges)
{
    // Records of 100 bytes every 110 bytes, and one far off.
    std::vector<FetchRecord> vecRecord;
    for (uint32_t i = 0; i < 8; ++i)
    {
        vecRecord.push_back({"dat/a", 110ull * i, 100, 7 - i});
    }
    vecRecord.push_back({"dat/a", 100000, 100, 8});
    vecRecord.push_back({"dat/a", 0, 100, 9}); // the same content under another path
    vecRecord.push_back({"dat/b", 0, 10u << 20, 10});
    FetchPlanRules rules;
    rules.uMaxGap = 1000;
    rules.uPartSize = 4u << 20;
    const std::vector<FetchRange> vecRange = PlanFetchRanges(vecRecord, rules);
    ASSERT_EQ(vecRange.size(), 3u);
    // In the order first needed; the gaps of the joined one are within an eighth.
    EXPECT_EQ(vecRange[0].strDat, "dat/a");
    EXPECT_EQ(vecRange[0].uStart, 0u);
    EXPECT_EQ(vecRange[0].uEnd, 870u);
    EXPECT_EQ(vecRange[0].vecRecord.size(), 9u);
    EXPECT_EQ(vecRange[1].uStart, 100000u);
    EXPECT_EQ(vecRange[2].strDat, "dat/b");
    ASSERT_EQ(vecRange[2].vecPart.size(), 3u);
    uint64_t uAt = 0;
    for (const FetchPart& part : vecRange[2].vecPart)
    {
        EXPECT_EQ(part.uOffset, uAt);
        uAt += part.uLength;
    }
    EXPECT_EQ(uAt, 10u << 20);

    // Gaps worth more than an eighth of the records stay unjoined.
    std::vector<FetchRecord> vecSparse;
    for (uint32_t i = 0; i < 8; ++i)
    {
        vecSparse.push_back({"dat/a", 200ull * i, 100, i});
    }
    EXPECT_EQ(PlanFetchRanges(vecSparse, rules).size(), 7u); // one gap of 100 fits in 800 / 8
}

TEST_F(FetchPlanTest, PlannedTaskGetsExactBytesWithFarFewerRequests)
{
    NginxServer server(m_served.Path());
    ASSERT_TRUE(server.Running());
    ReaderPtr pReader = NewReader(server.BaseUrl());
    ASSERT_TRUE(pReader);
    ASSERT_TRUE(Plan(*pReader, m_vecPath));
    ExpectTree(*pReader);

    const std::vector<LogLine> vecGets = PackageGets(server);
    ASSERT_GE(vecGets.size(), 1u);
    EXPECT_LE(vecGets.size() * 4, m_vecPath.size()) << "one request per package or so, not per file";
    for (const LogLine& line : vecGets)
    {
        EXPECT_EQ(line.nStatus, 206) << line.strUri;
    }
    EXPECT_TRUE(CacheFiles().empty());

    CORVANE_FETCH_PROGRESS progress;
    ASSERT_TRUE(g_GetCorvaneFetchProgress(pReader.get(), &progress));
    EXPECT_EQ(progress.uFilesPlanned, m_vecPath.size()); // the empty file has a record too
    EXPECT_GE(progress.uFilesPlanned, progress.uFilesReady);
    EXPECT_EQ(progress.uFilesReady, progress.uFilesPlanned);
    EXPECT_GT(progress.uBytesPlanned, 0u);
    EXPECT_EQ(progress.uBytesDone, progress.uBytesPlanned);
    CORVANE_TRANSFER_COUNTS counts;
    ASSERT_TRUE(g_GetCorvaneTransferCounts(pReader.get(), &counts));
    EXPECT_EQ(counts.uRangeRequests, vecGets.size());

    // Ended, the plan serves nothing: opens read as without one.
    ASSERT_TRUE(g_EndCorvaneFetch(pReader.get()));
    ASSERT_TRUE(g_GetCorvaneFetchProgress(pReader.get(), &progress));
    EXPECT_EQ(progress.uFilesPlanned, 0u);
    EXPECT_TRUE(TakeContent(pReader->OpenFile(m_vecPath[5].c_str(), -1)) == m_tree.at(m_vecPath[5]));
    EXPECT_EQ(m_log.ProblemText(), "");
}

TEST_F(FetchPlanTest, EveryPathIsToldOnceInTheOrderItsBytesCome)
{
    // Version 1's packages come slowly: the files kept from it (dir2/) are
    // told last, though the task opens them first.
    NginxServer server(m_served.Path(), false, true, "location /store/dat/v1/ { limit_rate 50k; }");
    ASSERT_TRUE(server.Running());
    ReaderPtr pReader = NewReader(server.BaseUrl());
    ASSERT_TRUE(pReader);
    uint32_t uIndex = 0;
    EXPECT_EQ(g_NextCorvaneFetchArrival(pReader.get(), &uIndex, 0), 2) << "no plan";
    EXPECT_EQ(g_NextCorvaneFetchArrival(pReader.get(), nullptr, 0), -1);

    std::vector<std::string> vecOrder(m_vecPath.rbegin(), m_vecPath.rend());
    vecOrder.insert(vecOrder.begin() + 5, "no/such/file.txt");
    ASSERT_TRUE(Plan(*pReader, vecOrder));
    std::vector<uint32_t> vecTold;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    for (int nResult = 0; nResult != 2;)
    {
        ASSERT_LT(Clock::now(), deadline);
        nResult = g_NextCorvaneFetchArrival(pReader.get(), &uIndex, 1000);
        ASSERT_GE(nResult, 0);
        if (nResult == 1)
        {
            vecTold.push_back(uIndex);
        }
    }
    ASSERT_EQ(vecTold.size(), vecOrder.size());
    EXPECT_EQ(std::set<uint32_t>(vecTold.begin(), vecTold.end()).size(), vecOrder.size()) << "each once";
    EXPECT_EQ(vecTold.front(), 5u) << "a path with nothing to fetch is told at once";
    // Paced, a range still starts with a burst, so a short one of version 1
    // may come early; but the last to come is one of its, where the task's
    // order would end with dir0/.
    EXPECT_EQ(vecOrder[vecTold.back()].rfind("dir2/", 0), 0u) << vecOrder[vecTold.back()];
    EXPECT_EQ(g_NextCorvaneFetchArrival(pReader.get(), &uIndex, 0), 2) << "all told";
    // Told, the files open from the plan's bytes: no request more.
    const size_t uGets = PackageGets(server).size();
    ExpectTree(*pReader);
    EXPECT_EQ(PackageGets(server).size(), uGets);
}

TEST_F(FetchPlanTest, OverHttp2ThePlanSharesOneConnection)
{
    // Slow answers, so that the requests of the plan overlap.
    for (const bool bHttp2 : {true, false})
    {
        SCOPED_TRACE(bHttp2 ? "HTTP/2" : "HTTP/1.1");
        NginxServer server(m_served.Path(), /*bHttps=*/true, /*bRanges=*/true, "limit_rate 400k;", bHttp2);
        ASSERT_TRUE(server.Running());
        ReaderPtr pReader =
            NewReader(server.BaseUrl(), R"(, "cabundle": ")" + server.CertificateFile() + "\"");
        ASSERT_TRUE(pReader);
        // The reader's own requests (index, lists) may keep a connection open.
        const size_t uBefore = ConnectionsTo(server.Port());
        std::atomic<bool> bDone{false};
        size_t uMost = 0;
        std::thread watch(
            [&]
            {
                while (!bDone)
                {
                    uMost = std::max(uMost, ConnectionsTo(server.Port()));
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            });
        ASSERT_TRUE(Plan(*pReader, m_vecPath));
        ExpectTree(*pReader);
        bDone = true;
        watch.join();
        if (bHttp2)
        {
            EXPECT_EQ(uMost, uBefore + 1);
        }
        else
        {
            EXPECT_GT(uMost, uBefore + 1);
        }
        for (const LogLine& line : PackageGets(server))
        {
            EXPECT_EQ(line.nStatus, 206) << line.strUri;
        }
    }
    EXPECT_EQ(m_log.ProblemText(), "");
}

TEST_F(FetchPlanTest, ServerRefusingRangesFallsBackToWholePackages)
{
    NginxServer server(m_served.Path(), /*bHttps=*/false, /*bRanges=*/false);
    ASSERT_TRUE(server.Running());
    ReaderPtr pReader = NewReader(server.BaseUrl());
    ASSERT_TRUE(pReader);
    ASSERT_TRUE(Plan(*pReader, m_vecPath));
    ExpectTree(*pReader);
    // The first answer turned ranges off; every package came whole, once.
    std::map<std::string, int> mapWhole;
    for (const LogLine& line : PackageGets(server))
    {
        EXPECT_EQ(line.nStatus, 200);
        mapWhole[line.strUri] += line.strRange == "-" ? 1 : 0;
    }
    for (const auto& [strUri, nCount] : mapWhole)
    {
        EXPECT_LE(nCount, 1) << strUri;
    }
    EXPECT_FALSE(CacheFiles().empty());
    EXPECT_TRUE(m_log.Contains("whole packages from now on"));
    // No range plan on such a source any more.
    EXPECT_FALSE(Plan(*pReader, m_vecPath));
}

TEST_F(FetchPlanTest, ResetStallAndDamageAreRetriedThenReadAsWithoutPlan)
{
    FaultScriptOptions options;
    options.uStallMs = 3000;
    // Each package of version 3 meets one fault on its first request.
    ASSERT_EQ(m_vecPackage.size(), 3u);
    // Damaged twice: the plan's copy and the record read once more; then its
    // package. (The first package holds eight records: the flip hits one.)
    options.mapScript["/store/" + m_vecPackage[0]] = {RequestFault::FlipBytes, RequestFault::FlipBytes};
    options.mapScript["/store/" + m_vecPackage[1]] = {RequestFault::Stall};
    options.mapScript["/store/" + m_vecPackage[2]] = {RequestFault::ResetMidBody};
    auto pScript = std::make_shared<FaultScript>(options);
    auto pServer = FaultHttpServer::ServeDirectory(m_served.Path(), pScript);
    ReaderPtr pReader = NewReader(pServer->BaseUrl(), R"(, "stalltimeout": 1)");
    ASSERT_TRUE(pReader);
    ASSERT_TRUE(Plan(*pReader, m_vecPath));
    ExpectTree(*pReader);
    EXPECT_TRUE(m_log.Contains("Record of a fetch plan failed its checks")) << m_log.Text();
    EXPECT_TRUE(m_log.Contains("Record range reads failed, reading the whole package")) << m_log.Text();
    // Every fault was met by the plan's own requests.
    std::set<std::string> setKinds;
    for (const std::string& strFault : pScript->Committed())
    {
        setKinds.insert(strFault.substr(0, strFault.find(' ')));
    }
    EXPECT_EQ(setKinds, (std::set<std::string>{"reset-mid-body", "stall", "flipped-byte"}));
}

TEST_F(FetchPlanTest, MemoryWaitingToBeOpenedStaysBounded)
{
    NginxServer server(m_served.Path());
    ASSERT_TRUE(server.Running());
    auto [pReader, pImpl] = NewImplReader(server.BaseUrl());
    ASSERT_TRUE(pImpl);
    constexpr uint64_t kBound = 48u << 10;
    pImpl->Fetch().SetMemoryBound(kBound);
    // Every other file: the gaps keep most records apart.
    std::vector<std::string> vecEven;
    uint64_t uLargest = 0;
    uint64_t uTotal = 0;
    for (size_t i = 0; i < m_vecPath.size(); i += 2)
    {
        vecEven.push_back(m_vecPath[i]);
        uLargest = std::max<uint64_t>(uLargest, m_tree.at(m_vecPath[i]).size());
        uTotal += m_tree.at(m_vecPath[i]).size();
    }
    ASSERT_GT(uTotal, 8 * kBound);
    ASSERT_TRUE(Plan(*pReader, vecEven));
    // Give the transfer thread time to run ahead as far as it may.
    CORVANE_FETCH_PROGRESS progress;
    ASSERT_TRUE(WaitFor(
        [&]
        {
            g_GetCorvaneFetchProgress(pReader.get(), &progress);
            return progress.uBytesDone >= kBound / 2;
        },
        std::chrono::seconds(10)));
    for (const std::string& strPath : vecEven)
    {
        EXPECT_TRUE(TakeContent(pReader->OpenFile(strPath.c_str(), -1)) == m_tree.at(strPath)) << strPath;
    }
    const uint64_t uHigh = pImpl->Fetch().HighWater();
    EXPECT_GT(uHigh, 0u);
    // Past the bound only by the range an open waits for (a record joined
    // with a neighbour at most: the gaps keep records nearly apart).
    EXPECT_LE(uHigh, kBound + 3 * uLargest);
    g_GetCorvaneFetchProgress(pReader.get(), &progress);
    EXPECT_GT(progress.uBytesDone, 4 * kBound);
}

TEST_F(FetchPlanTest, LargeRecordsWaitOnDiskAndAreDecodedAsTheyAreRead)
{
    NginxServer server(m_served.Path());
    ASSERT_TRUE(server.Running());
    auto [pReader, pImpl] = NewImplReader(server.BaseUrl());
    ASSERT_TRUE(pImpl);
    constexpr uint64_t kBound = 48u << 10;
    pImpl->SetStreamThreshold(kLarge);
    pImpl->Fetch().SetSpillThreshold(kLarge);
    pImpl->Fetch().SetMemoryBound(kBound);
    size_t uLargeFiles = 0;
    for (const std::string& strPath : m_vecPath)
    {
        uLargeFiles += m_tree.at(strPath).size() >= kLarge;
    }
    ASSERT_GT(uLargeFiles, 10u);
    ASSERT_TRUE(Plan(*pReader, m_vecPath));
    ExpectTree(*pReader);
    // Only the small records held memory; the large ones waited on disk.
    EXPECT_LE(pImpl->Fetch().HighWater(), kBound + 3 * kLarge);
    // Every file the plan wrote beside the packages went with its reader.
    for (const std::string& strFile : CacheFiles())
    {
        EXPECT_EQ(strFile.find(".tmp"), std::string::npos) << strFile;
    }
    // Without a plan too, a large file comes without a buffer.
    const std::string strLast = "dir2/f47.bin";
    ASSERT_GE(m_tree.at(strLast).size(), kLarge);
    IFile* pFile = pReader->OpenFile(strLast.c_str(), -1);
    ASSERT_TRUE(pFile);
    EXPECT_EQ(pFile->GetBuffer(), nullptr);
    EXPECT_TRUE(TakeContent(pFile) == m_tree.at(strLast));
    EXPECT_TRUE(m_log.ProblemText().empty()) << m_log.ProblemText();
}

// The records of a fetched range share its bytes: a file still being read
// keeps them, whatever its neighbours and the plan do meanwhile.
TEST_F(FetchPlanTest, FilesOfOneFetchedRangeOutliveTheirNeighboursAndThePlan)
{
    NginxServer server(m_served.Path());
    ASSERT_TRUE(server.Running());
    auto [pReader, pImpl] = NewImplReader(server.BaseUrl());
    ASSERT_TRUE(pImpl);
    // Decoded as they are read, straight from the range's bytes in memory.
    pImpl->SetStreamThreshold(kLarge);
    ASSERT_TRUE(Plan(*pReader, m_vecPath));
    std::vector<std::pair<std::string, IFile*>> vecHeld;
    for (const std::string& strPath : m_vecPath)
    {
        if (m_tree.at(strPath).size() < kLarge)
        {
            continue;
        }
        IFile* pFile = pReader->OpenFile(strPath.c_str(), -1);
        ASSERT_TRUE(pFile) << strPath;
        EXPECT_EQ(pFile->GetBuffer(), nullptr) << strPath;
        vecHeld.emplace_back(strPath, pFile);
    }
    ASSERT_GT(vecHeld.size(), 10u);
    for (const std::string& strPath : m_vecPath)
    {
        if (m_tree.at(strPath).size() < kLarge)
        {
            EXPECT_TRUE(TakeContent(pReader->OpenFile(strPath.c_str(), -1)) == m_tree.at(strPath)) << strPath;
        }
    }
    ASSERT_TRUE(g_EndCorvaneFetch(pReader.get()));
    for (const auto& [strPath, pFile] : vecHeld)
    {
        EXPECT_TRUE(TakeContent(pFile) == m_tree.at(strPath)) << strPath;
    }
    EXPECT_LE(PackageGets(server).size() * 4, m_vecPath.size()) << "the records came in shared ranges";
    EXPECT_TRUE(m_log.ProblemText().empty()) << m_log.ProblemText();
}

TEST_F(FetchPlanTest, WholePackagePlanFillsTheCache)
{
    NginxServer server(m_served.Path());
    ASSERT_TRUE(server.Running());
    ReaderPtr pReader = NewReader(server.BaseUrl());
    ASSERT_TRUE(pReader);
    const std::vector<std::string> vecPackages = Lines(pReader->OpenDataList());
    ASSERT_GE(vecPackages.size(), 6u);
    ASSERT_TRUE(Plan(*pReader, vecPackages, CORVANE_FETCH_WHOLE_PACKAGES));
    CORVANE_FETCH_PROGRESS progress;
    ASSERT_TRUE(WaitFor(
        [&]
        {
            g_GetCorvaneFetchProgress(pReader.get(), &progress);
            return progress.uFilesReady == vecPackages.size();
        },
        std::chrono::seconds(20)));
    EXPECT_EQ(progress.uFilesPlanned, vecPackages.size());
    EXPECT_EQ(progress.uBytesDone, progress.uBytesPlanned);
    uint64_t uServed = 0;
    for (const std::string& strPackage : vecPackages)
    {
        const std::string strServed = ReadFileText(m_served / ("store/" + strPackage));
        uServed += strServed.size();
        EXPECT_TRUE(ReadFileText(m_cache / strPackage) == strServed) << strPackage;
        EXPECT_TRUE(pReader->SyncDownloadDataFile(strPackage.c_str())) << strPackage;
    }
    EXPECT_EQ(progress.uBytesPlanned, uServed);
    // One request each, and syncing them fetched nothing more.
    EXPECT_EQ(PackageGets(server).size(), vecPackages.size());
    EXPECT_EQ(CacheFiles().size(), vecPackages.size());
    // Cached now, the records need no plan.
    EXPECT_TRUE(Plan(*pReader, m_vecPath));
    ExpectTree(*pReader);
    EXPECT_EQ(PackageGets(server).size(), vecPackages.size());
    EXPECT_EQ(m_log.ProblemText(), "");
}

TEST_F(FetchPlanTest, FilesNamedInAWholePackagePlanAreReadFromTheirPackagesFetchedOnce)
{
    // As a preload names them: files, whose packages are wanted whole.
    NginxServer server(m_served.Path());
    ASSERT_TRUE(server.Running());
    ReaderPtr pReader = NewReader(server.BaseUrl());
    ASSERT_TRUE(pReader);
    ASSERT_TRUE(Plan(*pReader, m_vecPath, CORVANE_FETCH_WHOLE_PACKAGES));
    ExpectTree(*pReader); // opens wait for their packages while the plan runs
    std::set<std::string> setUsed;
    for (const std::string& strPath : m_vecPath)
    {
        const CORVANE_IDX_ELEMENT* pElement =
            dynamic_cast<PemCorvaneReader*>(pReader.get())->FindElement(strPath.c_str());
        std::string strDat;
        if (pElement && pElement->uElemLen > 0 &&
            NSCorvaneReader::IdxValue_2_Path(strDat, pElement->uElemIdx, pElement->uVer))
        {
            setUsed.insert(strDat);
        }
    }
    ASSERT_GE(setUsed.size(), 6u);
    // Each package of the version's files fetched once, whole; no record alone.
    std::set<std::string> setGot;
    for (const LogLine& line : PackageGets(server))
    {
        EXPECT_EQ(line.strRange, "-") << line.strUri;
        EXPECT_TRUE(setGot.insert(line.strUri).second) << line.strUri;
    }
    EXPECT_EQ(setGot.size(), setUsed.size());
    EXPECT_EQ(CacheFiles().size(), setUsed.size());
    EXPECT_EQ(m_log.ProblemText(), "");
}

TEST_F(FetchPlanTest, DamagedPackageOfAPlanNeverReachesTheCache)
{
    FaultScriptOptions options;
    options.mapScript["/store/" + m_vecPackage[0]] = {RequestFault::FlipBytes};
    auto pScript = std::make_shared<FaultScript>(options);
    auto pServer = FaultHttpServer::ServeDirectory(m_served.Path(), pScript);
    ReaderPtr pReader = NewReader(pServer->BaseUrl());
    ASSERT_TRUE(pReader);
    ASSERT_TRUE(Plan(*pReader, m_vecPackage, CORVANE_FETCH_WHOLE_PACKAGES));
    // The damaged copy is dropped; the sync fetches it again and checks it.
    for (const std::string& strPackage : m_vecPackage)
    {
        EXPECT_TRUE(pReader->SyncDownloadDataFile(strPackage.c_str())) << strPackage;
        EXPECT_TRUE(ReadFileText(m_cache / strPackage) == ReadFileText(m_served / ("store/" + strPackage)))
            << strPackage;
    }
    EXPECT_EQ(pScript->Committed().size(), 1u);
    EXPECT_TRUE(m_log.Contains("Package of a fetch plan failed its check")) << m_log.Text();
    EXPECT_EQ(CacheFiles().size(), m_vecPackage.size());
}

TEST_F(FetchPlanTest, CancelWithEightRequestsInFlightStopsAtOnceAndLeavesNoPartialFile)
{
    // Sixteen packages of one large file each, sent slowly.
    TempDir served;
    std::vector<std::string> vecPaths;
    TestStoreResult result;
    ASSERT_TRUE(WriteLargeFiles(served, 16, 50, &vecPaths, &result));
    NginxServer server(served.Path(), false, true, "limit_rate 20k;");
    ASSERT_TRUE(server.Running());
    for (const bool bPackages : {true, false})
    {
        SCOPED_TRACE(bPackages ? "whole packages" : "records");
        ReaderPtr pReader = OpenConfigReader(
            WriteRemoteConfig(m_log.Dir() / "slow.cfg", server.BaseUrl() + "/store", m_cache.Path()), 1);
        ASSERT_TRUE(pReader);
        // The reader's own requests may keep a connection open.
        const size_t uIdle = ConnectionsTo(server.Port());
        ASSERT_TRUE(Plan(*pReader, bPackages ? result.vecPackage : vecPaths,
                         bPackages ? uint32_t{CORVANE_FETCH_WHOLE_PACKAGES} : 0u));
        ASSERT_TRUE(
            WaitFor([&] { return ConnectionsTo(server.Port()) == uIdle + 8; }, std::chrono::seconds(10)))
            << ConnectionsTo(server.Port()) << " connections, " << uIdle << " before the plan";
        // The speed meter sees the plan's transfers.
        EXPECT_TRUE(WaitFor([&] { return pReader->GetDownloadSpeed() > 0; }, std::chrono::seconds(5)));
        std::atomic<bool> bReturned{false};
        bool bResult = true;
        std::thread waiter(
            [&]
            {
                bResult = bPackages ? pReader->SyncDownloadDataFile(result.vecPackage.back().c_str())
                                    : pReader->OpenFile(vecPaths.back().c_str(), -1) != nullptr;
                bReturned = true;
            });
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the waiter waits
        const auto tCancel = Clock::now();
        ASSERT_TRUE(pReader->CancelDownloads());
        EXPECT_TRUE(WaitFor([&] { return bReturned.load(); }, std::chrono::seconds(5)));
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - tCancel).count();
        waiter.join();
        EXPECT_FALSE(bResult);
        EXPECT_LT(ms, 1000) << "the plan's transfers stop well within a second";
        EXPECT_TRUE(CacheFiles().empty()) << CacheFiles().front();
        // Later opens work as without a plan.
        pReader->SetLimitSpeed(0);
    }
}

TEST_F(FetchPlanTest, AStopAndTheEndOfTheTaskAtOnceBothReturn)
{
    // The Stop button cancels downloads while the worker ends its plan.
    TempDir served;
    std::vector<std::string> vecPaths;
    TestStoreResult result;
    ASSERT_TRUE(WriteLargeFiles(served, 8, 90, &vecPaths, &result));
    NginxServer server(served.Path(), false, true, "limit_rate 20k;");
    ASSERT_TRUE(server.Running());
    for (int nRound = 0; nRound < 5; ++nRound)
    {
        ReaderPtr pReader = OpenConfigReader(
            WriteRemoteConfig(m_log.Dir() / "slow.cfg", server.BaseUrl() + "/store", m_cache.Path()), 1);
        ASSERT_TRUE(pReader);
        ASSERT_TRUE(Plan(*pReader, vecPaths));
        ASSERT_TRUE(WaitFor([&] { return pReader->GetDownloadSpeed() > 0; }, std::chrono::seconds(10)));
        std::atomic<int> nReturned{0};
        std::thread cancel(
            [&]
            {
                pReader->CancelDownloads();
                ++nReturned;
            });
        std::thread end(
            [&]
            {
                g_EndCorvaneFetch(pReader.get());
                ++nReturned;
            });
        EXPECT_TRUE(WaitFor([&] { return nReturned.load() == 2; }, std::chrono::seconds(5)))
            << "round " << nRound;
        cancel.join();
        end.join();
        pReader->SetLimitSpeed(0);
    }
}

TEST_F(FetchPlanTest, AFirstSourceThatDoesNotConnectHandsItsRangesToTheNext)
{
    NginxServer server(m_served.Path());
    ASSERT_TRUE(server.Running());
    // Port 1 on loopback: nobody listens, the connection is refused at once.
    const std::string strConfig = m_log.Dir() / "two.cfg";
    WriteFileText(strConfig,
                  R"({"global": {"local": 1, "remote": 1}, "local": {"dir": ")" + m_cache.Path() +
                      R"("}, "remote": {"count": 2, "0": {"url": "http://127.0.0.1:1/store", "dir": ")" +
                      m_cache.Path() + R"(", "cache": 1}, "1": {"url": ")" + server.BaseUrl() +
                      R"(/store", "dir": ")" + m_cache.Path() + R"(", "cache": 1, "connections": 2}}})");
    ReaderPtr pReader = OpenConfigReader(strConfig, 3);
    ASSERT_TRUE(pReader);
    ASSERT_TRUE(Plan(*pReader, m_vecPath));
    ExpectTree(*pReader);
    for (const LogLine& line : PackageGets(server))
    {
        EXPECT_EQ(line.nStatus, 206) << line.strUri;
    }
    EXPECT_TRUE(CacheFiles().empty());
}

} // namespace
