// SPDX-License-Identifier: MIT
#include "builder/BuilderJobs.h"

#include "common/CorvaneCheck.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace NSCorvane
{

bool RunJobs(size_t uJobs, uint32_t uRunners, const std::function<bool(size_t)>& fnJob)
{
    std::atomic<size_t> uNext{0};
    std::atomic<bool> bOk{true};
    const auto fnRun = [&]()
    {
        for (size_t i = uNext.fetch_add(1); i < uJobs && bOk.load(); i = uNext.fetch_add(1))
        {
            bool bJob = false;
            try
            {
                bJob = fnJob(i);
            }
            catch (...)
            {
                // Nothing may leave a helper thread; the job just failed.
                CORVANE_REPORT("exception in a build job");
            }
            if (!bJob)
            {
                bOk = false;
            }
        }
    };
    std::vector<std::thread> vecThreads;
    for (uint32_t i = 1; i < uRunners && i < uJobs; ++i)
    {
        try
        {
            vecThreads.emplace_back(fnRun);
        }
        catch (const std::system_error&)
        {
            break; // fewer helpers; the caller's thread still runs every job
        }
    }
    fnRun();
    for (std::thread& th : vecThreads)
    {
        th.join();
    }
    return bOk.load();
}

} // namespace NSCorvane
