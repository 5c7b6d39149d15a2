// SPDX-License-Identifier: MIT
// The named lock is a global named mutex "Global\CorvaneLock_<key>".
#include "platform/PlatformLock.h"

#include <new>
#include <string>
#include <windows.h>

namespace CorvanePlatform
{

struct NamedLock
{
    HANDLE hMutex = nullptr;
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
    if (!pLock || !pLock->hMutex)
    {
        return NamedLockWait::Failed;
    }
    DWORD dwWait = nWaitMs < 0 ? INFINITE : nWaitMs >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(nWaitMs);
    switch (::WaitForSingleObject(pLock->hMutex, dwWait))
    {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
        pLock->bHeld = true;
        return NamedLockWait::Acquired;
    case WAIT_TIMEOUT:
        return NamedLockWait::TimedOut;
    default:
        return NamedLockWait::Failed;
    }
}

void NamedLockRelease(NamedLock* pLock)
{
    if (pLock && pLock->bHeld)
    {
        ::ReleaseMutex(pLock->hMutex);
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
    delete pLock;
}

} // namespace CorvanePlatform
