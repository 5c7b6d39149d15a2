// SPDX-License-Identifier: MIT
// Hashes every regular file of a tree with the store's content hash and
// nothing else, on a few threads: the floor a repair of an intact working path
// is measured against. Reaches the library only through its exported entry
// points, loaded at run time like every caller. Linux only, as bench/ is.
//
//   sync_hash_tree LIBRARY STORE TREE [THREADS]
//
// STORE is any local store: the hash is a method of its reader. Prints the
// file count, the byte count and an XOR of the hashes (so the work cannot be
// skipped).
#include <Corvane/PemCorvaneX64.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace
{

struct HashTotals
{
    std::atomic<uint64_t> uBytes{0};
    std::atomic<uint64_t> uXor{0};
    std::atomic<bool> bFailed{false};
};

// Reads the whole file into vecBuffer, as a repair reads a file before hashing it.
bool ReadWhole(const std::string& strPath, std::vector<unsigned char>& vecBuffer, size_t& uSize)
{
    const int nFd = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (nFd < 0)
    {
        return false;
    }
    uSize = 0;
    bool bOk = true;
    for (;;)
    {
        if (vecBuffer.size() - uSize < (1u << 20))
        {
            vecBuffer.resize(vecBuffer.size() * 2 + (1u << 20));
        }
        const ssize_t nRead = read(nFd, vecBuffer.data() + uSize, vecBuffer.size() - uSize);
        if (nRead < 0)
        {
            bOk = false;
            break;
        }
        if (nRead == 0)
        {
            break;
        }
        uSize += static_cast<size_t>(nRead);
    }
    close(nFd);
    return bOk;
}

void HashFiles(NSCorvane::IPemCorvaneReader* pReader, const std::vector<std::string>& vecFiles,
               std::atomic<size_t>& uNext, HashTotals& totals)
{
    std::vector<unsigned char> vecBuffer;
    for (size_t i = uNext++; i < vecFiles.size(); i = uNext++)
    {
        size_t uSize = 0;
        if (!ReadWhole(vecFiles[i], vecBuffer, uSize) || uSize > UINT32_MAX)
        {
            std::fprintf(stderr, "sync_hash_tree: cannot read %s\n", vecFiles[i].c_str());
            totals.bFailed = true;
            return;
        }
        totals.uXor ^= pReader->CalcContextHash(vecBuffer.data(), static_cast<uint32_t>(uSize));
        totals.uBytes += uSize;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5)
    {
        std::fprintf(stderr, "usage: sync_hash_tree LIBRARY STORE TREE [THREADS]\n");
        return 2;
    }
    const int nThreads = argc == 5 ? std::atoi(argv[4]) : 2;
    if (nThreads < 1)
    {
        std::fprintf(stderr, "sync_hash_tree: bad thread count %s\n", argv[4]);
        return 2;
    }
    void* hLibrary = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!hLibrary)
    {
        std::fprintf(stderr, "sync_hash_tree: %s\n", dlerror());
        return 1;
    }
    auto pfnInit = reinterpret_cast<PFN_g_InitCorvaneManager>(dlsym(hLibrary, "g_InitCorvaneManager"));
    auto pfnNewReader = reinterpret_cast<PFN_g_NewCorvaneReader>(dlsym(hLibrary, "g_NewCorvaneReader"));
    if (!pfnInit || !pfnNewReader || !pfnInit(nullptr, nullptr))
    {
        std::fprintf(stderr, "sync_hash_tree: %s lacks the store entry points\n", argv[1]);
        return 1;
    }
    NSCorvane::IPemCorvaneReader* pReader = nullptr;
    if (!pfnNewReader(&pReader, argv[2], NSCorvane::_INVALID_VER))
    {
        std::fprintf(stderr, "sync_hash_tree: cannot open the store %s\n", argv[2]);
        return 1;
    }

    std::vector<std::string> vecFiles;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(argv[3], ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    {
        if (it->is_regular_file(ec) && !it->is_symlink(ec))
        {
            vecFiles.push_back(it->path().string());
        }
    }
    if (ec)
    {
        std::fprintf(stderr, "sync_hash_tree: cannot walk %s: %s\n", argv[3], ec.message().c_str());
        return 1;
    }

    HashTotals totals;
    std::atomic<size_t> uNext{0};
    std::vector<std::thread> vecThreads;
    for (int i = 1; i < nThreads; ++i)
    {
        vecThreads.emplace_back([&] { HashFiles(pReader, vecFiles, uNext, totals); });
    }
    HashFiles(pReader, vecFiles, uNext, totals);
    for (std::thread& thread : vecThreads)
    {
        thread.join();
    }
    if (totals.bFailed)
    {
        return 1;
    }
    std::printf("files: %zu\nbytes: %" PRIu64 "\nxor: %016" PRIx64 "\n", vecFiles.size(),
                totals.uBytes.load(), totals.uXor.load());
    // Like the tools, the process ends without releasing: the system takes the memory back.
    return 0;
}
