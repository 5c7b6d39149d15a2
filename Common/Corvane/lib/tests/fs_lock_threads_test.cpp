// SPDX-License-Identifier: MIT
// The write lock between threads of one process, on every platform: a lock
// is let go by whichever thread drops the last reference, and two write locks
// of one path exclude each other also within one thread.
#include "fs/PemMultiProcessFileLock.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

using CorvaneUtil::PemFileLockObj;
using CorvaneUtil::PemMultiProcessFileLock;

namespace
{

PemMultiProcessFileLock& Locks()
{
    return PemMultiProcessFileLock::Instance();
}

// A lock key of its own for every run: a path below a fresh directory.
class LockThreads : public ::testing::Test
{
protected:
    CorvaneTest::LogCapture m_log;
    CorvaneTest::TempDir m_dir;
    const std::string m_strPath = m_dir / "locked.dat";
};

} // namespace

TEST_F(LockThreads, AWriteLockTakenInOneThreadIsLetGoInAnother)
{
    std::mutex mtx;
    std::condition_variable cv;
    std::shared_ptr<PemFileLockObj> spHanded;
    bool bTaken = false;
    bool bFinish = false;
    // The taking thread stays alive meanwhile: its end must not be what frees the lock.
    std::thread taker(
        [&]
        {
            auto spLock = Locks().WaitGetWriteLockObj(m_strPath, 5000);
            std::unique_lock<std::mutex> lock(mtx);
            spHanded = std::move(spLock);
            bTaken = true;
            cv.notify_all();
            cv.wait(lock, [&] { return bFinish; });
        });
    {
        std::unique_lock<std::mutex> lock(mtx);
        cv.wait(lock, [&] { return bTaken; });
    }
    ASSERT_TRUE(spHanded);
    EXPECT_FALSE(Locks().WaitGetWriteLockObj(m_strPath, 50));

    // A waiter is already waiting when the lock is let go here, not in the
    // taker (the waiter's handle also keeps a named lock object alive).
    bool bWaiting = false;
    bool bGot = false;
    std::thread waiter(
        [&]
        {
            {
                std::lock_guard<std::mutex> lock(mtx);
                bWaiting = true;
            }
            cv.notify_all();
            bGot = static_cast<bool>(Locks().WaitGetWriteLockObj(m_strPath, 10000));
        });
    {
        std::unique_lock<std::mutex> lock(mtx);
        cv.wait(lock, [&] { return bWaiting; });
    }
    spHanded.reset();
    waiter.join();
    EXPECT_TRUE(bGot) << "the lock was still held after its last reference was dropped";
    {
        std::lock_guard<std::mutex> lock(mtx);
        bFinish = true;
    }
    cv.notify_all();
    taker.join();
}

TEST_F(LockThreads, TwoWriteLocksOfOneThreadExcludeEachOther)
{
    auto spFirst = Locks().WaitGetWriteLockObj(m_strPath, 0);
    ASSERT_TRUE(spFirst);
    EXPECT_FALSE(Locks().WaitGetWriteLockObj(m_strPath, 100)) << "the same thread took the write lock twice";
    EXPECT_TRUE(m_log.Contains("asset warning: wait file lock timeout")) << m_log.Text();
    spFirst.reset();
    EXPECT_TRUE(Locks().WaitGetWriteLockObj(m_strPath, 0));
}
