#pragma once

#include <thread>
#include <vector>

// Runs fnThread on up to nThreads threads, the last one being the calling
// thread, and joins them. A thread that cannot be started leaves its share
// to the others, so fnThread must take its work from a shared queue.
template <typename Fn> void RunOnThreads(int nThreads, Fn fnThread)
{
    std::vector<std::thread> vecThreads;
    vecThreads.reserve(nThreads > 1 ? static_cast<size_t>(nThreads - 1) : 0);
    for (int i = 1; i < nThreads; ++i)
    {
        try
        {
            vecThreads.emplace_back(fnThread);
        }
        catch (...)
        {
            break;
        }
    }
    fnThread();
    for (std::thread& thread : vecThreads)
        thread.join();
}
