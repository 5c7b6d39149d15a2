// SPDX-License-Identifier: MIT
#include "common/CorvanePath.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <string>

using namespace CorvaneUtil;

TEST(CorvanePath, NormalizePathOnlySwapsSeparatorsAndLowersAscii)
{
    std::string strOut = "junk";
    EXPECT_TRUE(ToNormalizePath(strOut, "Dir\\Sub\\File.TXT"));
    EXPECT_EQ("dir/sub/file.txt", strOut);
    EXPECT_TRUE(ToNormalizePath(strOut, nullptr));
    EXPECT_EQ("", strOut);
    EXPECT_TRUE(ToNormalizePath(strOut, " A/./../\xC3\x84 "));
    EXPECT_EQ(" a/./../\xC3\x84 ", strOut);
}

TEST(CorvanePath, AbsolutePathsOfBothPlatforms)
{
    CorvaneTest::LogCapture log;
    for (const char* pcszPath : {"/", "/x", "c:/x", "C:\\x", "c:\\", "\\\\server\\share", "//server/share"})
    {
        EXPECT_TRUE(IsAbsolutePath(pcszPath)) << pcszPath;
    }
    for (const char* pcszPath : {"x", "c:", "c:x", "\\x", "x/c:/y", "./x"})
    {
        EXPECT_FALSE(IsAbsolutePath(pcszPath)) << pcszPath;
    }
    EXPECT_FALSE(IsAbsolutePath(""));
    EXPECT_TRUE(log.Contains("function=CorvaneUtil::IsAbsolutePath"));
}

TEST(CorvanePath, NormalizeAbsolutePath)
{
    CorvaneTest::LogCapture log;
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\A\\..\\B\\", "c:/b"},
        {"C:\\", "c:/"},
        {"c:/..", "c:/"},
        {"/a/../b", "/b"},
        {"/", "/"},
        {"/A//B/./c/", "/a/b/c"},
        {"/..", "/"},
        {"\\\\Server\\Share\\..\\X", "//server/x"},
    };
    for (const auto& c : cases)
    {
        std::string strOut;
        EXPECT_TRUE(ToNormalizeAbsolutePath(strOut, c.first)) << c.first;
        EXPECT_EQ(c.second, strOut) << c.first;
    }
    std::string strOut = "junk";
    EXPECT_FALSE(ToNormalizeAbsolutePath(strOut, "relative/x"));
    EXPECT_EQ("", strOut);
}

TEST(CorvanePath, IsSubDir)
{
    CorvaneTest::LogCapture log;
    EXPECT_TRUE(IsSubDir("c:/root/x", "c:/root"));
    EXPECT_FALSE(IsSubDir("c:/rootx", "c:/root"));
    EXPECT_TRUE(IsSubDir("c:/root", "c:/root"));
    EXPECT_TRUE(IsSubDir("C:\\Root\\Y\\..\\X", "c:/root/"));
    EXPECT_FALSE(IsSubDir("c:/root/../other", "c:/root"));
    // A root that keeps its slash contains everything below it.
    EXPECT_TRUE(IsSubDir("c:/x", "C:\\"));
    EXPECT_TRUE(IsSubDir("/home/u", "/"));
    EXPECT_FALSE(IsSubDir("d:/x", "c:/"));
    EXPECT_FALSE(IsSubDir("relative", "/"));
    EXPECT_TRUE(log.Contains("CorvaneUtil::IsSubDir"));
}

TEST(CorvanePath, SafeRelativePath)
{
    for (const char* pcszPath : {"a", "a/b.txt", "editortool/x.exe", "a/..b/c..", "a\\b"})
    {
        EXPECT_TRUE(IsSafeRelativePath(pcszPath)) << pcszPath;
    }
    for (const char* pcszPath : {"", "/a", "\\a", "c:/a", "c:a", "..", "../a", "a/../b", "a\\..\\b", "a/.."})
    {
        EXPECT_FALSE(IsSafeRelativePath(pcszPath)) << pcszPath;
    }
    EXPECT_FALSE(IsSafeRelativePath(std::string("a\0b", 3)));
}
