// SPDX-License-Identifier: MIT
#include "reader/PemRecordStreamFile.h"

#include "common/CorvaneCheck.h"
#include "format/CorvaneHash.h"

#include <zstd.h>

#include <algorithm>
#include <cstdio>
#include <new>

namespace NSCorvane
{

namespace
{

// Record bytes read from the source at a time; zstd's own buffers add the
// frame's window (a few MiB at the store's levels).
constexpr size_t kInputChunk = 1u << 20;
constexpr uint32_t kSizePrefix = 4;
constexpr uint8_t kChecksumFlag = 0x04;

uint32_t LoadLE32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

struct PemRecordStreamFile::Decoder
{
    ZSTD_DCtx* pCtx = ZSTD_createDCtx();
    NSCorvaneReader::ContextHashStream hash;
    bool bFrameDone = false;
    ~Decoder() { ZSTD_freeDCtx(pCtx); }
};

PemRecordStreamFile::PemRecordStreamFile(IFile* pifSource, uint32_t uOffset, uint32_t uEncodeSize,
                                         uint32_t uDecodeSize, uint64_t uContextHash)
    : m_pifSource(pifSource), m_uOffset(uOffset), m_uEncodeSize(uEncodeSize), m_uDecodeSize(uDecodeSize),
      m_uContextHash(uContextHash)
{
}

PemRecordStreamFile::~PemRecordStreamFile()
{
    Close();
}

PemRecordStreamFile* PemRecordStreamFile::Open(IFile* pifSource, uint32_t uOffset, uint32_t uEncodeSize,
                                               uint32_t uDecodeSize, uint64_t uContextHash)
{
    if (!pifSource)
    {
        return nullptr;
    }
    PemRecordStreamFile* pRaw =
        new (std::nothrow) PemRecordStreamFile(pifSource, uOffset, uEncodeSize, uDecodeSize, uContextHash);
    if (!pRaw)
    {
        pifSource->Release();
        return nullptr;
    }
    std::unique_ptr<PemRecordStreamFile, void (*)(PemRecordStreamFile*)> pFile(
        pRaw, [](PemRecordStreamFile* p) { p->Release(); });
    CORVANE_CHECK_NULL(uDecodeSize > 0 && uEncodeSize > kSizePrefix);
    CORVANE_CHECK_NULL(uOffset <= static_cast<uint32_t>(INT32_MAX));
    pFile->m_pDecoder.reset(new (std::nothrow) Decoder);
    CORVANE_CHECK_NULL(pFile->m_pDecoder && pFile->m_pDecoder->pCtx);
    try
    {
        pFile->m_vecInput.resize(kInputChunk);
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        return nullptr;
    }
    CORVANE_CHECK_NULL(pFile->Restart());
    // The size prefix and the frame header promise the same size, and the
    // frame carries a checksum: as for a record decoded in memory.
    const uint8_t* pby = pFile->m_vecInput.data();
    const size_t uHave = pFile->m_uInputEnd;
    CORVANE_CHECK_NULL(uHave > kSizePrefix);
    CORVANE_CHECK_NULL(LoadLE32(pby) == uDecodeSize);
    const uint8_t* pbyFrame = pby + kSizePrefix;
    const size_t uFrameHave = uHave - kSizePrefix;
    CORVANE_CHECK_NULL(uFrameHave > 4 && LoadLE32(pbyFrame) == ZSTD_MAGICNUMBER);
    CORVANE_CHECK_NULL(ZSTD_getFrameContentSize(pbyFrame, uFrameHave) == uDecodeSize);
    CORVANE_CHECK_NULL((pbyFrame[4] & kChecksumFlag) != 0); // the frame header descriptor
    return pFile.release();
}

void PemRecordStreamFile::AddCheck(std::unique_ptr<IRecordStreamCheck> pCheck)
{
    try
    {
        m_vecCheck.push_back(std::move(pCheck));
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        m_bFailed = true; // a check that cannot be kept fails the file
    }
}

bool PemRecordStreamFile::Restart()
{
    CORVANE_CHECK(m_pifSource && m_pDecoder);
    CORVANE_CHECK(m_pifSource->Seek(static_cast<int32_t>(m_uOffset), SEEK_SET) ==
                  static_cast<int32_t>(m_uOffset));
    CORVANE_CHECK(!ZSTD_isError(ZSTD_DCtx_reset(m_pDecoder->pCtx, ZSTD_reset_session_only)));
    m_pDecoder->hash = NSCorvaneReader::ContextHashStream();
    m_pDecoder->bFrameDone = false;
    m_uConsumed = 0;
    m_uDecoded = 0;
    m_uInputPos = m_uInputEnd = 0;
    CORVANE_CHECK(FillInput() && m_uInputEnd > kSizePrefix);
    m_uInputPos = kSizePrefix;
    return true;
}

bool PemRecordStreamFile::FillInput()
{
    m_uInputPos = m_uInputEnd = 0;
    const uint64_t uLeft = m_uEncodeSize - m_uConsumed;
    if (uLeft == 0)
    {
        return true;
    }
    const uint32_t uWant = static_cast<uint32_t>(std::min<uint64_t>(uLeft, m_vecInput.size()));
    const int32_t nRead = m_pifSource->Read(m_vecInput.data(), uWant);
    if (nRead <= 0)
    {
        return false;
    }
    m_uInputEnd = static_cast<size_t>(nRead);
    m_uConsumed += static_cast<uint64_t>(nRead);
    return true;
}

int32_t PemRecordStreamFile::Failed(const char* pcszWhat)
{
    if (!m_bFailed)
    {
        char szText[256];
        std::snprintf(szText, sizeof(szText), "Streamed record of %u bytes failed at byte %u: %s",
                      m_uDecodeSize, m_uDecoded, pcszWhat);
        CORVANE_REPORT(szText);
    }
    m_bFailed = true;
    return -1;
}

int32_t PemRecordStreamFile::Read(void* pBuffer, uint32_t uSize)
{
    if (m_bFailed || !m_pDecoder)
    {
        return -1;
    }
    if (uSize == 0 || m_uDecoded == m_uDecodeSize)
    {
        return 0;
    }
    CORVANE_CHECK_RET(pBuffer, -1);
    const uint32_t uWant =
        std::min<uint32_t>({uSize, m_uDecodeSize - m_uDecoded, static_cast<uint32_t>(INT32_MAX)});
    ZSTD_outBuffer out{pBuffer, uWant, 0};
    while (out.pos < out.size)
    {
        if (m_pDecoder->bFrameDone)
        {
            return Failed("the frame ends before the file");
        }
        if (m_uInputPos == m_uInputEnd)
        {
            if (!FillInput())
            {
                return Failed("the record cannot be read");
            }
            if (m_uInputEnd == 0)
            {
                return Failed("the record ends before the file");
            }
        }
        ZSTD_inBuffer in{m_vecInput.data(), m_uInputEnd, m_uInputPos};
        const size_t uHint = ZSTD_decompressStream(m_pDecoder->pCtx, &out, &in);
        m_uInputPos = in.pos;
        if (ZSTD_isError(uHint))
        {
            return Failed(ZSTD_getErrorName(uHint));
        }
        m_pDecoder->bFrameDone = uHint == 0;
    }
    m_pDecoder->hash.Feed(pBuffer, static_cast<uint32_t>(out.pos));
    for (const std::unique_ptr<IRecordStreamCheck>& pCheck : m_vecCheck)
    {
        pCheck->Feed(pBuffer, out.pos);
    }
    m_uDecoded += static_cast<uint32_t>(out.pos);
    if (m_uDecoded == m_uDecodeSize && !FinishChecks())
    {
        return -1;
    }
    return static_cast<int32_t>(out.pos);
}

bool PemRecordStreamFile::FinishChecks()
{
    // The frame's last block and checksum may still wait in the input.
    while (!m_pDecoder->bFrameDone)
    {
        if (m_uInputPos == m_uInputEnd)
        {
            if (!FillInput() || m_uInputEnd == 0)
            {
                Failed("the record ends before its frame");
                return false;
            }
        }
        uint8_t byMore = 0;
        ZSTD_outBuffer out{&byMore, 1, 0};
        ZSTD_inBuffer in{m_vecInput.data(), m_uInputEnd, m_uInputPos};
        const size_t uHint = ZSTD_decompressStream(m_pDecoder->pCtx, &out, &in);
        m_uInputPos = in.pos;
        if (ZSTD_isError(uHint))
        {
            Failed(ZSTD_getErrorName(uHint));
            return false;
        }
        if (out.pos != 0)
        {
            Failed("the frame holds more than the file");
            return false;
        }
        m_pDecoder->bFrameDone = uHint == 0;
    }
    if (m_uInputPos != m_uInputEnd || m_uConsumed != m_uEncodeSize)
    {
        Failed("bytes follow the frame in the record");
        return false;
    }
    if (m_pDecoder->hash.Value() != m_uContextHash)
    {
        Failed("the content does not match the index's hash");
        return false;
    }
    for (const std::unique_ptr<IRecordStreamCheck>& pCheck : m_vecCheck)
    {
        if (!pCheck->Passed())
        {
            Failed("the content differs from what the store signed");
            return false;
        }
    }
    return true;
}

int32_t PemRecordStreamFile::Write(const void*, uint32_t)
{
    return 0;
}

int32_t PemRecordStreamFile::Seek(int32_t nOffset, int32_t nOrigin)
{
    if (m_bFailed || !m_pDecoder)
    {
        return -1;
    }
    const int64_t nTarget = nOrigin == SEEK_SET   ? nOffset
                            : nOrigin == SEEK_CUR ? static_cast<int64_t>(m_uDecoded) + nOffset
                            : nOrigin == SEEK_END ? static_cast<int64_t>(m_uDecodeSize) + nOffset
                                                  : -1;
    if (nTarget == static_cast<int64_t>(m_uDecoded))
    {
        return static_cast<int32_t>(m_uDecoded);
    }
    // Only back to the start, and only while no added check has seen a byte:
    // a check cannot be fed the same content twice.
    if (nTarget != 0 || !m_vecCheck.empty())
    {
        return -1;
    }
    if (!Restart())
    {
        m_bFailed = true;
        return -1;
    }
    return 0;
}

void PemRecordStreamFile::Close()
{
    m_pDecoder.reset();
    std::vector<uint8_t>().swap(m_vecInput);
    if (m_pifSource)
    {
        m_pifSource->Release();
        m_pifSource = nullptr;
    }
}

void PemRecordStreamFile::Release()
{
    delete this;
}

} // namespace NSCorvane
