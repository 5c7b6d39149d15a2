// SPDX-License-Identifier: MIT
// A fixed set of named worker threads that run queued jobs in FIFO order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace NSCorvane
{

// Owned by its creator. TryAddTask may be called from any thread, also from a
// job; Init, Wait and Stop only from the owner, never from one of its workers.
class PemQueueTaskPool
{
public:
    using Job = std::function<void()>;

    PemQueueTaskPool() = default;
    ~PemQueueTaskPool();
    PemQueueTaskPool(const PemQueueTaskPool&) = delete;
    PemQueueTaskPool& operator=(const PemQueueTaskPool&) = delete;

    // Starts uThreadCount workers named "PemQueueTaskPool.Worker.<i>". 0 starts
    // none (and no job will ever run). False when a thread cannot be started;
    // the threads started so far are stopped again.
    bool Init(uint32_t uThreadCount);
    // False (and the job is dropped) once Stop has begun.
    bool TryAddTask(Job job);
    // Returns when the queue is empty and no job runs. Always true.
    bool Wait();
    // Discards queued jobs without running them and joins every worker.
    bool Stop();

    uint32_t ThreadCount() const { return static_cast<uint32_t>(m_vecThreads.size()); }

private:
    void _WorkerLoop(uint32_t uIndex);

    std::vector<std::thread> m_vecThreads;
    std::deque<Job> m_queJobs;
    std::atomic<uint32_t> m_uActive{0};
    std::mutex m_mtx;
    std::condition_variable m_cvWork;
    std::condition_variable m_cvIdle;
    std::atomic<bool> m_bStop{false};
};

} // namespace NSCorvane
