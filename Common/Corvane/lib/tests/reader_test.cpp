// SPDX-License-Identifier: MIT
// The reader end to end over real stores written by the format writers.
#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"
#include "reader/PemCorvaneReader.h"
#include "support/LogCapture.h"
#include "support/NetTestUtil.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <Corvane/PemCorvaneX64.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

class ReaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_InitCorvaneManager(nullptr, nullptr);
        m_mapV1 = {{"a.txt", "alpha version one"},
                   {"dir/b.bin", RandomBytes(100000, 7)},
                   {"dir/sub/c.txt", std::string(5000, 'c')},
                   {"dir/empty.txt", ""},
                   {"top", "a file without a directory"}};
        TestStoreVersion v1;
        v1.uVersion = 1;
        v1.mapFiles = m_mapV1;
        ASSERT_TRUE(WriteTestStoreVersion(m_store.Path(), v1, &m_v1));

        TestStoreVersion v2;
        v2.uVersion = 2;
        v2.mapFiles = {{"a.txt", "alpha version two"}};
        for (const auto& [strPath, element] : m_v1.mapElement)
        {
            if (strPath != "a.txt")
            {
                v2.mapKept[strPath] = element;
            }
        }
        v2.strReleaseText = "second";
        ASSERT_TRUE(WriteTestStoreVersion(m_store.Path(), v2, &m_v2));
    }
    void TearDown() override { g_UnInitCorvaneManager(); }

    ReaderPtr Open(uint32_t uVersion = _INVALID_VER) { return OpenStoreReader(m_store.Path(), uVersion); }
    std::string VersionFile(uint32_t uVer, const char* pcszName) const
    {
        return m_store / NSCorvaneReader::VersionFilePath(uVer, pcszName);
    }

    LogCapture m_log; // first: the store lives below the test's own directory
    TempDir m_store;
    std::map<std::string, std::string> m_mapV1;
    TestStoreResult m_v1, m_v2;
};

TEST_F(ReaderTest, LatestVersionReadsEveryFileAcrossVersions)
{
    ReaderPtr reader = Open();
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->GetWorkVersion(), 2u);

    std::map<std::string, std::string> mapExpected = m_mapV1;
    mapExpected["a.txt"] = "alpha version two";
    for (const auto& [strPath, strContent] : mapExpected)
    {
        EXPECT_TRUE(TakeContent(reader->OpenFile(strPath.c_str(), -1)) == strContent) << strPath;
        EXPECT_TRUE(reader->HasFile(strPath.c_str()));
        EXPECT_EQ(
            reader->GetFileHash(strPath.c_str()),
            NSCorvaneReader::CalcContextHash(strContent.data(), static_cast<uint32_t>(strContent.size())));
    }
    // Kept files still point into version 1's packages.
    EXPECT_EQ(m_v2.mapElement["dir/b.bin"].uVer, 1u);

    // The reader does not normalise: callers pass store paths.
    EXPECT_FALSE(reader->HasFile("A.txt"));
    EXPECT_FALSE(reader->HasFile("dir\\b.bin"));
    EXPECT_EQ(reader->OpenFile("missing", -1), nullptr);
    EXPECT_EQ(reader->GetFileHash("missing"), 0u);
    EXPECT_EQ(reader->OpenFile(nullptr, -1), nullptr);
    EXPECT_EQ(m_log.Text(), "") << "lookups of absent files write no log line";
}

TEST_F(ReaderTest, OlderVersionAndEmptyFile)
{
    ReaderPtr reader = Open(1);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->GetWorkVersion(), 1u);
    EXPECT_EQ(TakeContent(reader->OpenFile("a.txt", -1)), "alpha version one");
    EXPECT_EQ(TakeContent(reader->OpenFile("dir/empty.txt", -1)), "");

    IPemCorvaneReader* pMissing = reinterpret_cast<IPemCorvaneReader*>(0x1);
    EXPECT_FALSE(g_NewCorvaneReader(&pMissing, m_store.Path().c_str(), 3));
    EXPECT_EQ(pMissing, reinterpret_cast<IPemCorvaneReader*>(0x1)) << "out pointer untouched on failure";
}

TEST_F(ReaderTest, FileInfoLoadsOnceAndFailureIsNotRetried)
{
    ReaderPtr reader = Open();
    CorvaneFileInfo info{};
    ASSERT_TRUE(reader->GetFileInfo("a.txt", &info));
    EXPECT_EQ(info.uFileSize, 17u);
    EXPECT_STREQ(info.pszPath, "a.txt");
    ASSERT_TRUE(Open(1)->GetFileInfo("dir/sub/c.txt", &info));
    EXPECT_EQ(info.uFileSize, 5000u);
    EXPECT_FALSE(reader->GetFileInfo("nope", &info));
    EXPECT_EQ(info.pszPath, nullptr);

    // Loaded once: removing the table later changes nothing for this reader.
    ASSERT_EQ(std::remove(VersionFile(2, "_fileinf").c_str()), 0);
    EXPECT_TRUE(reader->GetFileInfo("top", &info));

    // A damaged table fails, and stays failed until a new set-up.
    WriteFileText(VersionFile(2, "_fileinf"), "garbage that is not a hashed file");
    ReaderPtr broken = Open();
    EXPECT_FALSE(broken->GetFileInfo("top", &info));
    EXPECT_TRUE(m_log.Contains("PemCorvaneReader::GetFileInfo") || m_log.Contains("DecodeCompressedBinary"));
    ASSERT_TRUE(WriteCompressedFile(m_store.Path(), NSCorvaneReader::VersionFilePath(2, "_fileinf"), ""));
    EXPECT_FALSE(broken->GetFileInfo("top", &info));
    // An empty table is a valid, empty table.
    EXPECT_FALSE(Open()->GetFileInfo("top", &info));
}

TEST_F(ReaderTest, FileInfoWithLargerRecordsAndBadPoolOffsets)
{
    // Records of 24 bytes: readers take the first 16 of each.
    FileInfoHeader header{FILE_INFO_VERSION, 16, 24, 1};
    FileInfoElement element{NSCorvaneReader::CalcNameHash("top"), 26, 0};
    std::string strTable(reinterpret_cast<const char*>(&header), sizeof(header));
    strTable.append(reinterpret_cast<const char*>(&element), sizeof(element));
    strTable.append(8, '\x7f');
    ASSERT_TRUE(
        WriteCompressedFile(m_store.Path(), NSCorvaneReader::VersionFilePath(2, "_fileinf"), strTable));
    ASSERT_TRUE(WriteCompressedFile(m_store.Path(), NSCorvaneReader::VersionFilePath(2, "_fileinfstr"),
                                    std::string("top\0", 4)));
    CorvaneFileInfo info{};
    EXPECT_TRUE(Open()->GetFileInfo("top", &info));
    EXPECT_EQ(info.uFileSize, 26u);

    // A path offset outside the pool, or a pool without a terminating NUL, fails.
    ASSERT_TRUE(
        WriteCompressedFile(m_store.Path(), NSCorvaneReader::VersionFilePath(2, "_fileinfstr"), "top"));
    EXPECT_FALSE(Open()->GetFileInfo("top", &info));
    element.uPathOffset = 1000;
    strTable = std::string(reinterpret_cast<const char*>(&header), sizeof(header)) +
               std::string(reinterpret_cast<const char*>(&element), sizeof(element)) + std::string(8, '\0');
    ASSERT_TRUE(
        WriteCompressedFile(m_store.Path(), NSCorvaneReader::VersionFilePath(2, "_fileinf"), strTable));
    EXPECT_FALSE(Open()->GetFileInfo("top", &info));
}

TEST_F(ReaderTest, DirectoryListings)
{
    ReaderPtr reader = Open();
    EXPECT_EQ(Lines(reader->OpenFileList("Dir\\Sub", false)), std::vector<std::string>{"dir/sub/c.txt"});
    EXPECT_EQ(Lines(reader->OpenFileList("dir", false)),
              (std::vector<std::string>{"dir/b.bin", "dir/empty.txt"}));
    EXPECT_EQ(Lines(reader->OpenFileList("dir", true)),
              (std::vector<std::string>{"dir/b.bin", "dir/empty.txt", "dir/sub/c.txt"}));
    EXPECT_EQ(Lines(reader->OpenFileList(nullptr, false)), (std::vector<std::string>{"a.txt", "top"}));
    EXPECT_EQ(Lines(reader->OpenFileList()),
              (std::vector<std::string>{"a.txt", "dir/b.bin", "dir/empty.txt", "dir/sub/c.txt", "top"}));

    for (const bool bRecursive : {false, true})
    {
        IStringList* pUnknown = reader->OpenFileList("no/such/dir", bRecursive);
        ASSERT_NE(pUnknown, nullptr) << "an unknown directory is an empty list, not a failure";
        EXPECT_EQ(pUnknown->Count(), 0u);
        pUnknown->Release();
    }
}

TEST_F(ReaderTest, DirectoryTreeAnomalies)
{
    const uint64_t uRoot = NSCorvaneReader::CalcNormalizedNameHash("");
    const uint64_t uSub = NSCorvaneReader::CalcNormalizedNameHash("sub");
    const std::string strRoot = std::to_string(uRoot), strSub = std::to_string(uSub);
    const std::string strTree = NSCorvaneReader::VersionFilePath(2, "_dirtree");

    // Repeated entries are listed once, and the list is sorted whatever the
    // order of the tree; unknown tokens, empty names and unparsable lines are
    // skipped.
    const auto [uLow, uHigh] = std::minmax(uRoot, uSub);
    auto Line = [&](uint64_t uKey)
    {
        return uKey == uRoot ? strRoot + "\tF:z.txt\tD:sub\tD:sub\tF:a.txt\tX:junk\tF:\tF:a.txt\r\n"
                             : strSub + "\tF:x\r\n";
    };
    ASSERT_TRUE(WriteCompressedFile(m_store.Path(), strTree, "not a key\r\n" + Line(uLow) + Line(uHigh)));
    EXPECT_EQ(Lines(Open()->OpenFileList()), (std::vector<std::string>{"a.txt", "sub/x", "z.txt"}));
    EXPECT_EQ(Lines(Open()->OpenFileList("", false)), (std::vector<std::string>{"a.txt", "z.txt"}));

    // Keys out of order make the whole tree unusable.
    ASSERT_TRUE(WriteCompressedFile(m_store.Path(), strTree, Line(uHigh) + Line(uLow)));
    ReaderPtr reader = Open();
    EXPECT_EQ(reader->OpenFileList(), nullptr);
    EXPECT_EQ(reader->OpenFileList("", false), nullptr);
    EXPECT_TRUE(m_log.Contains("condition=!bHasLastDirHash || uLastDirHash < uDirHash"));

    // A key with a sign or trailing garbage is not a key.
    ASSERT_TRUE(WriteCompressedFile(m_store.Path(), strTree, "+" + strRoot + "\tF:a\r\n"));
    IStringList* pList = Open()->OpenFileList("", false);
    ASSERT_NE(pList, nullptr);
    EXPECT_EQ(pList->Count(), 0u);
    pList->Release();
}

TEST_F(ReaderTest, PackageInformationStatuses)
{
    CORVANE_PAK_INFO info;
    std::memset(&info, 0xAA, sizeof(info));
    ASSERT_EQ(Open()->ReadPakInfo(&info), 0);
    EXPECT_EQ(info.uStoreVersion, 2u);
    EXPECT_EQ(info.uFileCount, 1u);
    EXPECT_STREQ(info.szReleaseText, "second");
    EXPECT_STREQ(info.szReleaseGuid, "01234567-89AB-CDEF-0123-456789ABCDEF");

    const std::string strRel = NSCorvaneReader::VersionFilePath(2, "_pkginf");
    CORVANE_PAK_INFO record{};
    const std::string strRecord(reinterpret_cast<const char*>(&record), sizeof(record));
    for (const std::string& strBad : {strRecord.substr(0, 327), strRecord + '\0'})
    {
        ASSERT_TRUE(WriteCompressedFile(m_store.Path(), strRel, strBad));
        EXPECT_EQ(Open()->ReadPakInfo(&info), 1) << strBad.size();
    }
    record.uInfoVersion = 1;
    ASSERT_TRUE(WriteCompressedFile(m_store.Path(), strRel,
                                    std::string(reinterpret_cast<const char*>(&record), sizeof(record))));
    EXPECT_EQ(Open()->ReadPakInfo(&info), 1);
    WriteFileText(m_store / strRel, "corrupt");
    EXPECT_EQ(Open()->ReadPakInfo(&info), 1);
    ASSERT_EQ(std::remove((m_store / strRel).c_str()), 0);
    EXPECT_EQ(Open()->ReadPakInfo(&info), 2);
    EXPECT_EQ(info.uStoreVersion, 0u) << "the record is zeroed first";
}

TEST_F(ReaderTest, DamagedPackagesFailCleanly)
{
    const std::string strPkg = m_store / "dat/v1/0/0.dat";
    std::vector<unsigned char> vecGood = ReadFileBytes(strPkg);
    const CORVANE_IDX_ELEMENT element = m_v1.mapElement["dir/b.bin"];
    ASSERT_EQ(element.uElemIdx, 0u);

    // A flipped byte inside the compressed content: the frame checksum catches it.
    std::vector<unsigned char> vecBad = vecGood;
    vecBad[element.uElemOfs + sizeof(CORVANE_FILE_HEADER) + element.uElemLen / 2 - 100] ^= 0x40;
    WriteFileBytes(strPkg, vecBad.data(), vecBad.size());
    EXPECT_EQ(Open()->OpenFile("dir/b.bin", -1), nullptr);
    EXPECT_TRUE(m_log.Contains("function=PemCorvaneReader::OpenFile"));

    // A record header whose encoded size runs past the package.
    vecBad = vecGood;
    CORVANE_FILE_HEADER header;
    std::memcpy(&header, vecBad.data() + element.uElemOfs, sizeof(header));
    header.nEncodeSize = 0x7FFFFFF0;
    std::memcpy(vecBad.data() + element.uElemOfs, &header, sizeof(header));
    WriteFileBytes(strPkg, vecBad.data(), vecBad.size());
    EXPECT_EQ(Open()->OpenFile("dir/b.bin", -1), nullptr);

    // Truncated package and wrong magic.
    WriteFileBytes(strPkg, vecGood.data(), element.uElemOfs + 100);
    EXPECT_EQ(Open()->OpenFile("dir/b.bin", -1), nullptr);
    vecBad = vecGood;
    vecBad[element.uElemOfs] ^= 0xFF;
    WriteFileBytes(strPkg, vecBad.data(), vecBad.size());
    EXPECT_EQ(Open()->OpenFile("dir/b.bin", -1), nullptr);
    EXPECT_TRUE(m_log.Contains("condition=fHeader.nMagic == CORVANE_MAGIC"));
}

TEST_F(ReaderTest, SyncDownloadDataFileKeepsTheOnlyCopyOfADamagedPackage)
{
    ReaderPtr reader = Open();
    EXPECT_TRUE(reader->SyncDownloadDataFile("dat/v1/0/0.dat"));
    EXPECT_FALSE(reader->SyncDownloadDataFile(""));

    const std::string strPkg = m_store / "dat/v1/0/1.dat";
    std::vector<unsigned char> vecBytes = ReadFileBytes(strPkg);
    vecBytes.back() ^= 1;
    WriteFileBytes(strPkg, vecBytes.data(), vecBytes.size());
    // Without a remote source the store directory holds the only copy: the sync
    // fails and says why, but never deletes the publisher's package.
    EXPECT_FALSE(reader->SyncDownloadDataFile("dat/v1/0/1.dat"));
    EXPECT_TRUE(FileExists(strPkg));
    EXPECT_TRUE(m_log.Contains("condition=!m_fileFactory.RemoteFileSystems().empty()"));
    EXPECT_TRUE(m_log.Contains("_StreamDatFileChecker hash failed. file_size="));
    EXPECT_FALSE(reader->SyncDownloadDataFile("dat/v1/0/9.dat"));
}

TEST_F(ReaderTest, BrokenMarkerOrIndexRefusesSetUp)
{
    const std::string strMarker = m_store / NSCorvaneReader::LastVersionPath();
    std::vector<unsigned char> vecMarker = ReadFileBytes(strMarker);
    ASSERT_EQ(vecMarker.size(), 20u);
    IPemCorvaneReader* p = nullptr;

    vecMarker[16] ^= 1; // version changed, hash not
    WriteFileBytes(strMarker, vecMarker.data(), vecMarker.size());
    EXPECT_FALSE(g_NewCorvaneReader(&p, m_store.Path().c_str(), _INVALID_VER));
    EXPECT_TRUE(m_log.Contains("condition=hashContext == header.hashContext"));
    WriteFileBytes(strMarker, vecMarker.data(), 10);
    EXPECT_FALSE(g_NewCorvaneReader(&p, m_store.Path().c_str(), _INVALID_VER));
    // A specific version does not need the marker.
    ASSERT_EQ(std::remove(strMarker.c_str()), 0);
    EXPECT_FALSE(g_NewCorvaneReader(&p, m_store.Path().c_str(), _INVALID_VER));
    EXPECT_TRUE(g_NewCorvaneReader(&p, m_store.Path().c_str(), 2));
    p->Release();

    // An index whose length is not 4 + 32 x count.
    std::vector<CORVANE_IDX_ELEMENT> vecElement(2);
    std::string strIndex(reinterpret_cast<const char*>(vecElement.data()), 2 * sizeof(CORVANE_IDX_ELEMENT));
    const uint32_t uCount = 3;
    strIndex.insert(0, reinterpret_cast<const char*>(&uCount), sizeof(uCount));
    ASSERT_TRUE(WriteCompressedFile(m_store.Path(), NSCorvaneReader::VersionFilePath(2, "_index"), strIndex));
    EXPECT_FALSE(g_NewCorvaneReader(&p, m_store.Path().c_str(), 2));
    EXPECT_TRUE(m_log.Contains("condition=vecData.size() == sizeof(uElementCount) + uElementMemSize"));
    ASSERT_TRUE(WriteCompressedFile(m_store.Path(), NSCorvaneReader::VersionFilePath(2, "_index"), "abc"));
    EXPECT_FALSE(g_NewCorvaneReader(&p, m_store.Path().c_str(), 2));
    EXPECT_FALSE(g_NewCorvaneReader(&p, "", 2));
    EXPECT_FALSE(g_NewCorvaneReader(nullptr, m_store.Path().c_str(), 1));
}

TEST(ReaderPaths, LongRootsAndLongFullPaths)
{
    LogCapture log;
    g_InitCorvaneManager(nullptr, nullptr);
    TempDir base;
    // Full paths beyond 259 bytes still reach the right file.
    std::string strRoot = base.Path();
    while (strRoot.size() < 200)
    {
        strRoot += "/long-directory-name";
    }
    TestStoreVersion v;
    v.mapFiles = {{"deep/" + std::string(60, 'n') + "/file.txt", "deep content"}};
    ASSERT_TRUE(WriteTestStoreVersion(strRoot, v, nullptr));
    IPemCorvaneReader* p = nullptr;
    ASSERT_TRUE(g_NewCorvaneReader(&p, strRoot.c_str(), _INVALID_VER));
    EXPECT_EQ(TakeContent(p->OpenFile(v.mapFiles.begin()->first.c_str(), -1)), "deep content");
    p->Release();

    // A root that does not fit the local file system's field is refused.
    while (strRoot.size() <= 259)
    {
        strRoot += "/more";
    }
    ASSERT_TRUE(WriteTestStoreVersion(strRoot, v, nullptr));
    EXPECT_FALSE(g_NewCorvaneReader(&p, strRoot.c_str(), _INVALID_VER));
    EXPECT_TRUE(log.Contains("function=PemFileStreamFactory::SetupByRootDir"));
    g_UnInitCorvaneManager();
}

} // namespace
