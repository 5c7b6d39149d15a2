// SPDX-License-Identifier: MIT
#include "compress/CorvaneZstdFrame.h"

#define ZSTD_STATIC_LINKING_ONLY // ZSTD_getFrameHeader
#include <zstd.h>

namespace CorvaneCompress
{
namespace
{

constexpr size_t kBlockHeaderSize = 3;
constexpr size_t kChecksumSize = 4;

enum BlockType : uint32_t
{
    kBlockRaw = 0,
    kBlockRle = 1,
    kBlockCompressed = 2,
};

} // namespace

bool ReadZstdFrameLayout(const uint8_t* pFrame, size_t uSize, ZstdFrameLayout& layout)
{
    layout = ZstdFrameLayout();
    if (!pFrame)
        return false;
    ZSTD_frameHeader header;
    if (ZSTD_getFrameHeader(&header, pFrame, uSize) != 0)
        return false; // an error, or too few bytes for a header
    if (header.frameType != ZSTD_frame || header.frameContentSize == ZSTD_CONTENTSIZE_UNKNOWN)
        return false;

    uint64_t uBound = 0;
    size_t uPos = header.headerSize;
    for (;;)
    {
        if (uSize - uPos < kBlockHeaderSize)
            return false;
        const uint32_t uBlockHeader = static_cast<uint32_t>(pFrame[uPos]) |
                                      static_cast<uint32_t>(pFrame[uPos + 1]) << 8 |
                                      static_cast<uint32_t>(pFrame[uPos + 2]) << 16;
        uPos += kBlockHeaderSize;
        const bool bLast = (uBlockHeader & 1) != 0;
        const uint32_t uType = (uBlockHeader >> 1) & 3;
        const size_t uBlockSize = uBlockHeader >> 3;
        if (uBlockSize > header.blockSizeMax)
            return false;
        size_t uStored = 0;
        switch (uType)
        {
        case kBlockRaw:
            uStored = uBlockSize;
            uBound += uBlockSize;
            break;
        case kBlockRle:
            uStored = 1;
            uBound += uBlockSize;
            break;
        case kBlockCompressed:
            uStored = uBlockSize;
            uBound += header.blockSizeMax;
            break;
        default:
            return false;
        }
        if (uSize - uPos < uStored)
            return false;
        uPos += uStored;
        if (bLast)
            break;
    }
    if (header.checksumFlag)
    {
        if (uSize - uPos < kChecksumSize)
            return false;
        uPos += kChecksumSize;
    }
    if (uPos != uSize)
        return false; // trailing bytes: not one frame

    layout.uContentSize = header.frameContentSize;
    layout.uDecodedBound = uBound;
    layout.bHasChecksum = header.checksumFlag != 0;
    return true;
}

} // namespace CorvaneCompress
