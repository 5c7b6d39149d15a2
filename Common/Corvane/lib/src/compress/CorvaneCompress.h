// SPDX-License-Identifier: MIT
// The compression envelope: u32 uncompressed size, then one zstd frame with its
// content size and checksum. Buffers come from the library's memory
// (CorvaneUtil::MemoryAlloc) and are freed there by the caller.
#pragma once

#include <Corvane/CorvaneRecords.h>

#include <cstdint>

namespace CorvaneCompress
{

// Level used for index and list files.
constexpr int kListCompressLevel = 9;

// Store level 0..10 -> zstd level.
int MapLevelToZstd(int nLevel);

// Empty input succeeds with *ppOut = null and *puOutSize = 0 (no size prefix).
bool CompressContent(const uint8_t* pbyContent, uint32_t uSize, uint8_t** ppOut, uint32_t* puOutSize,
                     NSCorvane::CORVANE_COMPRESS_TYPE eType, int nLevel);

// Decodes an envelope; the decoded size must equal the size prefix.
bool UnCompressContent(const uint8_t* pbyContent, uint32_t uSize, uint8_t** ppOut, uint32_t* puOutSize,
                       NSCorvane::CORVANE_COMPRESS_TYPE eType);

} // namespace CorvaneCompress
