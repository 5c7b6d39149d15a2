// SPDX-License-Identifier: MIT
// The two store hashes: the 60-bit content hash and the 62-bit name hash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace NSCorvaneReader
{

// h1 = h1*33 + b from 5381, h2 = h2*131 + b from 0 (32-bit), ((h1<<32)|h2) & 0x0FFF...F.
// Vectorised with run-time dispatch; identical to CalcContextHashByteLoop.
// Thread-safe. A null pData hashes as empty content (0x0000150500000000).
uint64_t CalcContextHash(const void* pData, uint32_t uSize);
// The plain byte loop: the reference the fast version is tested and measured against.
uint64_t CalcContextHashByteLoop(const void* pData, uint32_t uSize);

// The content hash fed piece by piece: Value() equals CalcContextHash of all
// the pieces joined, so data can be hashed as it is written.
class ContextHashStream
{
public:
    ContextHashStream() = default;
    // Goes on from a State() taken earlier.
    explicit ContextHashStream(uint64_t uState)
        : m_uH1(static_cast<uint32_t>(uState >> 32)), m_uH2(static_cast<uint32_t>(uState))
    {
    }
    void Feed(const void* pData, uint32_t uSize);
    uint64_t Value() const;
    // Both sums whole (Value() drops bits of the first): (h1 << 32) | h2.
    uint64_t State() const { return (uint64_t{m_uH1} << 32) | m_uH2; }

private:
    uint32_t m_uH1 = 5381;
    uint32_t m_uH2 = 0;
};

// Low 40 bits of XXH64(path), above them the low 22 bits of the h1 hash of the
// directory part (before the last '/'; whole path when none; 5381 when the
// only '/' is first). The path is hashed exactly as given; null = empty.
uint64_t CalcNameHash(const char* pcszPath);
// CalcNameHash of the path with '\' -> '/' and ASCII lower-cased; null = empty.
uint64_t CalcNormalizedNameHash(const char* pcszPath);

// CalcNormalizedNameHash of a path fed piece by piece. Copies are cheap, so a
// walk down a tree keeps one per level and hashes every name once, however
// deep the tree.
class NormalizedNameHashStream
{
public:
    NormalizedNameHashStream(); // the empty path
    void Feed(std::string_view svPart);
    uint64_t Value() const;

private:
    static constexpr size_t kStateSize = 96; // holds an XXH64 state
    alignas(8) unsigned char m_abyXxhState[kStateSize];
    uint32_t m_uH1;    // h1 of everything fed
    uint32_t m_uDirH1; // h1 of the bytes before the last '/'
    bool m_bHasSlash = false;
};

} // namespace NSCorvaneReader
