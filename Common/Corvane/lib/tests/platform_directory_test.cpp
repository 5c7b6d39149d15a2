// SPDX-License-Identifier: MIT
// Listing one directory for the tree walk of a build.
#include "platform/PlatformDirectory.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using CorvanePlatform::DirectoryItem;
using CorvanePlatform::DirectoryListing;
using CorvanePlatform::ListDirectory;

namespace
{

std::map<std::string, DirectoryItem> ByName(const DirectoryListing& listing)
{
    std::map<std::string, DirectoryItem> map;
    for (const DirectoryItem& item : listing.vecItems)
    {
        EXPECT_TRUE(map.emplace(item.strName, item).second) << "listed twice: " << item.strName;
    }
    return map;
}

} // namespace

TEST(PlatformDirectory, ClassifiesEntriesAndKeepsOnlyFilesAndDirectories)
{
    CorvaneTest::TempDir dir;
    ASSERT_TRUE(CorvaneTest::WriteFileText(dir / "plain.txt", "12345"));
    ASSERT_TRUE(CorvaneTest::WriteFileText(dir / "sub/inner.txt", "x"));
    fs::create_directory_symlink(dir / "sub", dir / "sublink");
    fs::create_symlink(dir / "plain.txt", dir / "filelink");
    fs::create_symlink(dir / "missing", dir / "dangling");
    ASSERT_EQ(0, ::mkfifo((dir / "pipe").c_str(), 0600));
    const auto tWrite = fs::file_time_type::clock::now() - std::chrono::hours(30);
    fs::last_write_time(dir / "plain.txt", tWrite);

    DirectoryListing listing;
    ASSERT_TRUE(ListDirectory(dir.Path().c_str(), &listing));
    std::map<std::string, DirectoryItem> map = ByName(listing);
    // Links to files, dangling links and special files are not part of a tree.
    EXPECT_EQ((std::vector<std::string>{"plain.txt", "sub", "sublink"}),
              [&]
              {
                  std::vector<std::string> vec;
                  for (const auto& it : map)
                      vec.push_back(it.first);
                  return vec;
              }());

    const DirectoryItem& file = map["plain.txt"];
    EXPECT_TRUE(file.bFile && !file.bDirectory && !file.bLink);
    ASSERT_TRUE(file.bHasStat);
    EXPECT_EQ(5u, file.stat.uSize);
    struct stat st;
    ASSERT_EQ(0, ::stat((dir / "plain.txt").c_str(), &st));
    EXPECT_EQ(static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
              file.stat.nWriteTimeNs);

    EXPECT_TRUE(map["sub"].bDirectory && !map["sub"].bLink && !map["sub"].bFile);
    EXPECT_TRUE(map["sublink"].bDirectory && map["sublink"].bLink && !map["sublink"].bFile);

    // A directory has one identity whichever link leads to it.
    DirectoryListing viaReal;
    DirectoryListing viaLink;
    ASSERT_TRUE(ListDirectory((dir / "sub").c_str(), &viaReal));
    ASSERT_TRUE(ListDirectory((dir / "sublink").c_str(), &viaLink));
    EXPECT_EQ(viaReal.id.uDevice, viaLink.id.uDevice);
    EXPECT_EQ(viaReal.id.uNode, viaLink.id.uNode);
    EXPECT_TRUE(viaReal.id < listing.id || listing.id < viaReal.id);
    ASSERT_EQ(1u, viaLink.vecItems.size());
    EXPECT_EQ("inner.txt", viaLink.vecItems[0].strName);
}

TEST(PlatformDirectory, RefusesWhatIsNoReadableDirectory)
{
    CorvaneTest::TempDir dir;
    ASSERT_TRUE(CorvaneTest::WriteFileText(dir / "file.txt", "x"));
    DirectoryListing listing;
    listing.vecItems.resize(3); // a failed call leaves no stale entries
    EXPECT_FALSE(ListDirectory((dir / "missing").c_str(), &listing));
    EXPECT_FALSE(ListDirectory((dir / "file.txt").c_str(), &listing));
    EXPECT_FALSE(ListDirectory("", &listing));
    EXPECT_FALSE(ListDirectory(nullptr, &listing));
    EXPECT_TRUE(listing.vecItems.empty());

    fs::create_directories(dir / "empty");
    ASSERT_TRUE(ListDirectory((dir / "empty").c_str(), &listing));
    EXPECT_TRUE(listing.vecItems.empty());
}

TEST(PlatformDirectory, ListsByNameInsideAKeptDirectory)
{
    CorvaneTest::TempDir dir;
    ASSERT_TRUE(CorvaneTest::WriteFileText(dir / "top/sub/inner.txt", "x"));
    fs::create_directory_symlink("sub", dir / "top/rel");
    CorvanePlatform::DirectoryHandlePtr pTop;
    DirectoryListing top;
    ASSERT_TRUE(CorvanePlatform::ListDirectoryIn(nullptr, nullptr, (dir / "top").c_str(), &top, &pTop));
    EXPECT_EQ(2u, top.vecItems.size());
    ASSERT_TRUE(pTop);

    // The kept directory is the one that was listed, wherever it moves: the
    // names in it are opened in it, not looked up again along the old path.
    fs::rename(dir / "top", dir / "moved");
    for (const char* pcszName : {"sub", "rel"}) // a relative link resolves inside it too
    {
        DirectoryListing sub;
        const std::string strOldPath = dir / (std::string("top/") + pcszName);
        ASSERT_TRUE(CorvanePlatform::ListDirectoryIn(pTop, pcszName, strOldPath.c_str(), &sub, nullptr))
            << pcszName;
        ASSERT_EQ(1u, sub.vecItems.size());
        EXPECT_EQ("inner.txt", sub.vecItems[0].strName);
    }
    // Without a parent the path is used, and it is gone.
    DirectoryListing gone;
    EXPECT_FALSE(CorvanePlatform::ListDirectoryIn(nullptr, "sub", (dir / "top/sub").c_str(), &gone, nullptr));
    DirectoryListing missing;
    EXPECT_FALSE(CorvanePlatform::ListDirectoryIn(pTop, "nothing", (dir / "moved/nothing").c_str(), &missing,
                                                  nullptr));
}
