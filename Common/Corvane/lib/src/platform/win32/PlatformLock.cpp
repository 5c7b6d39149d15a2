// SPDX-License-Identifier: MIT
// The named lock is a global named mutex "Global\CorvaneLock_<key>".
// A mutex belongs to the thread that waited for it: only that thread can
// release it, and that thread waiting again gets it again at once. Callers take
// a lock in one thread and let go in another (the last owner of a lock object),
// and two locks of one thread must exclude each other, as the lock files do on
// POSIX. So every held lock has a thread of its own that waits for the mutex,
// holds it, and releases it when told.
#include "platform/PlatformLock.h"

#include <future>
#include <new>
#include <string>
#include <thread>
#include <windows.h>

namespace CorvanePlatform
{

struct NamedLock
{
    HANDLE hMutex = nullptr;
    HANDLE hRelease = nullptr; // set: the holding thread lets go and ends
    std::thread holder;
    bool bHeld = false;
};

std::string NamedLockName(uint64_t uKey)
{
    try
    {
        return "Global\\CorvaneLock_" + std::to_string(uKey);
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
        const std::string strName = NamedLockName(uKey);
        HANDLE hMutex = ::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, strName.c_str());
        if (!hMutex)
        {
            hMutex = ::CreateMutexA(nullptr, FALSE, strName.c_str());
        }
        if (!hMutex)
        {
            return nullptr;
        }
        NamedLock* pLock = new (std::nothrow) NamedLock;
        if (!pLock)
        {
            ::CloseHandle(hMutex);
            return nullptr;
        }
        pLock->hMutex = hMutex;
        return pLock;
    }
    catch (...)
    {
        return nullptr;
    }
}

NamedLockWait NamedLockAcquire(NamedLock* pLock, int64_t nWaitMs)
{
    if (!pLock || !pLock->hMutex || pLock->bHeld)
    {
        return NamedLockWait::Failed;
    }
    const DWORD dwWait = nWaitMs < 0           ? INFINITE
                         : nWaitMs >= INFINITE ? INFINITE - 1
                                               : static_cast<DWORD>(nWaitMs);
    try
    {
        if (!pLock->hRelease)
        {
            pLock->hRelease = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (!pLock->hRelease)
            {
                return NamedLockWait::Failed;
            }
        }
        ::ResetEvent(pLock->hRelease);
        std::promise<DWORD> waited;
        std::future<DWORD> result = waited.get_future();
        pLock->holder = std::thread(
            [pLock, dwWait, waited = std::move(waited)]() mutable
            {
                const DWORD dwResult = ::WaitForSingleObject(pLock->hMutex, dwWait);
                const bool bOwned = dwResult == WAIT_OBJECT_0 || dwResult == WAIT_ABANDONED;
                waited.set_value(dwResult);
                if (bOwned)
                {
                    ::WaitForSingleObject(pLock->hRelease, INFINITE);
                    ::ReleaseMutex(pLock->hMutex);
                }
            });
        const DWORD dwResult = result.get();
        if (dwResult == WAIT_OBJECT_0 || dwResult == WAIT_ABANDONED)
        {
            pLock->bHeld = true;
            return NamedLockWait::Acquired;
        }
        pLock->holder.join();
        return dwResult == WAIT_TIMEOUT ? NamedLockWait::TimedOut : NamedLockWait::Failed;
    }
    catch (...)
    {
        // No thread could be made: nothing is held.
        if (pLock->holder.joinable())
        {
            pLock->holder.join();
        }
        return NamedLockWait::Failed;
    }
}

void NamedLockRelease(NamedLock* pLock)
{
    if (pLock && pLock->bHeld)
    {
        ::SetEvent(pLock->hRelease);
        pLock->holder.join();
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
    if (pLock->hMutex)
    {
        ::CloseHandle(pLock->hMutex);
    }
    if (pLock->hRelease)
    {
        ::CloseHandle(pLock->hRelease);
    }
    delete pLock;
}

} // namespace CorvanePlatform
