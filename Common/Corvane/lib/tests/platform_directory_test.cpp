// SPDX-License-Identifier: MIT
// Listing one directory for the tree walk of a build.
#include "platform/PlatformDirectory.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using CorvanePlatform::DirectoryListing;
using CorvanePlatform::ListDirectory;

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
    if (!CorvaneTest::CanMakeDirectoryLinks())
    {
        GTEST_SKIP() << "std::filesystem cannot make symbolic links here (mingw-w64's libstdc++)";
    }
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
