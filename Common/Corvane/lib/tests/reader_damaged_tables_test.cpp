// SPDX-License-Identifier: MIT
// Tables and records of a version that are damaged or hostile in ways a size
// or bound check must catch: a tree nested as deep as its size allows, a tree
// that names one subdirectory over and over, a file-information table one
// record short, a record whose original length is not what it decodes to.
#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"
#include "reader/CorvaneDirTree.h"
#include "reader/PemCorvaneReader.h"
#include "support/LogCapture.h"
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

class DamagedTablesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_InitCorvaneManager(nullptr, nullptr);
        TestStoreVersion v;
        v.mapFiles = {{"a.txt", "alpha"}, {"dir/c.txt", std::string(3000, 'c')}};
        ASSERT_TRUE(WriteTestStoreVersion(m_store.Path(), v, &m_result));
    }
    void TearDown() override { g_UnInitCorvaneManager(); }

    ReaderPtr Open()
    {
        ReaderPtr pReader = OpenStoreReader(m_store.Path());
        EXPECT_TRUE(pReader);
        return pReader;
    }
    bool WriteTree(const std::map<uint64_t, std::string>& mapLine)
    {
        std::string strTree;
        for (const auto& line : mapLine)
        {
            strTree += std::to_string(line.first) + line.second + "\r\n";
        }
        return WriteCompressedFile(m_store.Path(), NSCorvaneReader::VersionFilePath(1, "_dirtree"), strTree);
    }

    LogCapture m_log;
    TempDir m_store;
    TestStoreResult m_result;
};

TEST(NameHashStream, EqualsTheWholePathHash)
{
    for (const std::string& strPath :
         {std::string(), std::string("a"), std::string("Dir\\Sub/x.TXT"), std::string("/lead"),
          std::string("a//b/"), std::string(700, 'q') + "/z"})
    {
        NSCorvaneReader::NormalizedNameHashStream stream;
        // Fed in uneven pieces, across the slashes.
        for (size_t uPos = 0; uPos < strPath.size(); uPos += 3)
        {
            stream.Feed(std::string_view(strPath).substr(uPos, 3));
        }
        EXPECT_EQ(stream.Value(), NSCorvaneReader::CalcNormalizedNameHash(strPath.c_str())) << strPath;
    }
}

TEST_F(DamagedTablesTest, DeeplyNestedTreeListsWithoutExhaustingTheStack)
{
    // "d" in "d" ..., a file at every level. 16,000 levels still list (paths of
    // up to 32,000 bytes); 50,000 levels, half a megabyte of tree, are refused
    // as damaged: nothing could hold such paths.
    for (const int nDepth : {16000, 50000})
    {
        std::map<uint64_t, std::string> mapLine;
        NSCorvaneReader::NormalizedNameHashStream hash;
        mapLine[hash.Value()] = "\tD:d\tF:a.txt";
        std::string strDir;
        for (int i = 1; i <= nDepth; ++i)
        {
            hash.Feed(i == 1 ? "d" : "/d");
            strDir += i == 1 ? "d" : "/d";
            mapLine[hash.Value()] = i == nDepth ? "\tF:f" : "\tD:d\tF:f";
        }
        ASSERT_EQ(mapLine.size(), static_cast<size_t>(nDepth) + 1);
        ASSERT_TRUE(WriteTree(mapLine));
        ReaderPtr pReader = Open();
        IStringList* pList = pReader->OpenFileList();
        if (nDepth == 16000)
        {
            ASSERT_NE(pList, nullptr);
            EXPECT_EQ(pList->Count(), static_cast<uint32_t>(nDepth) + 1);
            // "d/d/.../f" sorts before "d/f": the deepest file comes right after "a.txt".
            EXPECT_EQ(std::string(pList->Get(1)), strDir + "/f");
            pList->Release();
        }
        else
        {
            EXPECT_EQ(pList, nullptr);
            EXPECT_TRUE(m_log.Contains("directory tree nested beyond the longest path"));
            EXPECT_EQ(Lines(pReader->OpenFileList("d/d", true)), std::vector<std::string>{});
        }
    }
}

TEST_F(DamagedTablesTest, SubdirectoryListedManyTimesIsWalkedOnce)
{
    // Every level names its subdirectory three times: a walk that follows each
    // entry does 3^8 times the work.
    constexpr int kLevels = 8;
    std::map<uint64_t, std::string> mapLine;
    std::vector<std::string> vecExpected;
    NSCorvaneReader::NormalizedNameHashStream hash;
    std::string strDir;
    for (int i = 0; i <= kLevels; ++i)
    {
        mapLine[hash.Value()] = (i < kLevels ? "\tD:s\tD:s\tD:s" : "") + std::string("\tF:f");
        vecExpected.push_back(strDir.empty() ? "f" : strDir + "/f");
        hash.Feed(i == 0 ? "s" : "/s");
        strDir += i == 0 ? "s" : "/s";
    }
    std::sort(vecExpected.begin(), vecExpected.end());
    std::vector<std::string> vecLine;
    for (const auto& line : mapLine)
    {
        vecLine.push_back(std::to_string(line.first) + line.second);
    }
    std::vector<NSCorvaneReader::DirHashLine> vecHashLine;
    ASSERT_TRUE(NSCorvaneReader::BuildDirHashLineMap(vecLine, vecHashLine));
    std::vector<std::string> vecListed;
    std::vector<uint8_t> vecVisited;
    ASSERT_TRUE(NSCorvaneReader::CollectDirFilesRecursive(vecLine, vecHashLine, "", vecListed, vecVisited));
    // The count before de-duplication is the walk's work: one path per file.
    EXPECT_EQ(vecListed.size(), vecExpected.size());
    NSCorvaneReader::SortUniquePaths(vecListed);
    EXPECT_EQ(vecListed, vecExpected);

    ASSERT_TRUE(WriteTree(mapLine));
    EXPECT_EQ(Lines(Open()->OpenFileList()), vecExpected);
}

TEST_F(DamagedTablesTest, FileInformationTableShortOfItsCountFails)
{
    FileInfoElement aElement[2] = {{NSCorvaneReader::CalcNameHash("a.txt"), 5, 0},
                                   {NSCorvaneReader::CalcNameHash("dir/c.txt"), 3000, 6}};
    std::sort(std::begin(aElement), std::end(aElement),
              [](const FileInfoElement& a, const FileInfoElement& b) { return a.uNameHash < b.uNameHash; });
    const FileInfoHeader header{FILE_INFO_VERSION, 16, 16, 2};
    const std::string strWhole = std::string(reinterpret_cast<const char*>(&header), sizeof(header)) +
                                 std::string(reinterpret_cast<const char*>(aElement), sizeof(aElement));
    ASSERT_TRUE(WriteCompressedFile(m_store.Path(), NSCorvaneReader::VersionFilePath(1, "_fileinfstr"),
                                    std::string("a.txt\0dir/c.txt\0", 16)));
    const std::string strTable = NSCorvaneReader::VersionFilePath(1, "_fileinf");
    CorvaneFileInfo info{};
    ASSERT_TRUE(WriteCompressedFile(m_store.Path(), strTable, strWhole));
    EXPECT_TRUE(Open()->GetFileInfo("dir/c.txt", &info));
    EXPECT_EQ(info.uFileSize, 3000u);

    // Exactly one record short, and one byte short, of the count it declares.
    for (size_t uShort : {sizeof(FileInfoElement), size_t(1)})
    {
        ASSERT_TRUE(
            WriteCompressedFile(m_store.Path(), strTable, strWhole.substr(0, strWhole.size() - uShort)));
        ReaderPtr pReader = Open();
        // Listing the files fetches the table alongside; its damage fails only the lookups.
        const std::vector<std::string> vecListed = Lines(pReader->OpenFileList());
        EXPECT_NE(std::find(vecListed.begin(), vecListed.end(), "dir/c.txt"), vecListed.end()) << uShort;
        EXPECT_FALSE(pReader->GetFileInfo("a.txt", &info)) << uShort;
        EXPECT_FALSE(pReader->GetFileInfo("dir/c.txt", &info)) << uShort;
        EXPECT_EQ(info.pszPath, nullptr);
    }
    EXPECT_TRUE(m_log.Contains("condition=uMinFileSize <= vecData.size()"));
}

TEST_F(DamagedTablesTest, RecordWhoseOriginalLengthDisagreesFailsToOpen)
{
    const CORVANE_IDX_ELEMENT element = m_result.mapElement["dir/c.txt"];
    std::string strPkg;
    ASSERT_TRUE(NSCorvaneReader::IdxValue_2_Path(strPkg, element.uElemIdx, element.uVer));
    strPkg = m_store / strPkg;
    const std::vector<unsigned char> vecGood = ReadFileBytes(strPkg);
    CORVANE_FILE_HEADER header;
    std::memcpy(&header, vecGood.data() + element.uElemOfs, sizeof(header));
    ASSERT_EQ(header.nOriContexLength, 3000u);
    for (uint32_t uClaimed : {2999u, 3001u, 6000u, 0u})
    {
        std::vector<unsigned char> vecBad = vecGood;
        CORVANE_FILE_HEADER bad = header;
        bad.nOriContexLength = uClaimed;
        std::memcpy(vecBad.data() + element.uElemOfs, &bad, sizeof(bad));
        ASSERT_TRUE(WriteFileBytes(strPkg, vecBad.data(), vecBad.size()));
        EXPECT_EQ(FilePtr(Open()->OpenFile("dir/c.txt", -1)), nullptr) << "claimed " << uClaimed;
    }
    EXPECT_TRUE(m_log.Contains("function=PemCorvaneReader::OpenFile"));
}

} // namespace
