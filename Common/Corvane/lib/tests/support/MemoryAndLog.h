// SPDX-License-Identifier: MIT
// A counting allocator installed as the library's memory, and an error-log
// hook that keeps the records.
#pragma once

#include "common/CorvaneLog.h"
#include "common/CorvaneMemory.h"

#include <Corvane/CorvaneStream.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace CorvaneTest
{

// Counts every block the library allocates and frees through its memory
// object; a block freed twice or never is visible in the counts.
class CountingMemory final : public NSCorvane::IStreamMemory
{
public:
    void Release() override {}
    void* Alloc(uint64_t uSize) override
    {
        void* p = std::malloc(uSize ? uSize : 1);
        std::lock_guard<std::mutex> lock(m_mtx);
        m_setLive.insert(p);
        ++m_uAllocs;
        return p;
    }
    void Free(void* p) override
    {
        if (!p)
        {
            return;
        }
        std::lock_guard<std::mutex> lock(m_mtx);
        if (m_setLive.erase(p) == 0)
        {
            ++m_uBadFrees;
            return;
        }
        ++m_uFrees;
        std::free(p);
    }
    uint64_t Live()
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        return m_setLive.size();
    }
    uint64_t Allocs() const { return m_uAllocs; }
    uint64_t BadFrees() const { return m_uBadFrees; }

private:
    std::mutex m_mtx;
    std::set<void*> m_setLive;
    std::atomic<uint64_t> m_uAllocs{0};
    std::atomic<uint64_t> m_uFrees{0};
    std::atomic<uint64_t> m_uBadFrees{0};
};

// Installs the counting allocator for the life of the object.
class ScopedCountingMemory
{
public:
    ScopedCountingMemory() : m_pOld(CorvaneUtil::gOption().piMemory)
    {
        CorvaneUtil::gOption().piMemory = &m_memory;
    }
    ~ScopedCountingMemory() { CorvaneUtil::gOption().piMemory = m_pOld; }
    CountingMemory& Memory() { return m_memory; }

private:
    CountingMemory m_memory;
    NSCorvane::IStreamMemory* m_pOld;
};

// Keeps the conditions of every error-log record while it lives.
class ScopedLogCapture
{
public:
    ScopedLogCapture()
    {
        Records().clear();
        CorvaneUtil::SetErrorLogHook(&Hook);
    }
    ~ScopedLogCapture() { CorvaneUtil::SetErrorLogHook(nullptr); }
    static bool Contains(const std::string& strPart)
    {
        std::lock_guard<std::mutex> lock(Mutex());
        for (const std::string& str : Records())
        {
            if (str.find(strPart) != std::string::npos)
            {
                return true;
            }
        }
        return false;
    }

    // "function: condition" of every record so far.
    static std::vector<std::string> All()
    {
        std::lock_guard<std::mutex> lock(Mutex());
        return Records();
    }

private:
    static void Hook(const char* pcszFunction, int, const char* pcszCondition)
    {
        std::lock_guard<std::mutex> lock(Mutex());
        Records().push_back(std::string(pcszFunction) + ": " + pcszCondition);
    }
    static std::vector<std::string>& Records()
    {
        static std::vector<std::string> vec;
        return vec;
    }
    static std::mutex& Mutex()
    {
        static std::mutex mtx;
        return mtx;
    }
};

} // namespace CorvaneTest
