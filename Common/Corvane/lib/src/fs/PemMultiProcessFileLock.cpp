// SPDX-License-Identifier: MIT
#include "fs/PemMultiProcessFileLock.h"

#include "common/CorvaneCheck.h"
#include "common/CorvaneFailure.h"
#include "platform/PlatformError.h"
#include "platform/PlatformLock.h"

#include <chrono>
#include <cstdio>
#include <new>

namespace CorvaneUtil
{

namespace
{

int64_t EffectiveWait(int64_t nWaitMs)
{
    return nWaitMs == 0 ? PemMultiProcessFileLock::kDefaultWaitMs : nWaitMs;
}

void DecrementCount(std::map<std::string, uint32_t>& mapCount, const std::string& strPath)
{
    auto it = mapCount.find(strPath);
    if (it != mapCount.end() && --it->second == 0)
    {
        mapCount.erase(it);
    }
}

uint32_t CountOf(const std::map<std::string, uint32_t>& mapCount, const std::string& strPath)
{
    auto it = mapCount.find(strPath);
    return it == mapCount.end() ? 0 : it->second;
}

} // namespace

PemFileLockObj::PemFileLockObj(PemMultiProcessFileLock* pOwner, std::string strPath,
                               CorvanePlatform::NamedLock* pMutex, Kind eKind)
    : m_pOwner(pOwner), m_strPath(std::move(strPath)), m_pMutex(pMutex), m_eKind(eKind)
{
}

PemFileLockObj::~PemFileLockObj()
{
    if (m_pOwner)
    {
        m_pOwner->ReleaseLockObj(*this);
    }
}

PemMultiProcessFileLock& PemMultiProcessFileLock::Instance()
{
    // Leaked on purpose: lock objects may be released while static objects are destroyed.
    static PemMultiProcessFileLock* s_pInstance = new PemMultiProcessFileLock;
    return *s_pInstance;
}

uint64_t PemMultiProcessFileLock::PathKey(const std::string& strPath)
{
    uint64_t uHash = 0xCBF29CE484222325ull;
    for (unsigned char c : strPath)
    {
        uHash ^= c;
        uHash *= 0x100000001B3ull;
    }
    return uHash;
}

template <class Pred>
bool PemMultiProcessFileLock::WaitUntil(std::unique_lock<std::mutex>& lock, int64_t nWaitMs, Pred bReady)
{
    if (nWaitMs < 0)
    {
        m_cv.wait(lock, bReady);
        return true;
    }
    return m_cv.wait_for(lock, std::chrono::milliseconds(nWaitMs), bReady);
}

std::shared_ptr<PemFileLockObj> PemMultiProcessFileLock::GetReadLockObj(const std::string& strPath,
                                                                        int64_t nWaitMs)
{
    try
    {
        // Made without owner first: should recording it fail, its release must not
        // touch the maps (and the manager mutex is held here).
        auto spLockObj = std::make_shared<PemFileLockObj>(nullptr, strPath, nullptr, PemFileLockObj::kRead);
        std::unique_lock<std::mutex> lock(m_mtx);
        bool bReady = WaitUntil(
            lock, EffectiveWait(nWaitMs),
            [&] { return m_mapWriterMutex.count(strPath) == 0 && CountOf(m_mapWriteCount, strPath) == 0; });
        if (!bReady)
        {
            return nullptr;
        }
        ++m_mapReadCount[strPath];
        spLockObj->m_pOwner = this;
        return spLockObj;
    }
    catch (const std::bad_alloc&)
    {
        CORVANE_REPORT("std::bad_alloc");
        return nullptr;
    }
}

std::shared_ptr<PemFileLockObj> PemMultiProcessFileLock::WaitGetWriteLockObj(const std::string& strPath,
                                                                             int64_t nWaitMs)
{
    const int64_t nWait = EffectiveWait(nWaitMs);
    CorvanePlatform::NamedLock* hOpenMutex = CorvanePlatform::NamedLockOpen(PathKey(strPath));
    if (!hOpenMutex)
    {
        const int nError = CorvanePlatform::LastErrorCode();
        NoteSystemFailure(nError, "create the lock", CorvanePlatform::NamedLockName(PathKey(strPath)));
        CORVANE_REPORT("hOpenMutex");
        m_cv.notify_all();
        return nullptr;
    }
    switch (CorvanePlatform::NamedLockAcquire(hOpenMutex, nWait))
    {
    case CorvanePlatform::NamedLockWait::Acquired:
        break;
    case CorvanePlatform::NamedLockWait::TimedOut:
    {
        char szLine[2048];
        std::snprintf(szLine, sizeof(szLine),
                      "asset warning: wait file lock timeout, file=%s, timeout_ms=%lu", strPath.c_str(),
                      static_cast<unsigned long>(nWait));
        WriteLogLine(szLine);
        m_cv.notify_all();
        CorvanePlatform::NamedLockClose(hOpenMutex);
        return nullptr;
    }
    default:
        m_cv.notify_all();
        CorvanePlatform::NamedLockClose(hOpenMutex);
        return nullptr;
    }
    std::shared_ptr<PemFileLockObj> spLockObj;
    try
    {
        // Owner set only once recorded, as for read locks.
        spLockObj = std::make_shared<PemFileLockObj>(nullptr, strPath, hOpenMutex, PemFileLockObj::kWrite);
        std::unique_lock<std::mutex> lock(m_mtx);
        bool bReady = WaitUntil(lock, nWait, [&] { return CountOf(m_mapReadCount, strPath) == 0; });
        if (bReady)
        {
            ++m_mapWriteCount[strPath];
            try
            {
                m_mapWriterMutex[strPath] = hOpenMutex;
            }
            catch (...)
            {
                DecrementCount(m_mapWriteCount, strPath);
                throw;
            }
            spLockObj->m_pOwner = this;
            return spLockObj;
        }
    }
    catch (const std::bad_alloc&)
    {
        CORVANE_REPORT("std::bad_alloc");
        CorvanePlatform::NamedLockClose(hOpenMutex);
        m_cv.notify_all();
        return nullptr;
    }
    CORVANE_REPORT("bReady");
    CorvanePlatform::NamedLockClose(hOpenMutex);
    m_cv.notify_all();
    return nullptr;
}

void PemMultiProcessFileLock::ReleaseLockObj(PemFileLockObj& lockObj)
{
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        if (lockObj.m_eKind == PemFileLockObj::kRead)
        {
            DecrementCount(m_mapReadCount, lockObj.m_strPath);
        }
        else
        {
            auto it = m_mapWriterMutex.find(lockObj.m_strPath);
            if (it != m_mapWriterMutex.end() && it->second == lockObj.m_pMutex)
            {
                m_mapWriterMutex.erase(it);
            }
            DecrementCount(m_mapWriteCount, lockObj.m_strPath);
            CorvanePlatform::NamedLockClose(lockObj.m_pMutex);
            lockObj.m_pMutex = nullptr;
        }
    }
    m_cv.notify_all();
}

} // namespace CorvaneUtil
