// SPDX-License-Identifier: MIT
// A store crafted to plant files outside the directories it is read into: its
// tree, lists and file information name paths that climb out, are absolute, or
// carry control bytes. The reader must drop them with a log record and never
// touch anything outside the store.
#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"
#include "reader/PemCorvaneReader.h"
#include "support/LogCapture.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <Corvane/PemCorvaneX64.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace NSCorvane;
using namespace CorvaneTest;

namespace
{

// Every entry below a directory with its size, to prove nothing changed.
std::vector<std::string> Snapshot(const std::string& strDir)
{
    std::vector<std::string> vec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(strDir))
    {
        vec.push_back(entry.path().string() + ":" +
                      (entry.is_regular_file() ? std::to_string(entry.file_size()) : std::string("dir")));
    }
    std::sort(vec.begin(), vec.end());
    return vec;
}

const std::vector<std::string> kBadPaths = {
    "../../x", "/etc/x", "a/../../x", "c:/x", "a\\..\\..\\x", std::string("n\x01l", 3), "..", ""};

TEST(HostileStore, BadEntriesAreDroppedAndNothingOutsideIsTouched)
{
    LogCapture log;
    g_InitCorvaneManager(nullptr, nullptr);
    TempDir outer;
    const std::string strStore = outer / "store";
    ASSERT_TRUE(WriteFileText(outer / "x", "sentinel"));
    ASSERT_TRUE(WriteFileText(outer / "dat/v1/0/0.dat", "a sibling that must survive"));
    TestStoreVersion v;
    v.mapFiles = {{"ok.txt", "fine"}, {"sub/good.bin", "good"}};
    ASSERT_TRUE(WriteTestStoreVersion(strStore, v, nullptr));

    // The tree: bad names in the root line and in a subdirectory line.
    const uint64_t uRoot = NSCorvaneReader::CalcNormalizedNameHash("");
    const uint64_t uSub = NSCorvaneReader::CalcNormalizedNameHash("sub");
    std::string strRootLine = std::to_string(uRoot) + "\tD:sub\tD:..\tD:/etc\tF:ok.txt";
    for (const std::string& strBad : kBadPaths)
    {
        strRootLine += "\tF:" + strBad;
    }
    const std::string strSubLine = std::to_string(uSub) + "\tF:good.bin\tF:..\\..\\evil\tF:c:evil\tF:.";
    const std::string strTree = uRoot < uSub ? strRootLine + "\r\n" + strSubLine + "\r\n"
                                             : strSubLine + "\r\n" + strRootLine + "\r\n";
    ASSERT_TRUE(WriteCompressedFile(strStore, NSCorvaneReader::VersionFilePath(1, "_dirtree"), strTree));
    // The lists.
    std::string strList = "ok.txt\r\n";
    for (const std::string& strBad : kBadPaths)
    {
        strList += strBad + "\r\n";
    }
    ASSERT_TRUE(WriteCompressedFile(strStore, NSCorvaneReader::VersionFilePath(1, "_diffile"), strList));
    ASSERT_TRUE(WriteCompressedFile(strStore, NSCorvaneReader::VersionFilePath(1, "_diffpkg"),
                                    "../dat/v1/0/0.dat\r\ndat/v1/0/0.dat\r\n"));
    // File information whose pooled path climbs out.
    FileInfoHeader header{FILE_INFO_VERSION, 16, 16, 1};
    FileInfoElement element{NSCorvaneReader::CalcNameHash("ok.txt"), 4, 0};
    ASSERT_TRUE(
        WriteCompressedFile(strStore, NSCorvaneReader::VersionFilePath(1, "_fileinf"),
                            std::string(reinterpret_cast<const char*>(&header), sizeof(header)) +
                                std::string(reinterpret_cast<const char*>(&element), sizeof(element))));
    ASSERT_TRUE(WriteCompressedFile(strStore, NSCorvaneReader::VersionFilePath(1, "_fileinfstr"),
                                    std::string("../../evil\0", 11)));

    const std::vector<std::string> vecBefore = Snapshot(outer.Path());
    ReaderPtr pReader = OpenStoreReader(strStore);
    ASSERT_TRUE(pReader);

    EXPECT_EQ(Lines(pReader->OpenFileList()), (std::vector<std::string>{"ok.txt", "sub/good.bin"}));
    EXPECT_EQ(Lines(pReader->OpenFileList("sub", false)), std::vector<std::string>{"sub/good.bin"});
    EXPECT_EQ(Lines(pReader->OpenPatchFileList()), std::vector<std::string>{"ok.txt"});
    EXPECT_EQ(Lines(pReader->OpenPatchDataList()), std::vector<std::string>{"dat/v1/0/0.dat"});
    EXPECT_TRUE(log.Contains("condition=IsSafeDirEntryName(strName)"));
    EXPECT_TRUE(log.Contains("condition=CorvaneUtil::IsSafeRelativePath(strLine)"));

    CorvaneFileInfo info{};
    EXPECT_FALSE(pReader->GetFileInfo("ok.txt", &info));
    EXPECT_EQ(info.pszPath, nullptr);

    // A package path that climbs out is never checked, deleted or fetched.
    for (const char* pcszBad : {"../dat/v1/0/0.dat", "../x", "/etc/passwd", "c:/x"})
    {
        EXPECT_FALSE(pReader->SyncDownloadDataFile(pcszBad)) << pcszBad;
    }
    EXPECT_TRUE(pReader->SyncDownloadDataFile("dat/v1/0/0.dat"));
    EXPECT_NE(FilePtr(pReader->OpenFile("ok.txt", -1)), nullptr);
    pReader.reset();
    g_UnInitCorvaneManager();

    EXPECT_EQ(Snapshot(outer.Path()), vecBefore);
    EXPECT_EQ(ReadFileBytes(outer / "x").size(), 8u);
}

} // namespace
