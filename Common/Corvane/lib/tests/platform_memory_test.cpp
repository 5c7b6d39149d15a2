// SPDX-License-Identifier: MIT
// Large blocks for long-lived buffers.
#include "platform/PlatformMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

using CorvanePlatform::AllocLargeBlock;
using CorvanePlatform::FreeLargeBlock;

TEST(PlatformMemory, LargeBlocksAreWholeWritableAndAligned)
{
    for (size_t uSize : {size_t{1}, size_t{4096}, (size_t{2} << 20) + 1, size_t{9} << 20})
    {
        uint8_t* p = static_cast<uint8_t*>(AllocLargeBlock(uSize));
        ASSERT_NE(nullptr, p) << uSize;
#ifndef _WIN32
        // Huge pages need the block to start on a huge-page boundary.
        EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % (size_t{2} << 20)) << uSize;
#endif
        std::memset(p, 0xA5, uSize);
        EXPECT_EQ(0xA5, p[0]);
        EXPECT_EQ(0xA5, p[uSize - 1]);
        FreeLargeBlock(p, uSize);
    }
    EXPECT_EQ(nullptr, AllocLargeBlock(0));
    EXPECT_EQ(nullptr, AllocLargeBlock(SIZE_MAX));
    FreeLargeBlock(nullptr, 123); // harmless
}
