// SPDX-License-Identifier: MIT
// Read and write locks per path (the exact string). Inside the process, readers
// and writers of a path exclude each other; across processes, writers exclude
// each other through a named lock. A reader in another process is not seen: the
// atomic replace of DiskWrite keeps readers from ever seeing a partial file.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace CorvanePlatform
{
struct NamedLock;
}

namespace CorvaneUtil
{

class PemMultiProcessFileLock;

// One granted lock. Shared ownership: the last owner releases it, on any thread.
class PemFileLockObj
{
public:
    enum Kind
    {
        kRead = 1,
        kWrite = 2,
    };

    PemFileLockObj(PemMultiProcessFileLock* pOwner, std::string strPath, CorvanePlatform::NamedLock* pMutex,
                   Kind eKind);
    ~PemFileLockObj();
    PemFileLockObj(const PemFileLockObj&) = delete;
    PemFileLockObj& operator=(const PemFileLockObj&) = delete;

    const std::string& Path() const { return m_strPath; }
    Kind GetKind() const { return m_eKind; }

private:
    friend class PemMultiProcessFileLock;
    PemMultiProcessFileLock* m_pOwner;
    std::string m_strPath;
    CorvanePlatform::NamedLock* m_pMutex; // null for a read lock
    Kind m_eKind;
};

class PemMultiProcessFileLock
{
public:
    static constexpr int64_t kDefaultWaitMs = 15000;

    // The process-wide instance, created on first use and never destroyed.
    static PemMultiProcessFileLock& Instance();

    // A wait of 0 means the default; a negative wait waits without limit.
    // Empty when the wait ran out (or on failure, logged).
    std::shared_ptr<PemFileLockObj> GetReadLockObj(const std::string& strPath, int64_t nWaitMs);
    // A timed-out wait for another process writes
    // "asset warning: wait file lock timeout, file=%s, timeout_ms=%lu" to the log.
    std::shared_ptr<PemFileLockObj> WaitGetWriteLockObj(const std::string& strPath, int64_t nWaitMs);

    // FNV-1a 64 of the path's bytes: the key of its named lock.
    static uint64_t PathKey(const std::string& strPath);

private:
    friend class PemFileLockObj;
    PemMultiProcessFileLock() = default;
    void ReleaseLockObj(PemFileLockObj& lockObj);
    // Waits on m_cv until bReady() holds or the wait runs out.
    template <class Pred> bool WaitUntil(std::unique_lock<std::mutex>& lock, int64_t nWaitMs, Pred bReady);

    std::mutex m_mtx;
    std::condition_variable m_cv;
    std::map<std::string, CorvanePlatform::NamedLock*> m_mapWriterMutex;
    std::map<std::string, uint32_t> m_mapWriteCount;
    std::map<std::string, uint32_t> m_mapReadCount;
};

} // namespace CorvaneUtil
