// SPDX-License-Identifier: MIT
#include "fs/CorvaneFiles.h"
#include "fs/PemMultiProcessFileLock.h"
#include "fs/PemStreamFileSysImpl.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using CorvaneUtil::PemFileLockObj;
using CorvaneUtil::PemMultiProcessFileLock;

namespace
{

PemMultiProcessFileLock& Locks()
{
    return PemMultiProcessFileLock::Instance();
}

// Each test gets its own lock directory, so runs never see each other's lock files.
class FileLock : public ::testing::Test
{
protected:
    void SetUp() override { ::setenv("CORVANE_LOCK_DIR", m_lockDir.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("CORVANE_LOCK_DIR"); }

    CorvaneTest::LogCapture m_log;
    CorvaneTest::TempDir m_lockDir;
};

// A child process that takes the write lock of strPath, reports through a pipe,
// and holds it until told to let go (or killed).
class LockHolderProcess
{
public:
    explicit LockHolderProcess(const std::string& strPath)
    {
        int toParent[2];
        int toChild[2];
        if (::pipe(toParent) != 0 || ::pipe(toChild) != 0)
        {
            ADD_FAILURE() << "pipe failed";
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0)
        {
            ::close(toParent[0]);
            ::close(toChild[1]);
            auto spLock = Locks().WaitGetWriteLockObj(strPath, 10000);
            char cState = spLock ? 'L' : 'F';
            if (::write(toParent[1], &cState, 1) != 1)
            {
                ::_exit(2);
            }
            char cCmd;
            ssize_t nRead = ::read(toChild[0], &cCmd, 1);
            spLock.reset();
            ::_exit(nRead == 1 ? 0 : 3);
        }
        ::close(toParent[1]);
        ::close(toChild[0]);
        m_nFromChild = toParent[0];
        m_nToChild = toChild[1];
    }

    ~LockHolderProcess()
    {
        if (m_pid > 0)
        {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_nFromChild);
        ::close(m_nToChild);
    }

    bool WaitLocked()
    {
        char cState = 0;
        return m_pid > 0 && ::read(m_nFromChild, &cState, 1) == 1 && cState == 'L';
    }

    // Lets go and exits normally; true when it did.
    bool Finish()
    {
        char cCmd = 'x';
        int nStatus = 0;
        bool bOk = ::write(m_nToChild, &cCmd, 1) == 1 && ::waitpid(m_pid, &nStatus, 0) == m_pid &&
                   WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
        m_pid = -1;
        return bOk;
    }

    void Kill()
    {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_nFromChild = -1;
    int m_nToChild = -1;
};

} // namespace

TEST_F(FileLock, ReadersAndWritersExcludeEachOtherInProcess)
{
    const std::string strPath = "/store/cache/1.dat";
    auto spRead1 = Locks().GetReadLockObj(strPath, 0);
    auto spRead2 = Locks().GetReadLockObj(strPath, 0);
    ASSERT_TRUE(spRead1 && spRead2);
    EXPECT_EQ(PemFileLockObj::kRead, spRead1->GetKind());

    EXPECT_FALSE(Locks().WaitGetWriteLockObj(strPath, 50));
    EXPECT_TRUE(m_log.Contains("function=PemMultiProcessFileLock::WaitGetWriteLockObj"));
    EXPECT_TRUE(m_log.Contains("condition=bReady"));
    // Another path is not affected.
    EXPECT_TRUE(Locks().WaitGetWriteLockObj(strPath + "x", 50));

    spRead1.reset();
    spRead2.reset();
    auto spWrite = Locks().WaitGetWriteLockObj(strPath, 0);
    ASSERT_TRUE(spWrite);
    EXPECT_FALSE(Locks().GetReadLockObj(strPath, 50));

    // A reader waiting without limit gets its lock once the writer lets go.
    std::atomic<bool> bGotRead{false};
    std::thread reader([&] { bGotRead = static_cast<bool>(Locks().GetReadLockObj(strPath, -1)); });
    spWrite.reset();
    reader.join();
    EXPECT_TRUE(bGotRead);
}

TEST_F(FileLock, OpenFilesHoldReadLocksAndBlockDiskWrite)
{
    CorvaneTest::TempDir dir;
    const std::string strPath = dir / "f.bin";
    CorvaneTest::WriteFileText(strPath, "old");
    NSCorvane::PemStreamFileSysImpl* pFs = NSCorvane::PemStreamFileSysImpl::Create("");
    NSCorvane::IFile* pFile = pFs->Open(strPath.c_str(), 0);
    ASSERT_NE(nullptr, pFile);
    EXPECT_FALSE(Locks().WaitGetWriteLockObj(strPath, 50));
    pFile->Release();
    EXPECT_TRUE(CorvaneUtil::DiskWriteBytes("new", 3, strPath.c_str()));
    pFs->Release();
}

TEST_F(FileLock, WriterInAnotherProcessMakesTheWaitTimeOut)
{
    const std::string strPath = "/store/cache/shared.dat";
    {
        LockHolderProcess holder(strPath);
        ASSERT_TRUE(holder.WaitLocked());
        EXPECT_FALSE(Locks().WaitGetWriteLockObj(strPath, 300));
        EXPECT_TRUE(m_log.Contains("asset warning: wait file lock timeout, file=/store/cache/shared.dat, "
                                   "timeout_ms=300\r\n"))
            << m_log.Text();
        // Readers in this process do not see another process's writer.
        EXPECT_TRUE(Locks().GetReadLockObj(strPath, 50));
        ASSERT_TRUE(holder.Finish());
        auto spWrite = Locks().WaitGetWriteLockObj(strPath, 5000);
        EXPECT_TRUE(spWrite);
    }
    {
        // A holder that dies releases the lock, like an abandoned mutex.
        LockHolderProcess holder(strPath);
        ASSERT_TRUE(holder.WaitLocked());
        EXPECT_FALSE(Locks().WaitGetWriteLockObj(strPath, 100));
        holder.Kill();
        EXPECT_TRUE(Locks().WaitGetWriteLockObj(strPath, 5000));
    }
    // Released locks leave no lock files behind.
    EXPECT_TRUE(CorvaneTest::ListDir(m_lockDir.Path()).empty());
}

TEST_F(FileLock, ManyWritersInManyProcessesNeverOverlap)
{
    // Each process appends "<" and ">" around its critical section; any overlap of
    // two holders shows as two "<" in a row. Lock files are deleted and re-created
    // all the time meanwhile.
    const std::string strLog = m_lockDir / "sections.txt";
    const std::string strPath = "/store/cache/contended.dat";
    std::vector<pid_t> vecPid;
    for (int nProcess = 0; nProcess < 4; ++nProcess)
    {
        pid_t pid = ::fork();
        ASSERT_NE(-1, pid);
        if (pid == 0)
        {
            for (int i = 0; i < 50; ++i)
            {
                auto spLock = Locks().WaitGetWriteLockObj(strPath, -1);
                if (!spLock)
                {
                    ::_exit(1);
                }
                FILE* pFile = std::fopen(strLog.c_str(), "a");
                std::fputc('<', pFile);
                std::fclose(pFile);
                ::usleep(200); // widens the window in which an overlap would show
                pFile = std::fopen(strLog.c_str(), "a");
                std::fputc('>', pFile);
                std::fclose(pFile);
            }
            ::_exit(0);
        }
        vecPid.push_back(pid);
    }
    for (pid_t pid : vecPid)
    {
        int nStatus = 0;
        ASSERT_EQ(pid, ::waitpid(pid, &nStatus, 0));
        EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    }
    std::string strSections;
    for (unsigned char c : CorvaneTest::ReadFileBytes(strLog))
    {
        strSections += static_cast<char>(c);
    }
    std::string strExpected;
    for (int i = 0; i < 4 * 50; ++i)
    {
        strExpected += "<>";
    }
    EXPECT_EQ(strExpected, strSections);
}

TEST_F(FileLock, MissingLockDirectoryFailsCleanly)
{
    ::setenv("CORVANE_LOCK_DIR", (m_lockDir / "missing").c_str(), 1);
    EXPECT_FALSE(Locks().WaitGetWriteLockObj("/x", 50));
    EXPECT_TRUE(m_log.Contains("condition=hOpenMutex"));
    EXPECT_FALSE(CorvaneUtil::DiskWriteBytes("x", 1, (m_lockDir / "target").c_str()));
    EXPECT_FALSE(CorvaneTest::FileExists(m_lockDir / "target"));
}
