// SPDX-License-Identifier: MIT
#define ZSTD_STATIC_LINKING_ONLY // fixed-size contexts
#include "compress/CorvaneZstdContext.h"

#include "platform/PlatformMemory.h"
#include "platform/PlatformThread.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace CorvaneCompress
{
namespace
{

// Levels whose work memory for any input fits this get a context of fixed
// size; the rest (zstd 12 and above) keep zstd's own growing context.
constexpr size_t kFixedWorkspaceLimit = size_t{16} << 20;

// zstd's own allocations through large blocks when they are big (the tables
// of the high levels run to tens of MiB): a fresh context then faults in far
// fewer pages. The size is kept in front of the block for the free.
constexpr size_t kBlockPrefix = 64; // keeps zstd's alignment
constexpr size_t kLargeAllocation = size_t{1} << 20;

void* ZstdAlloc(void*, size_t uSize)
{
    if (uSize > SIZE_MAX - kBlockPrefix)
        return nullptr;
    const size_t uTotal = uSize + kBlockPrefix;
    void* pvBlock =
        uTotal >= kLargeAllocation ? CorvanePlatform::AllocLargeBlock(uTotal) : std::malloc(uTotal);
    if (!pvBlock)
        return nullptr;
    std::memcpy(pvBlock, &uTotal, sizeof(uTotal));
    return static_cast<uint8_t*>(pvBlock) + kBlockPrefix;
}

void ZstdFree(void*, void* pv)
{
    if (!pv)
        return;
    void* pvBlock = static_cast<uint8_t*>(pv) - kBlockPrefix;
    size_t uTotal = 0;
    std::memcpy(&uTotal, pvBlock, sizeof(uTotal));
    if (uTotal >= kLargeAllocation)
        CorvanePlatform::FreeLargeBlock(pvBlock, uTotal);
    else
        std::free(pvBlock);
}

constexpr ZSTD_customMem kZstdMemory = {ZstdAlloc, ZstdFree, nullptr};

struct ThreadContexts
{
    ZSTD_CCtx* m_pCCtx = nullptr;
    ZSTD_DCtx* m_pDCtx = nullptr;
    // A context living in m_pvWorkspace: zstd never frees or regrows it.
    ZSTD_CCtx* m_pFixedCCtx = nullptr;
    void* m_pvWorkspace = nullptr;
    size_t m_uWorkspace = 0;

    ThreadContexts() = default;
    ThreadContexts(const ThreadContexts&) = delete;
    ThreadContexts& operator=(const ThreadContexts&) = delete;
    ~ThreadContexts()
    {
        ZSTD_freeCCtx(m_pCCtx);
        ZSTD_freeDCtx(m_pDCtx);
        CorvanePlatform::FreeLargeBlock(m_pvWorkspace, m_uWorkspace); // frees a fixed context too
    }
};

ThreadContexts& Contexts()
{
    return CorvanePlatform::ThreadObject<ThreadContexts>();
}

} // namespace

ZSTD_CCtx* ThreadCompressContext(int nZstdLevel)
{
    ThreadContexts& contexts = Contexts();
    // A growing context sizes its tables for each input and gives memory back
    // after a run of small inputs, so a tree of mixed sizes had it reallocated
    // (and every page of it faulted in and cleared) over and over. For the
    // fast levels the largest workspace is small: take it once.
    const size_t uNeeded = ZSTD_estimateCCtxSize(nZstdLevel);
    if (uNeeded <= kFixedWorkspaceLimit)
    {
        if (!contexts.m_pFixedCCtx || contexts.m_uWorkspace < uNeeded)
        {
            CorvanePlatform::FreeLargeBlock(contexts.m_pvWorkspace, contexts.m_uWorkspace);
            contexts.m_pvWorkspace = nullptr;
            contexts.m_pFixedCCtx = nullptr;
            contexts.m_uWorkspace = 0;
            // zstd wants the workspace 8-byte aligned; large blocks are page aligned.
            void* pvWorkspace = CorvanePlatform::AllocLargeBlock(uNeeded);
            if (pvWorkspace)
            {
                contexts.m_pFixedCCtx = ZSTD_initStaticCCtx(pvWorkspace, uNeeded);
                if (contexts.m_pFixedCCtx)
                {
                    contexts.m_pvWorkspace = pvWorkspace;
                    contexts.m_uWorkspace = uNeeded;
                }
                else
                {
                    CorvanePlatform::FreeLargeBlock(pvWorkspace, uNeeded);
                }
            }
        }
        if (contexts.m_pFixedCCtx)
            return contexts.m_pFixedCCtx;
    }
    if (!contexts.m_pCCtx)
        contexts.m_pCCtx = ZSTD_createCCtx_advanced(kZstdMemory);
    return contexts.m_pCCtx;
}

ZSTD_DCtx* ThreadDecompressContext()
{
    ThreadContexts& contexts = Contexts();
    if (!contexts.m_pDCtx)
        contexts.m_pDCtx = ZSTD_createDCtx();
    return contexts.m_pDCtx;
}

} // namespace CorvaneCompress
