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

// Only STCT_ZSTD is written; STCT_LZHAM and any other type fail with a record.
// Outputs are cleared first and stay null/0 on failure. Empty input succeeds with
// *ppOut = null and *puOutSize = 0 (no size prefix); a null pointer with a
// non-zero size fails. Thread-safe: each thread uses its own zstd context.
bool CompressContent(const uint8_t* pbyContent, uint32_t uSize, uint8_t** ppOut, uint32_t* puOutSize,
                     NSCorvane::CORVANE_COMPRESS_TYPE eType, int nLevel);

// Decodes an envelope; the decoded size must equal the size prefix. A null
// pointer fails; a non-null one of size 0 succeeds with null/0. The bytes after
// the prefix must be exactly one zstd frame with content size and checksum, and
// the prefix is checked against that frame before anything is allocated.
// Outputs are null/0 on failure and nothing is left allocated.
bool UnCompressContent(const uint8_t* pbyContent, uint32_t uSize, uint8_t** ppOut, uint32_t* puOutSize,
                       NSCorvane::CORVANE_COMPRESS_TYPE eType);

// The decoded size an envelope of uSize > 0 bytes promises, after the checks
// above: what a caller may allocate before decoding into its own buffer.
bool EnvelopeDecodedSize(const uint8_t* pbyContent, uint32_t uSize, uint32_t* puDecodedSize);

// The same checks and decoding into the caller's buffer, whose size must be the
// decoded size exactly: a large file is decoded once, where it will be kept.
bool UnCompressContentInto(const uint8_t* pbyContent, uint32_t uSize, uint8_t* pbyOut, uint32_t uOutSize,
                           NSCorvane::CORVANE_COMPRESS_TYPE eType);

} // namespace CorvaneCompress
