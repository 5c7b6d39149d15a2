// SPDX-License-Identifier: MIT
// Source entries the packer must never open: a named pipe (or any file that
// is not a plain file) would block the build forever in open(). They are
// refused by name, with a record that names them.
#include "support/MemoryAndLog.h"
#include "support/StoreAccess.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <Corvane/PemCorvaneX64.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <vector>

namespace fs = std::filesystem;
using namespace NSCorvane;
using CorvaneTest::Lines;
using CorvaneTest::TempDir;

namespace
{

// Runs Do(); should it block on a pipe, a writer opens and closes each pipe
// so that the blocked open() returns and the test fails instead of hanging.
bool DoWithoutBlocking(IPemCorvanePacker& packer, const std::vector<std::string>& vecFifo, bool* pbBlocked)
{
    std::future<bool> done = std::async(std::launch::async, [&packer] { return packer.Do(); });
    *pbBlocked = false;
    while (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
    {
        *pbBlocked = true;
        for (const std::string& strFifo : vecFifo)
        {
            const int nFd = ::open(strFifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (nFd >= 0)
            {
                ::close(nFd);
            }
        }
    }
    return done.get();
}

TEST(BuilderSpecialFiles, PipeIsRefusedByNameAndNeverOpened)
{
    g_InitCorvaneManager(nullptr, nullptr);
    CorvaneTest::ScopedLogCapture log;
    TempDir dir;
    const std::string strRoot = dir / "src";
    const std::string strStore = dir / "store";
    fs::create_directories(strRoot + "/sub");
    ASSERT_TRUE(CorvaneTest::WriteFileText(strRoot + "/plain.txt", "plain"));
    ASSERT_TRUE(CorvaneTest::WriteFileText(strRoot + "/sub/later.txt", "becomes a pipe"));
    const std::string strFifo = strRoot + "/sub/pipe";
    ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0) << std::strerror(errno);

    CorvaneTest::PackerPtr packer = CorvaneTest::NewPacker();
    CORVANE_PAK_OPTION opt;
    opt.nToVersion = 1;
    opt.nTreadCount = 2;
    ASSERT_TRUE(packer->SetEnv(strRoot.c_str(), strStore.c_str(), &opt));
    EXPECT_FALSE(packer->PushFile(strFifo.c_str()));
    EXPECT_TRUE(log.Contains("not a regular file: " + strFifo));
    EXPECT_FALSE(packer->PushFile((strRoot + "/sub").c_str())) << "a directory is no single file";
    ASSERT_TRUE(packer->PushFile((strRoot + "/plain.txt").c_str()));
    // A file that is a pipe by the time the build runs is left out by name too.
    const std::string strLater = strRoot + "/sub/later.txt";
    ASSERT_TRUE(packer->PushFile(strLater.c_str()));
    ASSERT_EQ(std::remove(strLater.c_str()), 0);
    ASSERT_EQ(::mkfifo(strLater.c_str(), 0600), 0) << std::strerror(errno);

    bool bBlocked = false;
    EXPECT_TRUE(DoWithoutBlocking(*packer, {strFifo, strLater}, &bBlocked));
    EXPECT_FALSE(bBlocked) << "the build opened a pipe";
    EXPECT_TRUE(log.Contains("not a regular file: " + strLater));
    packer.reset();

    EXPECT_EQ(Lines(CorvaneTest::OpenStoreReader(strStore)->OpenFileList()),
              std::vector<std::string>{"plain.txt"});
    g_UnInitCorvaneManager();
}

} // namespace
