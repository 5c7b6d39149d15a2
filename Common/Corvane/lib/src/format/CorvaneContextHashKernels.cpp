// SPDX-License-Identifier: MIT
#include "format/CorvaneContextHashKernels.h"

#include <cstring>

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__) || defined(_M_IX86)
#define CORVANE_HASH_X86 1
#include <immintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
// MSVC accepts every intrinsic in any function; callers gate on the CPU check.
#define CORVANE_TARGET(isa)
#else
// Only these functions use the wider instruction sets: the rest of the library
// keeps the baseline, so it still loads on CPUs without them.
#define CORVANE_TARGET(isa) __attribute__((target(isa)))
#endif
#endif

namespace NSCorvaneReader
{
namespace ContextHashKernel
{
namespace
{

// Bytes per block: all positions of a block are weighted from one table, and the
// running vector state is multiplied once per block.
constexpr size_t kBlock = 256;

struct PowerTable
{
    // m_auPow[j] = P^(kBlock - 1 - j): the weight of the byte at offset j of a block.
    alignas(32) uint32_t m_auPow[kBlock];
};

constexpr PowerTable MakePowerTable(uint32_t uBase)
{
    PowerTable table{};
    uint32_t uPow = 1;
    for (size_t j = kBlock; j-- > 0;)
    {
        table.m_auPow[j] = uPow;
        uPow *= uBase;
    }
    return table;
}

constexpr PowerTable kPow33 = MakePowerTable(33);
constexpr PowerTable kPow131 = MakePowerTable(131);
// P^kBlock, the step of the running state from one block to the next.
constexpr uint32_t kStep33 = kPow33.m_auPow[0] * 33u;
constexpr uint32_t kStep131 = kPow131.m_auPow[0] * 131u;

// A block of r < kBlock bytes (r a multiple of 8) uses the last r weights: its
// byte j gets P^(r - 1 - j). P^r itself is the weight at offset kBlock - 1 - r.
inline const uint32_t* TailWeights(const PowerTable& table, size_t uLen)
{
    return table.m_auPow + kBlock - uLen;
}
inline uint32_t TailStep(const PowerTable& table, size_t uLen)
{
    return table.m_auPow[kBlock - 1 - uLen];
}

inline void FinishState(State& state, size_t uBody, uint32_t uSum1, uint32_t uSum2)
{
    state.uH1 = state.uH1 * PowMod32(33, uBody) + uSum1;
    state.uH2 = state.uH2 * PowMod32(131, uBody) + uSum2;
}

// Portable version: the same block sums, with independent scalar multiplies that
// the CPU overlaps (and the compiler may vectorise).
size_t KernelScalar(const uint8_t* pData, size_t uSize, State& state)
{
    const size_t uBody = uSize & ~size_t(7);
    uint32_t uAcc1 = 0;
    uint32_t uAcc2 = 0;
    size_t i = 0;
    for (; i + kBlock <= uBody; i += kBlock)
    {
        uint32_t uSum1 = 0;
        uint32_t uSum2 = 0;
        for (size_t j = 0; j < kBlock; ++j)
        {
            uSum1 += pData[i + j] * kPow33.m_auPow[j];
            uSum2 += pData[i + j] * kPow131.m_auPow[j];
        }
        uAcc1 = uAcc1 * kStep33 + uSum1;
        uAcc2 = uAcc2 * kStep131 + uSum2;
    }
    const size_t uRest = uBody - i;
    if (uRest != 0)
    {
        const uint32_t* puW1 = TailWeights(kPow33, uRest);
        const uint32_t* puW2 = TailWeights(kPow131, uRest);
        uint32_t uSum1 = 0;
        uint32_t uSum2 = 0;
        for (size_t j = 0; j < uRest; ++j)
        {
            uSum1 += pData[i + j] * puW1[j];
            uSum2 += pData[i + j] * puW2[j];
        }
        uAcc1 = uAcc1 * TailStep(kPow33, uRest) + uSum1;
        uAcc2 = uAcc2 * TailStep(kPow131, uRest) + uSum2;
    }
    FinishState(state, uBody, uAcc1, uAcc2);
    return uBody;
}

#ifdef CORVANE_HASH_X86

CORVANE_TARGET("sse4.1") inline __m128i Load4x8To32(const uint8_t* p)
{
    int32_t nBytes;
    std::memcpy(&nBytes, p, sizeof(nBytes));
    return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(nBytes));
}

CORVANE_TARGET("sse4.1") inline __m128i Load128(const uint32_t* p)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
}

CORVANE_TARGET("sse4.1") inline uint32_t HorizontalSum128(__m128i v)
{
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
}

// Lane k of each accumulator collects the bytes at offsets = k (mod 4).
CORVANE_TARGET("sse4.1") size_t KernelSse41(const uint8_t* pData, size_t uSize, State& state)
{
    const size_t uBody = uSize & ~size_t(7);
    __m128i acc1 = _mm_setzero_si128();
    __m128i acc2 = _mm_setzero_si128();
    size_t i = 0;
    for (; i + kBlock <= uBody; i += kBlock)
    {
        __m128i s1a = _mm_setzero_si128(), s1b = _mm_setzero_si128();
        __m128i s2a = _mm_setzero_si128(), s2b = _mm_setzero_si128();
        for (size_t j = 0; j < kBlock; j += 8)
        {
            const __m128i v0 = Load4x8To32(pData + i + j);
            const __m128i v1 = Load4x8To32(pData + i + j + 4);
            s1a = _mm_add_epi32(s1a, _mm_mullo_epi32(v0, Load128(kPow33.m_auPow + j)));
            s1b = _mm_add_epi32(s1b, _mm_mullo_epi32(v1, Load128(kPow33.m_auPow + j + 4)));
            s2a = _mm_add_epi32(s2a, _mm_mullo_epi32(v0, Load128(kPow131.m_auPow + j)));
            s2b = _mm_add_epi32(s2b, _mm_mullo_epi32(v1, Load128(kPow131.m_auPow + j + 4)));
        }
        acc1 = _mm_add_epi32(_mm_mullo_epi32(acc1, _mm_set1_epi32(static_cast<int>(kStep33))),
                             _mm_add_epi32(s1a, s1b));
        acc2 = _mm_add_epi32(_mm_mullo_epi32(acc2, _mm_set1_epi32(static_cast<int>(kStep131))),
                             _mm_add_epi32(s2a, s2b));
    }
    const size_t uRest = uBody - i;
    if (uRest != 0)
    {
        const uint32_t* puW1 = TailWeights(kPow33, uRest);
        const uint32_t* puW2 = TailWeights(kPow131, uRest);
        __m128i s1 = _mm_setzero_si128();
        __m128i s2 = _mm_setzero_si128();
        for (size_t j = 0; j < uRest; j += 4)
        {
            const __m128i v = Load4x8To32(pData + i + j);
            s1 = _mm_add_epi32(s1, _mm_mullo_epi32(v, Load128(puW1 + j)));
            s2 = _mm_add_epi32(s2, _mm_mullo_epi32(v, Load128(puW2 + j)));
        }
        acc1 = _mm_add_epi32(_mm_mullo_epi32(acc1, _mm_set1_epi32(static_cast<int>(TailStep(kPow33, uRest)))),
                             s1);
        acc2 = _mm_add_epi32(
            _mm_mullo_epi32(acc2, _mm_set1_epi32(static_cast<int>(TailStep(kPow131, uRest)))), s2);
    }
    FinishState(state, uBody, HorizontalSum128(acc1), HorizontalSum128(acc2));
    return uBody;
}

CORVANE_TARGET("avx2") inline __m256i Load8x8To32(const uint8_t* p)
{
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

CORVANE_TARGET("avx2") inline __m256i Load256(const uint32_t* p)
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}

CORVANE_TARGET("avx2") inline uint32_t HorizontalSum256(__m256i v)
{
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(1, 0, 3, 2)));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(s));
}

// Lane k of each accumulator collects the bytes at offsets = k (mod 8). Within a
// block the products only feed additions, so no multiply waits on another.
CORVANE_TARGET("avx2") size_t KernelAvx2(const uint8_t* pData, size_t uSize, State& state)
{
    const size_t uBody = uSize & ~size_t(7);
    __m256i acc1 = _mm256_setzero_si256();
    __m256i acc2 = _mm256_setzero_si256();
    size_t i = 0;
    for (; i + kBlock <= uBody; i += kBlock)
    {
        __m256i s1a = _mm256_setzero_si256(), s1b = _mm256_setzero_si256();
        __m256i s2a = _mm256_setzero_si256(), s2b = _mm256_setzero_si256();
        for (size_t j = 0; j < kBlock; j += 16)
        {
            const __m256i v0 = Load8x8To32(pData + i + j);
            const __m256i v1 = Load8x8To32(pData + i + j + 8);
            s1a = _mm256_add_epi32(s1a, _mm256_mullo_epi32(v0, Load256(kPow33.m_auPow + j)));
            s1b = _mm256_add_epi32(s1b, _mm256_mullo_epi32(v1, Load256(kPow33.m_auPow + j + 8)));
            s2a = _mm256_add_epi32(s2a, _mm256_mullo_epi32(v0, Load256(kPow131.m_auPow + j)));
            s2b = _mm256_add_epi32(s2b, _mm256_mullo_epi32(v1, Load256(kPow131.m_auPow + j + 8)));
        }
        acc1 = _mm256_add_epi32(_mm256_mullo_epi32(acc1, _mm256_set1_epi32(static_cast<int>(kStep33))),
                                _mm256_add_epi32(s1a, s1b));
        acc2 = _mm256_add_epi32(_mm256_mullo_epi32(acc2, _mm256_set1_epi32(static_cast<int>(kStep131))),
                                _mm256_add_epi32(s2a, s2b));
    }
    const size_t uRest = uBody - i;
    if (uRest != 0)
    {
        const uint32_t* puW1 = TailWeights(kPow33, uRest);
        const uint32_t* puW2 = TailWeights(kPow131, uRest);
        __m256i s1 = _mm256_setzero_si256();
        __m256i s2 = _mm256_setzero_si256();
        for (size_t j = 0; j < uRest; j += 8)
        {
            const __m256i v = Load8x8To32(pData + i + j);
            s1 = _mm256_add_epi32(s1, _mm256_mullo_epi32(v, Load256(puW1 + j)));
            s2 = _mm256_add_epi32(s2, _mm256_mullo_epi32(v, Load256(puW2 + j)));
        }
        acc1 = _mm256_add_epi32(
            _mm256_mullo_epi32(acc1, _mm256_set1_epi32(static_cast<int>(TailStep(kPow33, uRest)))), s1);
        acc2 = _mm256_add_epi32(
            _mm256_mullo_epi32(acc2, _mm256_set1_epi32(static_cast<int>(TailStep(kPow131, uRest)))), s2);
    }
    FinishState(state, uBody, HorizontalSum256(acc1), HorizontalSum256(acc2));
    return uBody;
}

#if defined(_MSC_VER) && !defined(__clang__)
bool CpuHasSse41()
{
    int anRegs[4];
    __cpuid(anRegs, 1);
    return (anRegs[2] & (1 << 19)) != 0;
}
bool CpuHasAvx2()
{
    int anRegs[4];
    __cpuid(anRegs, 0);
    if (anRegs[0] < 7)
        return false;
    __cpuid(anRegs, 1);
    const bool bOsSavesYmm = (anRegs[2] & (1 << 27)) != 0 && (_xgetbv(0) & 0x6) == 0x6;
    const bool bAvx = (anRegs[2] & (1 << 28)) != 0;
    __cpuidex(anRegs, 7, 0);
    return bOsSavesYmm && bAvx && (anRegs[1] & (1 << 5)) != 0;
}
#else
// The library may be loaded before libgcc's own initialiser ran.
bool CpuHasSse41()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse4.1");
}
bool CpuHasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

#endif // CORVANE_HASH_X86

PFN_Kernel SelectBest()
{
    const std::vector<Kernel> vecKernels = Available();
    return vecKernels.back().pfnKernel;
}

} // namespace

uint32_t PowMod32(uint32_t uBase, uint64_t uExp)
{
    uint32_t uResult = 1;
    while (uExp != 0)
    {
        if (uExp & 1)
            uResult *= uBase;
        uBase *= uBase;
        uExp >>= 1;
    }
    return uResult;
}

std::vector<Kernel> Available()
{
    std::vector<Kernel> vecKernels{{"scalar", &KernelScalar}};
#ifdef CORVANE_HASH_X86
    if (CpuHasSse41())
        vecKernels.push_back({"sse4.1", &KernelSse41});
    if (CpuHasAvx2())
        vecKernels.push_back({"avx2", &KernelAvx2});
#endif
    return vecKernels;
}

PFN_Kernel Selected()
{
    static const PFN_Kernel s_pfnKernel = SelectBest();
    return s_pfnKernel;
}

} // namespace ContextHashKernel
} // namespace NSCorvaneReader
