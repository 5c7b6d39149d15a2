// SPDX-License-Identifier: MIT
// Hashes every regular file of a tree with the store's content hash and
// nothing else, on a few threads: the floor a repair of an intact working path
// is measured against, and what bench/sync.sh compares a working path with its
// release by. Reaches the library only through its exported entry points,
// loaded at run time like every caller. Linux only, as bench/ is.
//
//   sync_hash_tree [--list] LIBRARY STORE TREE [THREADS]
//
// STORE is any local store: the hash is a method of its reader. Prints the
// file count, the byte count and an XOR of the hashes (so the work cannot be
// skipped). With --list it prints instead one line per entry below TREE,
// sorted by path: "f HASH SIZE PATH" for a regular file, "d - - PATH" for a
// directory, "l - - PATH" for a link and "o - - PATH" for anything else.
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

struct TreeEntry
{
    char cKind = 'f';
    uintmax_t uSize = 0;
    uint64_t uHash = 0;
    std::string strPath;
};

struct HashTotals
{
    std::atomic<uint64_t> uBytes{0};
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

// Hashes the regular files among vecOrder's entries, taken in turns by index.
void HashFiles(NSCorvane::IPemCorvaneReader* pReader, std::vector<TreeEntry>& vecEntries,
               const std::vector<size_t>& vecOrder, std::atomic<size_t>& uNext, HashTotals& totals)
{
    std::unique_ptr<unsigned char[]> pBuffer;
    size_t uCapacity = 0;
    for (size_t i = uNext++; i < vecOrder.size(); i = uNext++)
    {
        TreeEntry& entry = vecEntries[vecOrder[i]];
        size_t uSize = 0;
        if (!ReadWhole(entry.strPath, pBuffer, uCapacity, uSize) || uSize > UINT32_MAX)
        {
            std::fprintf(stderr, "sync_hash_tree: cannot read %s\n", entry.strPath.c_str());
            totals.bFailed = true;
            return;
        }
        entry.uHash = pReader->CalcContextHash(pBuffer.get(), static_cast<uint32_t>(uSize));
        totals.uBytes += uSize;
    }
}

char KindOf(const std::filesystem::directory_entry& entry, std::error_code& ec)
{
    if (entry.is_symlink(ec))
    {
        return 'l';
    }
    if (entry.is_regular_file(ec))
    {
        return 'f';
    }
    return entry.is_directory(ec) ? 'd' : 'o';
}

// One line per entry, sorted by path relative to strRoot. A name with a line
// break could not be told apart from two entries, so it ends the listing.
bool PrintList(std::vector<TreeEntry>& vecEntries, const std::string& strRoot)
{
    std::sort(vecEntries.begin(), vecEntries.end(),
              [](const TreeEntry& a, const TreeEntry& b) { return a.strPath < b.strPath; });
    const size_t uSkip = strRoot.size() + (strRoot.back() == '/' ? 0 : 1);
    for (const TreeEntry& entry : vecEntries)
    {
        const std::string strRelative = entry.strPath.substr(uSkip);
        if (strRelative.find('\n') != std::string::npos)
        {
            std::fprintf(stderr, "sync_hash_tree: a name with a line break: %s\n", entry.strPath.c_str());
            return false;
        }
        if (entry.cKind == 'f')
        {
            std::printf("f %016" PRIx64 " %ju %s\n", entry.uHash, entry.uSize, strRelative.c_str());
        }
        else
        {
            std::printf("%c - - %s\n", entry.cKind, strRelative.c_str());
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const bool bList = argc > 1 && std::string(argv[1]) == "--list";
    if (bList)
    {
        --argc;
        ++argv;
    }
    if (argc < 4 || argc > 5)
    {
        std::fprintf(stderr, "usage: sync_hash_tree [--list] LIBRARY STORE TREE [THREADS]\n");
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

    std::vector<TreeEntry> vecEntries;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(argv[3], ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    {
        TreeEntry entry;
        entry.cKind = KindOf(*it, ec);
        if (entry.cKind == 'f')
        {
            entry.uSize = it->file_size(ec);
        }
        entry.strPath = it->path().string();
        if (entry.cKind == 'f' || bList)
        {
            vecEntries.push_back(std::move(entry));
        }
    }
    if (ec)
    {
        std::fprintf(stderr, "sync_hash_tree: cannot walk %s: %s\n", argv[3], ec.message().c_str());
        return 1;
    }

    // Largest first, so that a big file never runs alone at the end.
    std::vector<size_t> vecOrder;
    for (size_t i = 0; i < vecEntries.size(); ++i)
    {
        if (vecEntries[i].cKind == 'f')
        {
            vecOrder.push_back(i);
        }
    }
    std::sort(vecOrder.begin(), vecOrder.end(),
              [&](size_t a, size_t b) { return vecEntries[a].uSize > vecEntries[b].uSize; });

    HashTotals totals;
    std::atomic<size_t> uNext{0};
    std::vector<std::thread> vecThreads;
    for (int i = 1; i < nThreads; ++i)
    {
        vecThreads.emplace_back([&] { HashFiles(pReader, vecEntries, vecOrder, uNext, totals); });
    }
    HashFiles(pReader, vecEntries, vecOrder, uNext, totals);
    for (std::thread& thread : vecThreads)
    {
        thread.join();
    }
    if (totals.bFailed)
    {
        return 1;
    }
    if (bList)
    {
        return PrintList(vecEntries, argv[3]) && std::fflush(stdout) == 0 ? 0 : 1;
    }
    uint64_t uXor = 0;
    for (const size_t i : vecOrder)
    {
        uXor ^= vecEntries[i].uHash;
    }
    std::printf("files: %zu\nbytes: %" PRIu64 "\nxor: %016" PRIx64 "\n", vecOrder.size(),
                totals.uBytes.load(), uXor);
    // Like the tools, the process ends without releasing: the system takes the memory back.
    return 0;
}
