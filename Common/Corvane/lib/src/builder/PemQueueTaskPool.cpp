// SPDX-License-Identifier: MIT
#include "builder/PemQueueTaskPool.h"

#include "common/CorvaneCheck.h"
#include "platform/PlatformThread.h"

#include <string>
#include <system_error>

namespace NSCorvane
{

PemQueueTaskPool::~PemQueueTaskPool()
{
    Stop();
}

bool PemQueueTaskPool::Init(uint32_t uThreadCount)
{
    Stop();
    m_bStop = false;
    m_uActive = 0;
    try
    {
        for (uint32_t i = 0; i < uThreadCount; ++i)
        {
            m_vecThreads.emplace_back([this, i]() { _WorkerLoop(i); });
        }
    }
    catch (const std::system_error&)
    {
        Stop();
        CORVANE_REPORT("std::thread(_WorkerLoop)");
        return false;
    }
    return true;
}

bool PemQueueTaskPool::TryAddTask(Job job)
{
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        if (m_bStop)
        {
            return false;
        }
        m_queJobs.push_back(std::move(job));
    }
    m_cvWork.notify_one();
    return true;
}

bool PemQueueTaskPool::Wait()
{
    // Woken by the workers instead of polling: a build waits on many pools at
    // its end and must not pay a fixed delay for each.
    std::unique_lock<std::mutex> lock(m_mtx);
    m_cvIdle.wait(lock, [this]() { return (m_queJobs.empty() && 0 == m_uActive) || m_vecThreads.empty(); });
    return true;
}

bool PemQueueTaskPool::Stop()
{
    std::deque<Job> queDropped;
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        m_bStop = true;
        queDropped.swap(m_queJobs);
    }
    m_cvWork.notify_all();
    for (std::thread& thread : m_vecThreads)
    {
        if (thread.joinable())
        {
            thread.join();
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        m_vecThreads.clear();
    }
    m_cvIdle.notify_all();
    // Dropped jobs are destroyed here, outside the lock: their captures may
    // own memory whose release takes other locks.
    queDropped.clear();
    return true;
}

void PemQueueTaskPool::_WorkerLoop(uint32_t uIndex)
{
    const std::string strName = "PemQueueTaskPool.Worker." + std::to_string(uIndex);
    CorvanePlatform::SetCurrentThreadName(strName.c_str());
    for (;;)
    {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mtx);
            m_cvWork.wait(lock, [this]() { return m_bStop || !m_queJobs.empty(); });
            if (m_bStop && m_queJobs.empty())
            {
                return;
            }
            ++m_uActive;
            job = std::move(m_queJobs.front());
            m_queJobs.pop_front();
        }
        try
        {
            job();
        }
        catch (...)
        {
            // A job owns its own failure reporting; a throwing job must not end the worker.
            CORVANE_REPORT("job()");
        }
        job = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mtx);
            --m_uActive;
        }
        m_cvIdle.notify_all();
    }
}

} // namespace NSCorvane
