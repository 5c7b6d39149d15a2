// SPDX-License-Identifier: MIT
#include "compress/CorvaneZstdContext.h"

namespace CorvaneCompress
{
namespace
{

struct ThreadContexts
{
    ZSTD_CCtx* m_pCCtx = nullptr;
    ZSTD_DCtx* m_pDCtx = nullptr;

    ThreadContexts() = default;
    ThreadContexts(const ThreadContexts&) = delete;
    ThreadContexts& operator=(const ThreadContexts&) = delete;
    ~ThreadContexts()
    {
        ZSTD_freeCCtx(m_pCCtx);
        ZSTD_freeDCtx(m_pDCtx);
    }
};

ThreadContexts& Contexts()
{
    thread_local ThreadContexts s_contexts;
    return s_contexts;
}

} // namespace

ZSTD_CCtx* ThreadCompressContext()
{
    ThreadContexts& contexts = Contexts();
    if (!contexts.m_pCCtx)
        contexts.m_pCCtx = ZSTD_createCCtx();
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
