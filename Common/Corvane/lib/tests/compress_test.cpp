// SPDX-License-Identifier: MIT
// The compression envelope: u32 size + one zstd frame with content size and checksum.
#include "common/CorvaneMemory.h"
#include "compress/CorvaneCompress.h"
#include "support/MemoryAndLog.h"

#define ZSTD_STATIC_LINKING_ONLY // ZSTD_frameHeaderSize, to find the payload in tests
#include <gtest/gtest.h>
#include <xxhash.h>
#include <zstd.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace CorvaneCompress;
using NSCorvane::STCT_LZHAM;
using NSCorvane::STCT_ZSTD;
using Bytes = std::vector<uint8_t>;

namespace
{

Bytes RandomBytes(size_t uSize, unsigned uSeed)
{
    Bytes vec(uSize);
    std::mt19937 rng(uSeed);
    for (uint8_t& by : vec)
        by = static_cast<uint8_t>(rng());
    return vec;
}

// Compressible: short words from a small vocabulary, like text or tables.
Bytes TextLike(size_t uSize)
{
    static const char* const s_apszWords[] = {"store ", "index ", "package ", "version ", "0x1505 ", "\r\n"};
    Bytes vec;
    std::mt19937 rng(7);
    while (vec.size() < uSize)
    {
        const char* pszWord = s_apszWords[rng() % 6];
        vec.insert(vec.end(), pszWord, pszWord + std::strlen(pszWord));
    }
    vec.resize(uSize);
    return vec;
}

void PutLE32(uint8_t* p, uint32_t u)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(u >> (8 * i));
}

class CompressTest : public ::testing::Test
{
protected:
    void TearDown() override { EXPECT_EQ(m_memory.Memory().Live(), 0u) << "library memory left behind"; }

    Bytes Envelope(const Bytes& vecContent, int nLevel = kListCompressLevel)
    {
        uint8_t* pbyOut = nullptr;
        uint32_t uOut = 0;
        EXPECT_TRUE(CompressContent(vecContent.data(), static_cast<uint32_t>(vecContent.size()), &pbyOut,
                                    &uOut, STCT_ZSTD, nLevel));
        Bytes vec(pbyOut, pbyOut + uOut);
        CorvaneUtil::MemoryFree(pbyOut);
        return vec;
    }

    // Decodes; on success returns the bytes, on failure checks the outputs are cleared.
    bool Decode(const Bytes& vecEnvelope, Bytes* pvecOut = nullptr,
                NSCorvane::CORVANE_COMPRESS_TYPE eType = STCT_ZSTD)
    {
        uint8_t* pbyOut = reinterpret_cast<uint8_t*>(1);
        uint32_t uOut = 12345;
        const bool bOk = UnCompressContent(vecEnvelope.data(), static_cast<uint32_t>(vecEnvelope.size()),
                                           &pbyOut, &uOut, eType);
        if (!bOk)
        {
            EXPECT_EQ(pbyOut, nullptr);
            EXPECT_EQ(uOut, 0u);
            return false;
        }
        if (pvecOut)
            pvecOut->assign(pbyOut, pbyOut + uOut);
        CorvaneUtil::MemoryFree(pbyOut);
        return true;
    }

    static std::vector<std::string> Records() { return CorvaneTest::ScopedLogCapture::All(); }

    CorvaneTest::ScopedCountingMemory m_memory;
    CorvaneTest::ScopedLogCapture m_log;
};

} // namespace

TEST_F(CompressTest, RoundTripsAtEveryLevelAndSize)
{
    const Bytes vecText = TextLike(200000);
    for (int nLevel = 0; nLevel <= 10; ++nLevel)
    {
        const Bytes vecEnv = Envelope(vecText, nLevel);
        ASSERT_GT(vecEnv.size(), 8u);
        EXPECT_LT(vecEnv.size(), vecText.size() / 3) << "level " << nLevel;
        // Layout: LE size prefix, then a standard frame that plain zstd decodes.
        EXPECT_EQ(vecEnv[0] | vecEnv[1] << 8 | vecEnv[2] << 16 | vecEnv[3] << 24, 200000);
        EXPECT_EQ(ZSTD_getFrameContentSize(vecEnv.data() + 4, vecEnv.size() - 4), 200000u);
        Bytes vecPlain(vecText.size());
        EXPECT_EQ(ZSTD_decompress(vecPlain.data(), vecPlain.size(), vecEnv.data() + 4, vecEnv.size() - 4),
                  vecText.size());
        Bytes vecBack;
        ASSERT_TRUE(Decode(vecEnv, &vecBack)) << "level " << nLevel;
        EXPECT_EQ(vecBack, vecText);
    }
    // Small, incompressible and large content.
    for (const Bytes& vecContent :
         {Bytes{0x42}, Bytes{0, 0, 0, 0}, RandomBytes(1u << 20, 3), TextLike(24u << 20)})
    {
        const Bytes vecEnv = Envelope(vecContent, 1);
        Bytes vecBack;
        ASSERT_TRUE(Decode(vecEnv, &vecBack)) << vecContent.size();
        EXPECT_EQ(vecBack, vecContent);
    }
}

TEST_F(CompressTest, EmptyContentHasAnEmptyEnvelope)
{
    uint8_t* pbyOut = reinterpret_cast<uint8_t*>(1);
    uint32_t uOut = 7;
    const uint8_t byAny = 0;
    EXPECT_TRUE(CompressContent(&byAny, 0, &pbyOut, &uOut, STCT_ZSTD, 9));
    EXPECT_EQ(pbyOut, nullptr);
    EXPECT_EQ(uOut, 0u);
    EXPECT_TRUE(CompressContent(nullptr, 0, &pbyOut, &uOut, STCT_ZSTD, 9));
    EXPECT_EQ(pbyOut, nullptr);

    EXPECT_TRUE(UnCompressContent(&byAny, 0, &pbyOut, &uOut, STCT_ZSTD)); // non-null pointer, zero size
    EXPECT_EQ(pbyOut, nullptr);
    EXPECT_EQ(uOut, 0u);
    EXPECT_EQ(static_cast<int>(m_memory.Memory().Allocs()), 0);
    // A null buffer with a length is a caller fault, not empty content.
    EXPECT_FALSE(CompressContent(nullptr, 10, &pbyOut, &uOut, STCT_ZSTD, 9));
    EXPECT_FALSE(UnCompressContent(nullptr, 0, &pbyOut, &uOut, STCT_ZSTD));
    EXPECT_EQ(Records().size(), 2u);
}

TEST_F(CompressTest, OtherCodecTypesAreRefusedWithARecord)
{
    const Bytes vecText = TextLike(1000);
    const Bytes vecEnv = Envelope(vecText);
    uint8_t* pbyOut = nullptr;
    uint32_t uOut = 0;

    EXPECT_FALSE(Decode(vecEnv, nullptr, STCT_LZHAM));
    EXPECT_FALSE(CompressContent(vecText.data(), 1000, &pbyOut, &uOut, STCT_LZHAM, 9));
    const auto vecLzham = Records();
    ASSERT_EQ(vecLzham.size(), 2u);
    EXPECT_NE(vecLzham[0].find("STCT_LZHAM content cannot be decoded by this build"), std::string::npos)
        << vecLzham[0];
    EXPECT_NE(vecLzham[0].find("CorvaneCompress::"), std::string::npos) << vecLzham[0];
    EXPECT_NE(vecLzham[1].find("STCT_LZHAM"), std::string::npos) << vecLzham[1];

    for (int nType : {0, 3, 255})
    {
        const auto eType = static_cast<NSCorvane::CORVANE_COMPRESS_TYPE>(nType);
        EXPECT_FALSE(Decode(vecEnv, nullptr, eType));
        EXPECT_FALSE(CompressContent(vecText.data(), 1000, &pbyOut, &uOut, eType, 9));
    }
    const auto vecAll = Records();
    ASSERT_EQ(vecAll.size(), 8u);
    for (size_t i = 2; i < vecAll.size(); ++i)
        EXPECT_EQ(vecAll[i].substr(vecAll[i].find(": ")), ": FALSE");
    EXPECT_EQ(static_cast<int>(m_memory.Memory().Allocs()), 1); // only the envelope built above
}

TEST_F(CompressTest, TruncatedExtendedOrMislabelledEnvelopesFail)
{
    const Bytes vecEnv = Envelope(TextLike(5000));
    for (size_t uLen = 1; uLen < vecEnv.size(); ++uLen)
        EXPECT_FALSE(Decode(Bytes(vecEnv.begin(), vecEnv.begin() + static_cast<long>(uLen)))) << uLen;
    Bytes vecLonger = vecEnv;
    vecLonger.push_back(0);
    EXPECT_FALSE(Decode(vecLonger));
    // Two frames where one belongs.
    Bytes vecTwo = vecEnv;
    vecTwo.insert(vecTwo.end(), vecEnv.begin() + 4, vecEnv.end());
    EXPECT_FALSE(Decode(vecTwo));
    EXPECT_TRUE(Decode(vecEnv));
    // A size prefix that does not match the frame.
    for (uint32_t uClaim : {0u, 4999u, 5001u, 0xFFFFFFFFu})
    {
        Bytes vecClaim = vecEnv;
        PutLE32(vecClaim.data(), uClaim);
        EXPECT_FALSE(Decode(vecClaim)) << uClaim;
    }
}

// Corruption that still parses is only caught by the frame checksum. In a raw
// (stored) block every flipped byte changes the content, so each must fail; in a
// compressed block a few bits (e.g. table entries of unused symbols) do not
// change the output, so there a decode may only succeed with the original bytes.
TEST_F(CompressTest, CorruptedFrameBytesAreCaught)
{
    for (const Bytes& vecContent : {RandomBytes(300, 11), TextLike(20000)})
    {
        const bool bStored = vecContent.size() == 300;
        const Bytes vecEnv = Envelope(vecContent);
        const size_t uHeader = ZSTD_frameHeaderSize(vecEnv.data() + 4, vecEnv.size() - 4);
        ASSERT_FALSE(ZSTD_isError(uHeader));
        for (size_t uPos = 4 + uHeader; uPos < vecEnv.size(); ++uPos)
        {
            for (uint8_t byFlip : {0x01, 0x80})
            {
                Bytes vecBad = vecEnv;
                vecBad[uPos] ^= byFlip;
                Bytes vecBack;
                if (Decode(vecBad, &vecBack))
                {
                    EXPECT_FALSE(bStored) << "byte " << uPos;
                    EXPECT_EQ(vecBack, vecContent) << "wrong content accepted, byte " << uPos;
                }
            }
        }
    }
}

TEST_F(CompressTest, FramesWithoutChecksumOrContentSizeAreRefused)
{
    const Bytes vecText = TextLike(3000);
    Bytes vecEnv(4 + ZSTD_compressBound(vecText.size()));
    PutLE32(vecEnv.data(), 3000);

    ZSTD_CCtx* pCCtx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(pCCtx, ZSTD_c_checksumFlag, 0);
    size_t uFrame =
        ZSTD_compress2(pCCtx, vecEnv.data() + 4, vecEnv.size() - 4, vecText.data(), vecText.size());
    ASSERT_FALSE(ZSTD_isError(uFrame));
    EXPECT_FALSE(Decode(Bytes(vecEnv.begin(), vecEnv.begin() + static_cast<long>(4 + uFrame))));

    // Streamed without a pledged size: the header carries no content size.
    ZSTD_CCtx_reset(pCCtx, ZSTD_reset_session_and_parameters);
    ZSTD_CCtx_setParameter(pCCtx, ZSTD_c_checksumFlag, 1);
    ZSTD_inBuffer in{vecText.data(), vecText.size(), 0};
    ZSTD_outBuffer out{vecEnv.data() + 4, vecEnv.size() - 4, 0};
    ASSERT_FALSE(ZSTD_isError(ZSTD_compressStream2(pCCtx, &out, &in, ZSTD_e_continue)));
    ZSTD_inBuffer none{nullptr, 0, 0};
    ASSERT_EQ(ZSTD_compressStream2(pCCtx, &out, &none, ZSTD_e_end), 0u);
    ZSTD_freeCCtx(pCCtx);
    ASSERT_EQ(ZSTD_getFrameContentSize(vecEnv.data() + 4, out.pos), ZSTD_CONTENTSIZE_UNKNOWN);
    EXPECT_FALSE(Decode(Bytes(vecEnv.begin(), vecEnv.begin() + static_cast<long>(4 + out.pos))));

    // A skippable frame, and bytes that are no frame at all.
    EXPECT_FALSE(Decode(Bytes{0, 0, 0, 0, 0x50, 0x2A, 0x4D, 0x18, 0, 0, 0, 0}));
    EXPECT_FALSE(Decode(Bytes{3, 0, 0, 0, 'a', 'b', 'c'}));
}

namespace
{

// One frame, single segment, 4-byte content size, checksum; one RLE block of
// uRun copies of byBlock. Written by hand so the header can lie.
Bytes RleEnvelope(uint32_t uPrefix, uint32_t uFrameContent, uint32_t uRun, uint8_t byValue)
{
    Bytes vec;
    auto appendLE = [&vec](uint32_t uValue, int nBytes)
    {
        for (int i = 0; i < nBytes; ++i)
            vec.push_back(static_cast<uint8_t>(uValue >> (8 * i)));
    };
    appendLE(uPrefix, 4);
    appendLE(0xFD2FB528, 4); // frame magic
    vec.push_back(0xA4);     // 4-byte content size, single segment, checksum
    appendLE(uFrameContent, 4);
    appendLE(1u | (1u << 1) | (uRun << 3), 3); // last block, RLE, uRun bytes
    vec.push_back(byValue);
    const Bytes vecRun(uRun, byValue);
    appendLE(static_cast<uint32_t>(XXH64(vecRun.data(), vecRun.size(), 0)), 4);
    return vec;
}

} // namespace

TEST_F(CompressTest, LyingHugeSizeIsRefusedBeforeAllocating)
{
    // The hand-made frame is valid when it tells the truth...
    Bytes vecBack;
    ASSERT_TRUE(Decode(RleEnvelope(1000, 1000, 1000, 0x5A), &vecBack));
    EXPECT_EQ(vecBack, Bytes(1000, 0x5A));
    const int nAllocsBefore = static_cast<int>(m_memory.Memory().Allocs());

    // ...and 21 bytes that claim 4 GiB in both the prefix and the frame header
    // cannot produce more than one block: refused without taking any memory.
    const Bytes vecLie = RleEnvelope(0xFFFFFFFF, 0xFFFFFFFF, 1000, 0x5A);
    ASSERT_EQ(vecLie.size(), 21u);
    EXPECT_FALSE(Decode(vecLie));
    EXPECT_FALSE(Decode(RleEnvelope(1u << 20, 1u << 20, 1000, 0x5A)));
    EXPECT_EQ(static_cast<int>(m_memory.Memory().Allocs()), nAllocsBefore);
    EXPECT_EQ(Records().size(), 2u);
}

TEST_F(CompressTest, ThreadsUseTheirOwnContexts)
{
    std::atomic<int> nFailures{0};
    std::vector<std::thread> vecThreads;
    for (unsigned t = 0; t < 4; ++t)
    {
        vecThreads.emplace_back(
            [this, t, &nFailures]
            {
                for (int i = 0; i < 20; ++i)
                {
                    const Bytes vecContent = RandomBytes(1000 + 97 * i, t * 100 + i);
                    Bytes vecBack;
                    if (!Decode(Envelope(vecContent, i % 11), &vecBack) || vecBack != vecContent)
                        ++nFailures;
                }
            });
    }
    for (std::thread& thread : vecThreads)
        thread.join();
    EXPECT_EQ(nFailures.load(), 0);
}

TEST_F(CompressTest, KeptContextsAndBuffersGiveTheSameBytesWhateverCameBefore)
{
    // One thread, mixed sizes and levels: the kept context and output buffer
    // grow, shrink back after a huge input, switch levels, and must never let
    // one call change what another produces.
    const Bytes vecSmall = TextLike(5000);
    const Bytes vecBefore = Envelope(vecSmall, 5);
    const Bytes vecBeforeTop = Envelope(vecSmall, 9);
    for (const Bytes& vecContent : {TextLike(30u << 20), RandomBytes(3000, 9), TextLike(70u << 20)})
    {
        for (int nLevel : {1, 5})
        {
            Bytes vecBack;
            ASSERT_TRUE(Decode(Envelope(vecContent, nLevel), &vecBack)) << vecContent.size();
            EXPECT_EQ(vecBack, vecContent);
        }
        EXPECT_EQ(vecBefore, Envelope(vecSmall, 5)) << vecContent.size();
        EXPECT_EQ(vecBeforeTop, Envelope(vecSmall, 9)) << vecContent.size();
    }
}
