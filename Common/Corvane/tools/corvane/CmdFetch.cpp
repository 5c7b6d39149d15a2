// SPDX-License-Identifier: MIT
// corvane fetch: brings every data package of a store version into the local
// cache of a remote configuration, verified.
#include "CorvaneProgress.h"
#include "CorvaneStore.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

const char kHelp[] =
    R"(usage: corvane fetch --config FILE [--version V] [--limit BYTES_PER_SEC] [--threads N] [--no-range]

Downloads every data package of a store version from the remote sources of
the configuration FILE into its cache directory and checks each one; a
package already cached and intact is not downloaded again. Shows progress and
the current download speed on a terminal.

  --config FILE           the JSON configuration of the remote store
  --version V             fetch version V instead of the latest
  --limit BYTES_PER_SEC   download at most this fast (0: unlimited, the default)
  --threads N             packages fetched at once (default 8) when the library
                          takes no fetch plan; with one, the source's
                          "connections" (default 8) sets the requests in flight
  --no-range              accepted as by the reading commands; fetch moves
                          whole packages either way
)";

std::string FormatRate(uint64_t uBytesPerSecond)
{
    char szText[64];
    std::snprintf(szText, sizeof(szText), "%.1f MiB/s",
                  static_cast<double>(uBytesPerSecond) / (1024.0 * 1024.0));
    return szText;
}

int RunFetch(ToolContext& ctx, const ParsedArgs& args)
{
    if (!args.Has("--config") || args.Value("--config").empty())
    {
        return FailUsage("fetch", "missing --config FILE");
    }
    StoreSource source;
    source.strConfigFile = args.Value("--config");
    source.bNoRange = args.Has("--no-range");
    if (args.Has("--version") && (!ParseUInt32(args.Value("--version"), source.uVersion) ||
                                  source.uVersion == NSCorvane::_INVALID_VER))
    {
        return FailUsage("fetch", "--version needs a version number, not '" + args.Value("--version") + "'");
    }
    uint64_t uLimit = 0;
    if (args.Has("--limit") && !ParseUInt64(args.Value("--limit"), uLimit))
    {
        return FailUsage("fetch", "--limit needs bytes per second, not '" + args.Value("--limit") + "'");
    }
    uint32_t uThreads = 8;
    if (args.Has("--threads") &&
        (!ParseUInt32(args.Value("--threads"), uThreads) || uThreads == 0 || uThreads > 64))
    {
        return FailUsage("fetch", "--threads needs a number from 1 to 64");
    }

    ReaderPtr pReader;
    if (!OpenStoreReader(ctx, source, pReader))
    {
        return kExitFailure;
    }
    if (!pReader->SetLimitSpeed(uLimit))
    {
        return FailInLibrary("cannot set the download limit");
    }
    StringListPtr pList(pReader->OpenDataList());
    if (!pList)
    {
        return FailInLibrary("cannot read the package list of version " +
                             std::to_string(pReader->GetWorkVersion()));
    }
    std::vector<std::string> vecPackages;
    for (uint32_t i = 0; i < pList->Count(); ++i)
    {
        const char* pcszPath = pList->Get(i);
        if (pcszPath && *pcszPath)
        {
            vecPackages.emplace_back(pcszPath);
        }
    }

    // One plan for every package: the library keeps many requests in flight
    // on its own, and the workers below only wait for each and check it.
    CorvaneLibrary* pLibrary = ctx.Library();
    const bool bPlanned =
        pLibrary && pLibrary->PlanFetch(pReader.get(), vecPackages, NSCorvane::CORVANE_FETCH_WHOLE_PACKAGES);

    CorvaneProgress progress;
    std::atomic<size_t> uNext{0};
    std::atomic<size_t> uDone{0};
    std::mutex mtxFailed;
    std::vector<std::string> vecFailed;
    std::mutex mtxDone;
    std::condition_variable cvDone;
    const auto tStart = std::chrono::steady_clock::now();
    std::vector<std::thread> vecWorkers;
    const size_t uWorkers = std::min<size_t>(uThreads, vecPackages.size());
    for (size_t w = 0; w < uWorkers; ++w)
    {
        vecWorkers.emplace_back(
            [&]
            {
                for (size_t i = uNext++; i < vecPackages.size(); i = uNext++)
                {
                    if (!pReader->SyncDownloadDataFile(vecPackages[i].c_str()))
                    {
                        std::lock_guard<std::mutex> lock(mtxFailed);
                        vecFailed.push_back(vecPackages[i]);
                    }
                    {
                        std::lock_guard<std::mutex> lock(mtxDone);
                        ++uDone;
                    }
                    cvDone.notify_all();
                }
            });
    }
    // Progress every 200 ms, but the run ends as soon as the last package does.
    for (;;)
    {
        std::string strBytes;
        NSCorvane::CORVANE_FETCH_PROGRESS fetched;
        if (bPlanned && pLibrary->GetFetchProgress(pReader.get(), &fetched) && fetched.uBytesPlanned)
        {
            strBytes = ", " + std::to_string(fetched.uBytesDone >> 20) + " of " +
                       std::to_string(fetched.uBytesPlanned >> 20) + " MiB";
        }
        progress.Show("fetch: package " + std::to_string(uDone.load()) + "/" +
                      std::to_string(vecPackages.size()) + strBytes + ", " +
                      FormatRate(pReader->GetDownloadSpeed()));
        std::unique_lock<std::mutex> lock(mtxDone);
        if (cvDone.wait_for(lock, std::chrono::milliseconds(200),
                            [&] { return uDone.load() >= vecPackages.size(); }))
        {
            break;
        }
    }
    for (std::thread& worker : vecWorkers)
    {
        worker.join();
    }
    progress.Clear();

    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
    for (const std::string& strFailed : vecFailed)
    {
        std::printf("package %s: download or check failed\n", strFailed.c_str());
    }
    std::printf("version: %u\npackages: %zu\nfailed: %zu\nseconds: %.2f\n", pReader->GetWorkVersion(),
                vecPackages.size(), vecFailed.size(), dSeconds);
    if (!vecFailed.empty())
    {
        return FailInLibrary(std::to_string(vecFailed.size()) + " package(s) could not be fetched");
    }
    return kExitOk;
}

std::vector<OptionSpec> FetchOptions()
{
    return {{"--config", true, false},
            {"--version", true, false},
            {"--limit", true, false},
            {"--threads", true, false},
            {"--no-range", false, false}};
}

} // namespace

extern const CorvaneCommand g_cmdFetch;
const CorvaneCommand g_cmdFetch = {
    "fetch", "download and check every data package into a remote store's cache", kHelp, FetchOptions(), 0, 0,
    RunFetch};
