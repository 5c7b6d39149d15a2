// SPDX-License-Identifier: MIT
#include "common/PemStreamMemoryImpl.h"

#include "common/CorvaneCheck.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <unordered_set>

namespace NSCorvane
{

namespace
{

struct BlockHeader
{
    uint64_t uTag;
    uint64_t uSize;
};
static_assert(sizeof(BlockHeader) == PemStreamMemoryImpl::kHeaderSize, "block header is 16 bytes");

// Every live block, so that Free never reads memory in front of a pointer it did
// not hand out (that memory may not even be mapped). Leaked on purpose: blocks
// may be freed while static objects are destroyed.
struct LiveBlocks
{
    std::mutex mtx;
    std::unordered_set<const void*> setBlocks;
};

LiveBlocks& Blocks()
{
    static LiveBlocks* s_pBlocks = new LiveBlocks;
    return *s_pBlocks;
}

} // namespace

void PemStreamMemoryImpl::Release()
{
    delete this;
}

void* PemStreamMemoryImpl::Alloc(uint64_t uSize)
{
    BlockHeader* pHead = nullptr;
    if (uSize <= SIZE_MAX - kHeaderSize)
    {
        pHead = static_cast<BlockHeader*>(std::malloc(static_cast<size_t>(uSize + kHeaderSize)));
    }
    try
    {
        CORVANE_CHECK_NULL(pHead);
        pHead->uTag = kBlockTag;
        pHead->uSize = uSize;
        void* pUser = pHead + 1;
        LiveBlocks& blocks = Blocks();
        std::lock_guard<std::mutex> lock(blocks.mtx);
        blocks.setBlocks.insert(pUser);
        return pUser;
    }
    catch (const std::exception& e)
    {
        std::free(pHead);
        std::fprintf(stderr, "Alloc allocation failed: %s\n", e.what());
        return nullptr;
    }
}

void PemStreamMemoryImpl::Free(void* p)
{
    if (!p)
    {
        return;
    }
    {
        LiveBlocks& blocks = Blocks();
        std::lock_guard<std::mutex> lock(blocks.mtx);
        if (blocks.setBlocks.erase(p) == 0)
        {
            return;
        }
    }
    BlockHeader* pHead = static_cast<BlockHeader*>(p) - 1;
    if (pHead->uTag != kBlockTag)
    {
        return;
    }
    pHead->uTag = 0;
    std::free(pHead);
}

} // namespace NSCorvane
