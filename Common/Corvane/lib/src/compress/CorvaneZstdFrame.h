// SPDX-License-Identifier: MIT
// What a zstd frame promises before anything is allocated for it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace CorvaneCompress
{

struct ZstdFrameLayout
{
    uint64_t uContentSize = 0;  // from the frame header
    uint64_t uDecodedBound = 0; // what the blocks can produce at most
    bool bHasChecksum = false;
};

// Walks the frame header and every block header of [pFrame, pFrame + uSize).
// True only when the bytes are exactly one complete zstd frame (not skippable)
// whose header states its content size. uDecodedBound is exact for raw and RLE
// blocks and one block maximum per compressed block, so a forged content size
// can be refused before allocating for it.
bool ReadZstdFrameLayout(const uint8_t* pFrame, size_t uSize, ZstdFrameLayout& layout);

} // namespace CorvaneCompress
