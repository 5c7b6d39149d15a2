// SPDX-License-Identifier: MIT
// The library's built-in allocator. Every block is preceded by a 16-byte header
// (u64 tag 0x9B459A98, u64 requested size). Safe from any thread; blocks of one
// instance may be freed through another.
#pragma once

#include <Corvane/CorvaneStream.h>

namespace NSCorvane
{

class PemStreamMemoryImpl final : public IStreamMemory
{
public:
    static constexpr uint64_t kBlockTag = 0x9B459A98u;
    static constexpr uint64_t kHeaderSize = 16;

    PemStreamMemoryImpl() = default;
    ~PemStreamMemoryImpl() override = default;

    // Deletes the object; the process-wide built-in instance must not be released.
    void Release() override;
    // Null on failure (logged).
    void* Alloc(uint64_t uSize) override;
    // Ignores null and anything this allocator did not hand out (or already freed).
    void Free(void* p) override;
};

} // namespace NSCorvane
