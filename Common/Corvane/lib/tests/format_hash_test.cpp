// SPDX-License-Identifier: MIT
// The two store hashes: known answers, and every fast kernel against the byte loop.
#include "format/CorvaneContextHashKernels.h"
#include "format/CorvaneHash.h"

#include <Corvane/PemCorvaneX64.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace NSCorvaneReader;

namespace
{

// Expected values were computed outside this code base with Python's standard
// library (both recurrences written out, and XXH64 written from the published
// algorithm, checked against its reference values for "", "a" and "abc"):
//   def ctx(b):
//       h1, h2 = 5381, 0
//       for x in b: h1 = (h1*33 + x) & 0xFFFFFFFF; h2 = (h2*131 + x) & 0xFFFFFFFF
//       return ((h1 << 32) | h2) & 0x0FFFFFFFFFFFFFFF
//   def name(b):
//       i = b.rfind(b'/'); d = h1(b if i < 0 else b[:i])
//       return ((xxh64(b, 0) & 0xFFFFFFFFFF) | (d << 40)) & 0x3FFFFFFFFFFFFFFF

std::vector<uint8_t> Pattern(size_t uSize) // bytes (i*7 + 3) & 0xFF
{
    std::vector<uint8_t> vec(uSize);
    for (size_t i = 0; i < uSize; ++i)
        vec[i] = static_cast<uint8_t>(i * 7 + 3);
    return vec;
}

std::vector<uint8_t> Iota256()
{
    std::vector<uint8_t> vec(256);
    for (size_t i = 0; i < vec.size(); ++i)
        vec[i] = static_cast<uint8_t>(i);
    return vec;
}

std::vector<uint8_t> Bytes(const std::string& str)
{
    return std::vector<uint8_t>(str.begin(), str.end());
}

uint64_t Ctx(const std::vector<uint8_t>& vec)
{
    return CalcContextHash(vec.data(), static_cast<uint32_t>(vec.size()));
}

} // namespace

TEST(ContextHash, KnownAnswers)
{
    EXPECT_EQ(CalcContextHash("", 0), 0x0000150500000000ull);
    EXPECT_EQ(CalcContextHash(nullptr, 0), 0x0000150500000000ull);
    EXPECT_EQ(CalcContextHashByteLoop("", 0), 0x0000150500000000ull);
    EXPECT_EQ(Ctx(Bytes("a")), 0x2b60600000061ull);
    EXPECT_EQ(Ctx(Bytes("hello world")), 0x551c8c14e195644ull);
    EXPECT_EQ(Ctx(Iota256()), 0xa5b9485c7733c80ull);
    EXPECT_EQ(Ctx(std::vector<uint8_t>(1000, 0xFF)), 0xe26149d2d2f0870ull);
    EXPECT_EQ(Ctx(Pattern(100000)), 0x97327b526964470ull);
    // The top four bits are never set.
    EXPECT_EQ(Ctx(Pattern(100000)) >> 60, 0u);
}

// Every kernel this CPU runs (not just the selected one) must agree with the
// byte loop: for every short length at every start offset within a cache
// line, and for large buffers at every misalignment.
TEST(ContextHash, KernelsMatchTheByteLoop)
{
    std::mt19937 rng(1234);
    const size_t uMax = 4u << 20;
    std::vector<uint8_t> vecData(uMax + 64);
    for (uint8_t& by : vecData)
        by = static_cast<uint8_t>(rng());
    const auto vecKernels = ContextHashKernel::Available();
    const auto fnCheck = [&](const uint8_t* p, uint32_t uLen, bool bAllKernels)
    {
        const uint64_t uExpected = CalcContextHashByteLoop(p, uLen);
        ASSERT_EQ(CalcContextHash(p, uLen), uExpected) << "length " << uLen;
        for (const auto& kernel : bAllKernels ? vecKernels : decltype(vecKernels)())
        {
            ContextHashKernel::State state{5381, 0};
            const size_t uDone = kernel.pfnKernel(p, uLen, state);
            ASSERT_EQ(uDone, uLen & ~7u) << kernel.pcszName;
            for (size_t i = uDone; i < uLen; ++i)
            {
                state.uH1 = state.uH1 * 33 + p[i];
                state.uH2 = state.uH2 * 131 + p[i];
            }
            const uint64_t uGot = ((uint64_t(state.uH1) << 32) | state.uH2) & 0x0FFFFFFFFFFFFFFFull;
            ASSERT_EQ(uGot, uExpected) << kernel.pcszName << " length " << uLen;
        }
    };
    std::uniform_int_distribution<uint32_t> lengths(601, static_cast<uint32_t>(uMax));
    for (size_t uOffset = 0; uOffset < 64; ++uOffset)
    {
        SCOPED_TRACE(uOffset);
        for (uint32_t uLen = 0; uLen <= 600; ++uLen)
        {
            fnCheck(vecData.data() + uOffset, uLen, true);
        }
        // Now and then every kernel over many blocks.
        fnCheck(vecData.data() + uOffset, lengths(rng), uOffset % 16 == 5);
    }
    // Saturated bytes in every lane of every block.
    const std::vector<uint8_t> vecOnes(3u << 20, 0xFF);
    fnCheck(vecOnes.data(), static_cast<uint32_t>(vecOnes.size()), true);
}

TEST(ContextHash, StreamOfPiecesMatchesTheWhole)
{
    std::mt19937 rng(42);
    std::vector<uint8_t> vec(300000);
    for (uint8_t& by : vec)
        by = static_cast<uint8_t>(rng());
    // Pieces of every kind of length: empty, shorter than a kernel step, odd, large.
    for (int nRound = 0; nRound < 20; ++nRound)
    {
        ContextHashStream stream;
        size_t uDone = 0;
        while (uDone < vec.size())
        {
            const size_t uPiece = std::min<size_t>(vec.size() - uDone, rng() % (nRound < 10 ? 100 : 70000));
            stream.Feed(vec.data() + uDone, static_cast<uint32_t>(uPiece));
            uDone += uPiece;
        }
        EXPECT_EQ(CalcContextHash(vec.data(), static_cast<uint32_t>(vec.size())), stream.Value()) << nRound;
    }
    EXPECT_EQ(CalcContextHash(nullptr, 0), ContextHashStream().Value());

    // The same through the exported function, whose caller keeps the state.
    uint64_t uState = NSCorvane::CORVANE_CONTEXT_HASH_START;
    uint64_t uValue = 1;
    ASSERT_TRUE(g_FeedCorvaneContextHash(&uState, nullptr, 0, &uValue));
    EXPECT_EQ(uValue, CalcContextHash(nullptr, 0));
    for (size_t uDone = 0; uDone < vec.size();)
    {
        const size_t uPiece = std::min<size_t>(vec.size() - uDone, rng() % 50000);
        ASSERT_TRUE(g_FeedCorvaneContextHash(&uState, vec.data() + uDone, static_cast<uint32_t>(uPiece),
                                             uDone + uPiece == vec.size() ? &uValue : nullptr));
        uDone += uPiece;
    }
    EXPECT_EQ(uValue, CalcContextHash(vec.data(), static_cast<uint32_t>(vec.size())));
    EXPECT_FALSE(g_FeedCorvaneContextHash(nullptr, vec.data(), 1, &uValue));
    EXPECT_FALSE(g_FeedCorvaneContextHash(&uState, nullptr, 1, &uValue));
}

TEST(NameHash, KnownAnswers)
{
    EXPECT_EQ(CalcNameHash("a/b.txt"), 0x2b606d85004ef4bull);
    EXPECT_EQ(CalcNameHash("A/b.txt"), 0x2b5e6b530445b6eull);
    EXPECT_EQ(CalcNameHash("dir/sub/file.dat"), 0x17aabd7def9baf8eull);
    // No '/': the directory part is the whole path.
    EXPECT_EQ(CalcNameHash("b.txt"), 0x798552059a5d3dfull);
    // The only '/' is the first byte: the directory hash is 5381 (0x1505).
    EXPECT_EQ(CalcNameHash("/b.txt"), 0x15059759deb1c1ull);
    EXPECT_EQ(CalcNameHash("/b.txt") >> 40, 5381u);
    EXPECT_EQ(CalcNameHash(""), 0x15053751d8e999ull);
}

TEST(NameHash, NormalizedFoldsCaseAndBackslashes)
{
    EXPECT_NE(CalcNameHash("a/b.txt"), CalcNameHash("A/b.txt"));
    EXPECT_EQ(CalcNormalizedNameHash("A\\B.TXT"), CalcNameHash("a/b.txt"));
    EXPECT_EQ(CalcNormalizedNameHash("a/b.txt"), CalcNameHash("a/b.txt"));
    // Bytes of 0x80 and above (here UTF-8 of "ÄÖ") stay as they are.
    EXPECT_EQ(CalcNormalizedNameHash("Dir/\xC3\x84\xC3\x96.TXT"), 0x86a4489aac72538ull);
    EXPECT_EQ(CalcNameHash("Dir/\xC3\x84\xC3\x96.TXT"), 0x7e22420f4d25602ull);
    // Null is the empty path.
    EXPECT_EQ(CalcNormalizedNameHash(nullptr), CalcNameHash(""));
    // Longer than any stack copy.
    const std::string strLong = std::string(300, 'X') + "\\" + std::string(300, 'Y');
    const std::string strLower = std::string(300, 'x') + "/" + std::string(300, 'y');
    EXPECT_EQ(CalcNormalizedNameHash(strLong.c_str()), 0x3b3325b84fa74560ull);
    EXPECT_EQ(CalcNameHash(strLower.c_str()), 0x3b3325b84fa74560ull);
}
