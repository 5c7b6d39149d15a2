// SPDX-License-Identifier: MIT
// Paths the file layer must take as they are: names beyond ASCII (UTF-8 here,
// UTF-16 for Windows) and paths longer than Windows' classic 260 characters.
#include "platform/PlatformDirectory.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformFileIdentity.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

using namespace CorvanePlatform;

namespace
{

// Writes through a temporary file and an atomic replace, as the library does.
void WriteReplacing(const std::string& strTarget, const std::string& strText)
{
    const std::string strTemp = strTarget + ".tmp";
    const int nFile = FileOpen(strTemp.c_str(), FileMode::WriteExclusive);
    ASSERT_GE(nFile, 0) << strTemp;
    EXPECT_EQ(strText.size(), FileWriteAll(nFile, strText.data(), strText.size()));
    EXPECT_TRUE(FileSync(nFile));
    EXPECT_TRUE(FileClose(nFile));
    ASSERT_TRUE(ReplaceFile(strTemp.c_str(), strTarget.c_str())) << strTarget;
    EXPECT_FALSE(PathExists(strTemp.c_str()));
}

std::string ReadAll(const std::string& strPath)
{
    const int nFile = FileOpen(strPath.c_str(), FileMode::ReadShared);
    EXPECT_GE(nFile, 0) << strPath;
    if (nFile < 0)
    {
        return std::string();
    }
    std::string strText(static_cast<size_t>(FileLength(nFile)), '\0');
    EXPECT_EQ(static_cast<int64_t>(strText.size()),
              FileRead(nFile, &strText[0], static_cast<uint32_t>(strText.size())));
    FileClose(nFile);
    return strText;
}

// Creates, writes, replaces, stats, lists and removes one file below strDir.
void RoundTrip(const std::string& strDir, const std::string& strName)
{
    std::string strFailed;
    ASSERT_TRUE(CreateDirectories(strDir, &strFailed)) << strFailed;
    const std::string strFile = strDir + "/" + strName;
    WriteReplacing(strFile, "first");
    WriteReplacing(strFile, "second!"); // over the existing file
    EXPECT_EQ("second!", ReadAll(strFile));

    FileStat stat;
    ASSERT_TRUE(PathStat(strFile.c_str(), &stat));
    EXPECT_EQ(7u, stat.uSize);
    EXPECT_TRUE(stat.bRegular);
    FileIdentity id;
    EXPECT_TRUE(GetFileIdentity(strFile.c_str(), &id));
    EXPECT_EQ(stat.id.uNode, id.uNode);

    DirectoryListing listing;
    ASSERT_TRUE(ListDirectory(strDir.c_str(), &listing));
    ASSERT_EQ(1u, listing.vecItems.size());
    EXPECT_EQ(strName, listing.vecItems[0].strName);
    EXPECT_TRUE(listing.vecItems[0].bFile);

    EXPECT_TRUE(RemoveFile(strFile.c_str()));
    EXPECT_FALSE(PathExists(strFile.c_str()));
}

} // namespace

TEST(PlatformPaths, NamesBeyondAsciiKeepTheirSpelling)
{
    CorvaneTest::TempDir dir;
    // "résumé/说明.txt"
    RoundTrip(dir / "r\xC3\xA9sum\xC3\xA9", "\xE8\xAF\xB4\xE6\x98\x8E.txt");
}

TEST(PlatformPaths, PathsLongerThanTheClassicLimitWork)
{
    CorvaneTest::TempDir dir;
    std::string strDir = dir.Path();
    while (strDir.size() < 320)
    {
        strDir += "/a-folder-name-of-forty-characters-length";
    }
    RoundTrip(strDir, "a-file-name-that-takes-the-path-further.bin");
}
