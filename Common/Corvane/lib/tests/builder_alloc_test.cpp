// SPDX-License-Identifier: MIT
// Task pool, write lanes of the disk allocator, and record placement.
#include "builder/PemCorvaneDiskAlloc.h"
#include "builder/PemCorvaneIdxBuilder.h"
#include "builder/PemQueueTaskPool.h"
#include "common/CorvaneMemory.h"
#include "format/CorvaneHash.h"
#include "support/MemoryAndLog.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

using namespace NSCorvane;
using CorvaneTest::ScopedCountingMemory;
using CorvaneTest::TempDir;

namespace
{

constexpr uint32_t MiB = 1024 * 1024;

CORVANE_FILE_HEADER MakeHeader(uint32_t uDataLength)
{
    CORVANE_FILE_HEADER fHeader;
    std::memset(&fHeader, 0, sizeof(fHeader));
    fHeader.nMagic = CORVANE_MAGIC;
    fHeader.nEncodeSize = uDataLength;
    fHeader.nHeadOffset = sizeof(CORVANE_FILE_HEADER);
    return fHeader;
}

void* MakeData(uint32_t uSize, uint8_t byFill)
{
    void* p = CorvaneUtil::MemoryAlloc(uSize ? uSize : 1);
    std::memset(p, byFill, uSize);
    return p;
}

CORVANE_PAK_OPTION Options(uint32_t uThreads)
{
    CORVANE_PAK_OPTION opt;
    opt.nToVersion = 1;
    opt.nTreadCount = uThreads;
    return opt;
}

} // namespace

TEST(BuilderTaskPool, RunsJobsInOrderAndStopDiscardsQueued)
{
    PemQueueTaskPool pool;
    ASSERT_TRUE(pool.Init(1));
    std::mutex mtx;
    std::vector<int> vecOrder;
    for (int i = 0; i < 50; ++i)
    {
        ASSERT_TRUE(pool.TryAddTask(
            [&, i]()
            {
                std::lock_guard<std::mutex> lock(mtx);
                vecOrder.push_back(i);
            }));
    }
    pool.Wait();
    ASSERT_EQ(50u, vecOrder.size());
    for (int i = 0; i < 50; ++i)
    {
        EXPECT_EQ(i, vecOrder[i]);
    }

    // A job blocks the only worker; the ones behind it are dropped by Stop.
    std::atomic<bool> bRelease{false};
    std::atomic<int> nRan{0};
    ASSERT_TRUE(pool.TryAddTask(
        [&]()
        {
            while (!bRelease)
            {
                std::this_thread::yield();
            }
            ++nRan;
        }));
    for (int i = 0; i < 5; ++i)
    {
        ASSERT_TRUE(pool.TryAddTask([&]() { ++nRan; }));
    }
    std::thread releaser([&]() { bRelease = true; });
    pool.Stop();
    releaser.join();
    EXPECT_LE(nRan.load(), 6);
    EXPECT_FALSE(pool.TryAddTask([]() {}));
    EXPECT_TRUE(pool.Wait()); // no threads: returns at once
}

TEST(BuilderDiskAlloc, WritesRecordsOfManyPackagesAndFreesEveryBuffer)
{
    TempDir dir;
    ScopedCountingMemory mem;
    {
        PemCorvaneDiskAlloc alloc;
        ASSERT_TRUE(alloc.BuildEnv(Options(4)));
        // 20 packages, three records each, queued package by package in offset order.
        for (uint32_t uPkg = 0; uPkg < 20; ++uPkg)
        {
            uint32_t uOffset = 28;
            for (uint32_t uRec = 0; uRec < 3; ++uRec)
            {
                const uint32_t uLen = 1000 + uRec;
                ASSERT_TRUE(alloc.PushWriteRequest(dir.Path().c_str(), uPkg, uOffset, MakeHeader(uLen),
                                                   MakeData(uLen, static_cast<uint8_t>(uPkg * 3 + uRec)),
                                                   uLen));
                uOffset += 225 + uLen;
            }
        }
        ASSERT_TRUE(alloc.WaitFinish());
        for (uint32_t uPkg = 0; uPkg < 20; ++uPkg)
        {
            const std::string strFile =
                dir.Path() + "/dat/v1/" + std::to_string(uPkg / 10) + "/" + std::to_string(uPkg) + ".dat";
            const std::vector<unsigned char> vec = CorvaneTest::ReadFileBytes(strFile);
            ASSERT_EQ(28u + 3 * 225 + 1000 + 1001 + 1002, vec.size()) << strFile;
            uint32_t uOffset = 28;
            for (uint32_t uRec = 0; uRec < 3; ++uRec)
            {
                CORVANE_FILE_HEADER fHeader;
                std::memcpy(&fHeader, vec.data() + uOffset, sizeof(fHeader));
                const uint32_t uMagic = fHeader.nMagic; // packed fields: copy before comparing
                const uint32_t uEncodeSize = fHeader.nEncodeSize;
                EXPECT_EQ(CORVANE_MAGIC, uMagic);
                EXPECT_EQ(1000u + uRec, uEncodeSize);
                EXPECT_EQ(uPkg * 3 + uRec, vec[uOffset + 225]);
                EXPECT_EQ(uPkg * 3 + uRec, vec[uOffset + 225 + 999 + uRec]);
                uOffset += 225 + 1000 + uRec;
            }
            // Hashed as written: the same hash the finished package gets by reading it back.
            uint64_t uHash = 0;
            ASSERT_TRUE(alloc.GetWrittenHash(uPkg, vec.size() - 28, &uHash));
            EXPECT_EQ(
                NSCorvaneReader::CalcContextHash(vec.data() + 28, static_cast<uint32_t>(vec.size() - 28)),
                uHash);
            EXPECT_FALSE(alloc.GetWrittenHash(uPkg, vec.size() - 29, &uHash));
        }
        uint64_t uHash = 0;
        EXPECT_FALSE(alloc.GetWrittenHash(20, 0, &uHash)); // never written

        // Records not laid end to end leave the package to be read back.
        ASSERT_TRUE(alloc.PushWriteRequest(dir.Path().c_str(), 30, 28, MakeHeader(10), MakeData(10, 1), 10));
        ASSERT_TRUE(alloc.PushWriteRequest(dir.Path().c_str(), 30, 28 + 225 + 10 + 7, MakeHeader(10),
                                           MakeData(10, 2), 10));
        ASSERT_TRUE(alloc.WaitFinish());
        EXPECT_FALSE(alloc.GetWrittenHash(30, 7 + 2 * (225 + 10), &uHash));
    }
    EXPECT_EQ(62u, mem.Memory().Allocs());
    EXPECT_EQ(0u, mem.Memory().Live());
    EXPECT_EQ(0u, mem.Memory().BadFrees());
}

class BuilderPlacement : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CORVANE_PAK_OPTION opt = Options(2);
        ASSERT_TRUE(m_builder.BuildEnv(m_dir.Path().c_str(), opt));
        ASSERT_TRUE(m_builder.ResetRun());
    }

    // Places a record of exactly uRequest bytes (header included); its package number.
    uint32_t Place(const std::string& strName, uint32_t uRequest)
    {
        const uint32_t uData = uRequest - 225;
        EXPECT_TRUE(m_builder.InsertList({strName}));
        const uint64_t hsName = NSCorvaneReader::CalcNameHash(strName.c_str());
        bool bPassed = false;
        EXPECT_TRUE(m_builder.AllocDiskSpace(m_dir.Path().c_str(), hsName, MakeHeader(uData),
                                             MakeData(uData, 7), uData, &bPassed));
        EXPECT_TRUE(bPassed);
        CORVANE_IDX_ELEMENT element;
        EXPECT_TRUE(m_builder.GetFileElement(hsName, &element));
        const uint32_t uElemLen = element.uElemLen;
        EXPECT_EQ(uRequest, uElemLen);
        return element.uElemIdx;
    }

    TempDir m_dir;
    ScopedCountingMemory m_mem;
    PemCorvaneIdxBuilder m_builder;
};

TEST_F(BuilderPlacement, TwelveMebibyteRecordGetsAPackageOfItsOwn)
{
    EXPECT_EQ(0u, Place("a", 1 * MiB));
    EXPECT_EQ(1u, Place("big", 12 * MiB + 1));
    EXPECT_EQ(0u, Place("c", 1 * MiB));  // the first package still has room
    EXPECT_EQ(0u, Place("d", 10 * MiB)); // 2 MiB + 10 MiB: exactly the ceiling
    EXPECT_EQ(2u, Place("e", 1 * MiB));  // packages 0 and 1 are full
    EXPECT_TRUE(m_builder.DiskAlloc()->WaitFinish());
}

TEST_F(BuilderPlacement, PackageAtNineMebibytesTakesUpToTheCeiling)
{
    EXPECT_EQ(0u, Place("nine", 9 * MiB));
    // 9 MiB + (3 MiB - 225) bytes of data and its header is exactly the 12 MiB ceiling.
    EXPECT_EQ(0u, Place("fits", 3 * MiB));
    EXPECT_EQ(1u, Place("nine2", 9 * MiB));
    EXPECT_EQ(2u, Place("over", 3 * MiB + 1)); // one byte more opens a new package
    // Package 0 is now over the limit and closed; package 1 still takes small records.
    EXPECT_EQ(1u, Place("small", 1000));
    EXPECT_TRUE(m_builder.DiskAlloc()->WaitFinish());
}

TEST(BuilderFileStatCache, ReadsWhatItWritesAndSkipsDamagedLines)
{
    std::string strText;
    CorvaneFileStat stat;
    stat.uFileSize = 12;
    stat.uLastWriteTime = 1700000000123456789ull;
    stat.uChangeTime = 1700000001987654321ull;
    stat.uDevice = 2049;
    stat.uNode = 18446744073709551615ull;
    AppendFileStatLine(strText, 18446744073709551615ull, stat);
    strText += "5 6 7 8 9 10\n";                      // "\n" alone is accepted
    strText += "0 1 2 3 4 5\r\n";                     // a zero name hash is not
    strText += "30 1 2\r\n";                          // the older form vouches for nothing
    strText += "8 9 10 11 12\r\n";                    // five numbers
    strText += "10 11 12 13 14 15 16\r\n";            // seven numbers
    strText += "5 60 70 80 90 100\r\n";               // a name already read keeps its first entry
    strText += "-1 2 3 4 5 6\r\n";                    // no signs
    strText += "20 18446744073709551616 1 1 1 1\r\n"; // a number past 64 bits
    strText += "21 2x 3 4 5 6\r\n";                   // not a number
    strText += "14 15 16 17 18 19";                   // last line without an ending
    std::map<uint64_t, CorvaneFileStat> map;
    ParseFileStatCache(strText, map);
    ASSERT_EQ(3u, map.size());
    EXPECT_TRUE(stat == map[18446744073709551615ull]);
    EXPECT_EQ(6u, map[5].uFileSize);
    EXPECT_EQ(10u, map[5].uNode);
    EXPECT_EQ(17u, map[14].uChangeTime);
    EXPECT_EQ(19u, map[14].uNode);
}
