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
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
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

// Reads the whole file into the buffer, as a repair reads a file before
// hashing it. The buffer only grows, and is never filled before the read.
bool ReadWhole(const std::string& strPath, std::unique_ptr<unsigned char[]>& pBuffer, size_t& uCapacity,
               size_t& uSize)
{
    const int nFd = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (nFd < 0 || fstat(nFd, &st) != 0)
    {
        if (nFd >= 0)
        {
            close(nFd);
        }
        return false;
    }
    const size_t uWant = static_cast<size_t>(st.st_size);
    if (uWant > uCapacity)
    {
        pBuffer.reset(new unsigned char[uWant]);
        uCapacity = uWant;
    }
    uSize = 0;
    bool bOk = true;
    while (uSize < uWant)
    {
        const ssize_t nRead = read(nFd, pBuffer.get() + uSize, uWant - uSize);
        if (nRead <= 0)
        {
            bOk = false;
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
    std::unique_ptr<unsigned char[]> pBuffer;
    size_t uCapacity = 0;
    for (size_t i = uNext++; i < vecFiles.size(); i = uNext++)
    {
        size_t uSize = 0;
        if (!ReadWhole(vecFiles[i], pBuffer, uCapacity, uSize) || uSize > UINT32_MAX)
        {
            std::fprintf(stderr, "sync_hash_tree: cannot read %s\n", vecFiles[i].c_str());
            totals.bFailed = true;
            return;
        }
        totals.uXor ^= pReader->CalcContextHash(pBuffer.get(), static_cast<uint32_t>(uSize));
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

    std::vector<std::pair<uintmax_t, std::string>> vecSized;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(argv[3], ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    {
        if (it->is_regular_file(ec) && !it->is_symlink(ec))
        {
            vecSized.emplace_back(it->file_size(ec), it->path().string());
        }
    }
    if (ec)
    {
        std::fprintf(stderr, "sync_hash_tree: cannot walk %s: %s\n", argv[3], ec.message().c_str());
        return 1;
    }

    // Largest first, so that a big file never runs alone at the end.
    std::sort(vecSized.begin(), vecSized.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> vecFiles;
    for (auto& entry : vecSized)
    {
        vecFiles.push_back(std::move(entry.second));
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
