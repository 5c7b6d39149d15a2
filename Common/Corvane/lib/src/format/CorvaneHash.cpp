// SPDX-License-Identifier: MIT
#include "format/CorvaneHash.h"

#include "common/CorvaneAscii.h"
#include "format/CorvaneContextHashKernels.h"

// The state is kept inside NormalizedNameHashStream, so its layout is needed.
#define XXH_STATIC_LINKING_ONLY
#include <xxhash.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace NSCorvaneReader
{
namespace
{

constexpr uint32_t kH1Seed = 5381;
constexpr uint64_t kContextHashMask = 0x0FFFFFFFFFFFFFFFull;
constexpr uint64_t kNameHashMask = 0x3FFFFFFFFFFFFFFFull;
constexpr uint64_t kXxhPartMask = 0xFFFFFFFFFFull; // low 40 bits
// Below this the kernel's set-up costs more than the byte loop it saves.
constexpr uint32_t kMinKernelSize = 64;

inline void FeedBytes(ContextHashKernel::State& state, const uint8_t* p, size_t uSize)
{
    uint32_t uH1 = state.uH1;
    uint32_t uH2 = state.uH2;
    for (size_t i = 0; i < uSize; ++i)
    {
        uH1 = uH1 * 33u + p[i];
        uH2 = uH2 * 131u + p[i];
    }
    state.uH1 = uH1;
    state.uH2 = uH2;
}

inline uint64_t Combine(const ContextHashKernel::State& state)
{
    return ((static_cast<uint64_t>(state.uH1) << 32) | state.uH2) & kContextHashMask;
}

// h1 of the bytes before the last '/'; of the whole path when it has none.
uint32_t DirectoryHash(const char* pcszPath, size_t uLen)
{
    size_t uDirLen = uLen;
    for (size_t i = uLen; i-- > 0;)
    {
        if (pcszPath[i] == '/')
        {
            uDirLen = i;
            break;
        }
    }
    uint32_t uH1 = kH1Seed;
    for (size_t i = 0; i < uDirLen; ++i)
        uH1 = uH1 * 33u + static_cast<uint8_t>(pcszPath[i]);
    return uH1;
}

uint64_t NameHashOf(const char* pcszPath, size_t uLen)
{
    const uint64_t uXxh = XXH64(pcszPath, uLen, 0);
    const uint64_t uDir = DirectoryHash(pcszPath, uLen);
    return ((uXxh & kXxhPartMask) | (uDir << 40)) & kNameHashMask;
}

// The same normalisation as CorvaneUtil::ToNormalizePath.
inline char NormalizeChar(char c)
{
    return c == '\\' ? '/' : CorvaneUtil::AsciiToLower(c);
}

} // namespace

uint64_t CalcContextHashByteLoop(const void* pData, uint32_t uSize)
{
    ContextHashKernel::State state{kH1Seed, 0};
    if (pData)
        FeedBytes(state, static_cast<const uint8_t*>(pData), uSize);
    return Combine(state);
}

uint64_t CalcContextHash(const void* pData, uint32_t uSize)
{
    ContextHashKernel::State state{kH1Seed, 0};
    if (!pData)
        return Combine(state);
    const uint8_t* pbyData = static_cast<const uint8_t*>(pData);
    size_t uDone = 0;
    if (uSize >= kMinKernelSize)
        uDone = ContextHashKernel::Selected()(pbyData, uSize, state);
    FeedBytes(state, pbyData + uDone, uSize - uDone);
    return Combine(state);
}

void ContextHashStream::Feed(const void* pData, uint32_t uSize)
{
    if (!pData || 0 == uSize)
        return;
    ContextHashKernel::State state{m_uH1, m_uH2};
    const uint8_t* pbyData = static_cast<const uint8_t*>(pData);
    size_t uDone = 0;
    if (uSize >= kMinKernelSize)
        uDone = ContextHashKernel::Selected()(pbyData, uSize, state);
    FeedBytes(state, pbyData + uDone, uSize - uDone);
    m_uH1 = state.uH1;
    m_uH2 = state.uH2;
}

uint64_t ContextHashStream::Value() const
{
    return Combine(ContextHashKernel::State{m_uH1, m_uH2});
}

uint64_t CalcNameHash(const char* pcszPath)
{
    if (!pcszPath)
        pcszPath = "";
    return NameHashOf(pcszPath, std::strlen(pcszPath));
}

uint64_t CalcNormalizedNameHash(const char* pcszPath)
{
    if (!pcszPath)
        pcszPath = "";
    const size_t uLen = std::strlen(pcszPath);
    // Store paths are short: a stack copy avoids the heap for nearly every call.
    char szLocal[512];
    std::string strLong;
    char* pszCopy = szLocal;
    if (uLen > sizeof(szLocal))
    {
        strLong.resize(uLen);
        pszCopy = &strLong[0];
    }
    for (size_t i = 0; i < uLen; ++i)
        pszCopy[i] = NormalizeChar(pcszPath[i]);
    return NameHashOf(pszCopy, uLen);
}

static_assert(sizeof(XXH64_state_t) <= 96 && alignof(XXH64_state_t) <= 8, "XXH64 state storage");

NormalizedNameHashStream::NormalizedNameHashStream() : m_uH1(kH1Seed), m_uDirH1(kH1Seed)
{
    XXH64_reset(reinterpret_cast<XXH64_state_t*>(m_abyXxhState), 0);
}

void NormalizedNameHashStream::Feed(std::string_view svPart)
{
    char szChunk[256];
    while (!svPart.empty())
    {
        const size_t uCount = std::min(svPart.size(), sizeof(szChunk));
        for (size_t i = 0; i < uCount; ++i)
        {
            const char c = NormalizeChar(svPart[i]);
            if (c == '/')
            {
                m_uDirH1 = m_uH1;
                m_bHasSlash = true;
            }
            m_uH1 = m_uH1 * 33u + static_cast<uint8_t>(c);
            szChunk[i] = c;
        }
        XXH64_update(reinterpret_cast<XXH64_state_t*>(m_abyXxhState), szChunk, uCount);
        svPart.remove_prefix(uCount);
    }
}

uint64_t NormalizedNameHashStream::Value() const
{
    const uint64_t uXxh = XXH64_digest(reinterpret_cast<const XXH64_state_t*>(m_abyXxhState));
    const uint64_t uDir = m_bHasSlash ? m_uDirH1 : m_uH1;
    return ((uXxh & kXxhPartMask) | (uDir << 40)) & kNameHashMask;
}

} // namespace NSCorvaneReader
