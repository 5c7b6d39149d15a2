// SPDX-License-Identifier: MIT
#include "compress/CorvaneCompress.h"

#include "common/CorvaneCheck.h"
#include "common/CorvaneMemory.h"
#include "compress/CorvaneZstdContext.h"
#include "compress/CorvaneZstdFrame.h"
#include "platform/PlatformMemory.h"
#include "platform/PlatformThread.h"

#include <zstd.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace CorvaneCompress
{
namespace
{

constexpr uint32_t kSizePrefix = sizeof(uint32_t);

// Store level -> zstd level, one entry per store level 0..10. Measured on 4 MiB
// of real tool binaries and data on this build machine (2 cores):
//   zstd 1: 440 MiB/s, 24.3% stored   zstd 3: 277 MiB/s, 21.4%   zstd 6: 99 MiB/s, 19.6%
//   zstd 12: 27 MiB/s, 19.0%          zstd 19: 2.6 MiB/s, 17.1%  zstd 22: 1.8 MiB/s, 17.1%
// and decoding at 1.0-1.26 GiB/s whatever the level. So 0-5 trade size for
// speed in zstd's fast, default and lazy classes; 6-7 take the cheapest strong
// matcher; 8-9 (the default, for published builds) take 19, which stores ~11%
// less than zstd 9 at ~20x the time, paid once by the publisher and
// never by the artists who download. 10 keeps ultra 22 for an explicit maximum,
// though on tool files it stored no less than 19 and took 30% longer.
constexpr int kZstdLevelOf[] = {1, 1, 3, 3, 6, 6, 12, 12, 19, 19, 22};
constexpr int kMaxStoreLevel = static_cast<int>(sizeof(kZstdLevelOf) / sizeof(kZstdLevelOf[0])) - 1;

// Frees a block of library memory unless ownership was handed on.
class LibraryBuffer
{
public:
    explicit LibraryBuffer(uint64_t uSize) : m_pbyData(static_cast<uint8_t*>(CorvaneUtil::MemoryAlloc(uSize)))
    {
    }
    ~LibraryBuffer()
    {
        if (m_pbyData)
            CorvaneUtil::MemoryFree(m_pbyData);
    }
    LibraryBuffer(const LibraryBuffer&) = delete;
    LibraryBuffer& operator=(const LibraryBuffer&) = delete;

    uint8_t* Get() const { return m_pbyData; }
    uint8_t* Release()
    {
        uint8_t* pbyData = m_pbyData;
        m_pbyData = nullptr;
        return pbyData;
    }

private:
    uint8_t* m_pbyData;
};

// Compression output of one thread, kept between calls.
class ScratchBuffer
{
public:
    ScratchBuffer() = default;
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;
    ~ScratchBuffer() { CorvanePlatform::FreeLargeBlock(m_pbyData, m_uSize); }

    bool Reserve(size_t uSize)
    {
        if (uSize <= m_uSize)
            return true;
        CorvanePlatform::FreeLargeBlock(m_pbyData, m_uSize);
        m_uSize = 0;
        // Grown in steps, so a run of ever larger files does not remap each time.
        size_t uNew = uSize;
        if (uNew < kMinScratch)
            uNew = kMinScratch;
        m_pbyData = static_cast<uint8_t*>(CorvanePlatform::AllocLargeBlock(uNew));
        if (m_pbyData)
            m_uSize = uNew;
        return m_pbyData != nullptr;
    }
    // A rare huge input should not keep its buffer for the life of the thread.
    void Trim()
    {
        if (m_uSize > kKeptScratch)
        {
            CorvanePlatform::FreeLargeBlock(m_pbyData, m_uSize);
            m_pbyData = nullptr;
            m_uSize = 0;
        }
    }
    uint8_t* Get() const { return m_pbyData; }

private:
    static constexpr size_t kMinScratch = size_t{4} << 20;
    static constexpr size_t kKeptScratch = size_t{64} << 20;
    uint8_t* m_pbyData = nullptr;
    size_t m_uSize = 0;
};

ScratchBuffer& ThreadScratch()
{
    return CorvanePlatform::ThreadObject<ScratchBuffer>();
}

inline void StoreLE32(uint8_t* p, uint32_t uValue)
{
    p[0] = static_cast<uint8_t>(uValue);
    p[1] = static_cast<uint8_t>(uValue >> 8);
    p[2] = static_cast<uint8_t>(uValue >> 16);
    p[3] = static_cast<uint8_t>(uValue >> 24);
}

inline uint32_t LoadLE32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Null when this build reads and writes eType, else the condition to report.
// Type 1 is recognised so that a store carrying it fails with a reason.
const char* CodecTypeRefusal(NSCorvane::CORVANE_COMPRESS_TYPE eType, bool bDecoding)
{
    if (eType == NSCorvane::STCT_ZSTD)
        return nullptr;
    if (eType == NSCorvane::STCT_LZHAM)
        return bDecoding ? "STCT_LZHAM content cannot be decoded by this build"
                         : "STCT_LZHAM content cannot be encoded by this build";
    return "FALSE";
}

bool SetCompressParameters(ZSTD_CCtx* pCCtx, int nZstdLevel)
{
    // Parameters persist in a reused context: start from zstd's defaults each time.
    return !ZSTD_isError(ZSTD_CCtx_reset(pCCtx, ZSTD_reset_session_and_parameters)) &&
           !ZSTD_isError(ZSTD_CCtx_setParameter(pCCtx, ZSTD_c_compressionLevel, nZstdLevel)) &&
           !ZSTD_isError(ZSTD_CCtx_setParameter(pCCtx, ZSTD_c_contentSizeFlag, 1)) &&
           !ZSTD_isError(ZSTD_CCtx_setParameter(pCCtx, ZSTD_c_checksumFlag, 1));
}

} // namespace

int MapLevelToZstd(int nLevel)
{
    if (nLevel < 0)
        nLevel = 0;
    if (nLevel > kMaxStoreLevel)
        nLevel = kMaxStoreLevel;
    return kZstdLevelOf[nLevel];
}

bool CompressContent(const uint8_t* pbyContent, uint32_t uSize, uint8_t** ppOut, uint32_t* puOutSize,
                     NSCorvane::CORVANE_COMPRESS_TYPE eType, int nLevel)
{
    CORVANE_CHECK(ppOut && puOutSize);
    *ppOut = nullptr;
    *puOutSize = 0;
    if (const char* pcszRefusal = CodecTypeRefusal(eType, false))
    {
        CORVANE_REPORT(pcszRefusal);
        return false;
    }
    if (uSize == 0)
        return true; // empty content has an empty envelope
    // A null buffer with a length would otherwise be stored as empty content.
    CORVANE_CHECK(pbyContent);

    const size_t uBound = ZSTD_compressBound(uSize);
    CORVANE_CHECK(!ZSTD_isError(uBound) && uBound <= UINT32_MAX - kSizePrefix);
    const int nZstdLevel = MapLevelToZstd(nLevel);
    ZSTD_CCtx* pCCtx = ThreadCompressContext(nZstdLevel);
    CORVANE_CHECK(pCCtx);
    CORVANE_CHECK(SetCompressParameters(pCCtx, nZstdLevel));
    // zstd writes into a worst-case buffer the thread keeps (in large blocks),
    // and the result is copied out at its real size: a fresh worst-case
    // buffer per file had its pages faulted in anew every time.
    ScratchBuffer& scratch = ThreadScratch();
    CORVANE_CHECK(scratch.Reserve(uBound));
    // The capacity is zstd's worst case, so there is no "too small" retry.
    const size_t uFrame = ZSTD_compress2(pCCtx, scratch.Get(), uBound, pbyContent, uSize);
    if (ZSTD_isError(uFrame))
    {
        CORVANE_REPORT(ZSTD_getErrorName(uFrame));
        return false;
    }
    LibraryBuffer out(kSizePrefix + uFrame);
    CORVANE_CHECK(out.Get());
    StoreLE32(out.Get(), uSize);
    std::memcpy(out.Get() + kSizePrefix, scratch.Get(), uFrame);
    scratch.Trim();
    *puOutSize = static_cast<uint32_t>(kSizePrefix + uFrame);
    *ppOut = out.Release();
    return true;
}

bool EnvelopeDecodedSize(const uint8_t* pbyContent, uint32_t uSize, uint32_t* puDecodedSize)
{
    CORVANE_CHECK(pbyContent && puDecodedSize && uSize >= kSizePrefix);
    const uint32_t uDecodedSize = LoadLE32(pbyContent);
    // Everything the size prefix claims is checked against the frame before any
    // memory is taken for it.
    ZstdFrameLayout layout;
    CORVANE_CHECK(ReadZstdFrameLayout(pbyContent + kSizePrefix, uSize - kSizePrefix, layout));
    CORVANE_CHECK(layout.bHasChecksum);
    CORVANE_CHECK(layout.uContentSize == uDecodedSize);
    CORVANE_CHECK(layout.uContentSize <= layout.uDecodedBound);
    *puDecodedSize = uDecodedSize;
    return true;
}

namespace
{

// The envelope's checks, then the frame decoded into the buffer fnOut gives
// for the decoded size (null fails). True with nothing decoded for size 0.
template <typename OutFn>
bool DecodeEnvelope(const uint8_t* pbyContent, uint32_t uSize, uint32_t* puDecodedSize, OutFn fnOut)
{
    *puDecodedSize = 0;
    CORVANE_CHECK(pbyContent);
    if (uSize == 0)
        return true;
    CORVANE_CHECK(uSize >= sizeof(uint32_t));

    uint32_t uDecodedSize = 0;
    if (!EnvelopeDecodedSize(pbyContent, uSize, &uDecodedSize))
    {
        return false; // its failed check is the one record
    }
    const uint8_t* pbyFrame = pbyContent + kSizePrefix;
    const size_t uFrameSize = uSize - kSizePrefix;

    ZSTD_DCtx* pDCtx = ThreadDecompressContext();
    CORVANE_CHECK(pDCtx);
    if (uDecodedSize == 0)
    {
        // Nothing to allocate, but the frame (and its checksum) must still decode.
        uint8_t byNone = 0;
        const size_t uDecoded = ZSTD_decompressDCtx(pDCtx, &byNone, 0, pbyFrame, uFrameSize);
        CORVANE_CHECK(!ZSTD_isError(uDecoded) && uDecoded == 0);
        return true;
    }

    uint8_t* pbyOut = fnOut(uDecodedSize);
    CORVANE_CHECK(pbyOut);
    const size_t uDecoded = ZSTD_decompressDCtx(pDCtx, pbyOut, uDecodedSize, pbyFrame, uFrameSize);
    if (ZSTD_isError(uDecoded))
    {
        CORVANE_REPORT(ZSTD_getErrorName(uDecoded));
        return false;
    }
    CORVANE_CHECK(uDecoded == uDecodedSize);
    *puDecodedSize = uDecodedSize;
    return true;
}

} // namespace

bool UnCompressContent(const uint8_t* pbyContent, uint32_t uSize, uint8_t** ppOut, uint32_t* puOutSize,
                       NSCorvane::CORVANE_COMPRESS_TYPE eType)
{
    CORVANE_CHECK(ppOut && puOutSize);
    *ppOut = nullptr;
    *puOutSize = 0;
    if (const char* pcszRefusal = CodecTypeRefusal(eType, true))
    {
        CORVANE_REPORT(pcszRefusal);
        return false;
    }
    std::unique_ptr<LibraryBuffer> out;
    uint32_t uDecoded = 0;
    const bool bOk = DecodeEnvelope(pbyContent, uSize, &uDecoded,
                                    [&out](uint32_t uDecodedSize)
                                    {
                                        out = std::make_unique<LibraryBuffer>(uDecodedSize);
                                        return out->Get();
                                    });
    if (!bOk || uDecoded == 0)
        return bOk;
    *puOutSize = uDecoded;
    *ppOut = out->Release();
    return true;
}

bool UnCompressContentInto(const uint8_t* pbyContent, uint32_t uSize, uint8_t* pbyOut, uint32_t uOutSize,
                           NSCorvane::CORVANE_COMPRESS_TYPE eType)
{
    if (const char* pcszRefusal = CodecTypeRefusal(eType, true))
    {
        CORVANE_REPORT(pcszRefusal);
        return false;
    }
    uint32_t uDecoded = 0;
    // Named, so that a failed check's record shows a call, not the lambda's body.
    const auto fnOutput = [&](uint32_t uDecodedSize) { return uDecodedSize == uOutSize ? pbyOut : nullptr; };
    CORVANE_CHECK(DecodeEnvelope(pbyContent, uSize, &uDecoded, fnOutput));
    CORVANE_CHECK(uDecoded == uOutSize);
    return true;
}

} // namespace CorvaneCompress
