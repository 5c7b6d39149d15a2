// SPDX-License-Identifier: MIT
// The named lock is an flock()ed file in a lock directory: the kernel drops the
// lock when its holder dies, like an abandoned mutex on Windows. The holder
// deletes the file before unlocking, so lock files do not pile up; a waiter that
// then wins the lock of a deleted file sees that the path names another file (or
// none) and locks the path's current file instead.
#include "platform/PlatformLock.h"

#include "platform/PlatformFile.h"
#include "platform/PlatformTime.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace CorvanePlatform
{

struct NamedLock
{
    std::string strPath;
    int nFile = -1;
    bool bHeld = false;
};

namespace
{

std::string LockDirectory()
{
    // CORVANE_LOCK_DIR lets tests and side-by-side installations use their own directory.
    for (const char* pcszVar : {"CORVANE_LOCK_DIR", "XDG_RUNTIME_DIR"})
    {
        const char* pcszDir = std::getenv(pcszVar);
        if (pcszDir && *pcszDir)
        {
            return pcszDir;
        }
    }
    return TempDirectory();
}

int OpenLockFile(const std::string& strPath)
{
    // Read-only is enough for flock and works on a lock file another user created.
    return ::open(strPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
}

// True when the locked descriptor is still the file at the path. Otherwise the
// descriptor is replaced by the path's current file (false; -1 when that fails).
bool StillAtPath(NamedLock* pLock)
{
    struct stat stFile;
    struct stat stPath;
    if (::fstat(pLock->nFile, &stFile) == 0 && ::stat(pLock->strPath.c_str(), &stPath) == 0 &&
        stFile.st_dev == stPath.st_dev && stFile.st_ino == stPath.st_ino)
    {
        return true;
    }
    ::close(pLock->nFile);
    pLock->nFile = OpenLockFile(pLock->strPath);
    return false;
}

} // namespace

std::string NamedLockName(uint64_t uKey)
{
    try
    {
        return LockDirectory() + "/CorvaneLock_" + std::to_string(uKey);
    }
    catch (...)
    {
        return std::string();
    }
}

NamedLock* NamedLockOpen(uint64_t uKey)
{
    try
    {
        std::unique_ptr<NamedLock> pLock(new NamedLock);
        pLock->strPath = NamedLockName(uKey);
        pLock->nFile = OpenLockFile(pLock->strPath);
        return pLock->nFile < 0 ? nullptr : pLock.release();
    }
    catch (...)
    {
        return nullptr;
    }
}

NamedLockWait NamedLockAcquire(NamedLock* pLock, int64_t nWaitMs)
{
    if (!pLock || pLock->nFile < 0 || pLock->bHeld)
    {
        return NamedLockWait::Failed;
    }
    // flock has no timed wait; a limited wait polls until the deadline.
    const uint64_t uDeadline = nWaitMs < 0 ? 0 : SteadyMs() + static_cast<uint64_t>(nWaitMs);
    for (;;)
    {
        if (::flock(pLock->nFile, nWaitMs < 0 ? LOCK_EX : LOCK_EX | LOCK_NB) == 0)
        {
            if (StillAtPath(pLock))
            {
                pLock->bHeld = true;
                return NamedLockWait::Acquired;
            }
            if (pLock->nFile < 0)
            {
                return NamedLockWait::Failed;
            }
            continue;
        }
        if (errno == EINTR)
        {
            continue;
        }
        if (errno != EWOULDBLOCK || nWaitMs < 0)
        {
            return NamedLockWait::Failed;
        }
        uint64_t uNow = SteadyMs();
        if (uNow >= uDeadline)
        {
            return NamedLockWait::TimedOut;
        }
        uint64_t uLeft = uDeadline - uNow;
        SleepMs(static_cast<uint32_t>(uLeft < 10 ? uLeft : 10));
    }
}

void NamedLockRelease(NamedLock* pLock)
{
    if (pLock && pLock->bHeld)
    {
        // Delete while still holding it: nobody can hold this file's lock meanwhile.
        ::unlink(pLock->strPath.c_str());
        ::flock(pLock->nFile, LOCK_UN);
        pLock->bHeld = false;
    }
}

void NamedLockClose(NamedLock* pLock)
{
    if (!pLock)
    {
        return;
    }
    NamedLockRelease(pLock);
    if (pLock->nFile >= 0)
    {
        ::close(pLock->nFile);
    }
    delete pLock;
}

} // namespace CorvanePlatform
