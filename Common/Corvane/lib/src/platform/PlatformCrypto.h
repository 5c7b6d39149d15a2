// SPDX-License-Identifier: MIT
// Cryptographic primitives for signed stores: SHA-256 and Ed25519. One
// implementation per system; a build without Ed25519 says so through
// SignaturesAvailable() and refuses every key operation. All functions are
// thread-safe; a Sha256 object belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace CorvanePlatform
{

constexpr size_t kSha256Size = 32;
constexpr size_t kEd25519SeedSize = 32; // the secret key: a 32-byte seed
constexpr size_t kEd25519PublicSize = 32;
constexpr size_t kEd25519SignatureSize = 64;

// Incremental SHA-256. A failed step (out of memory, no provider) makes
// Final return false.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* pData, size_t uSize);
    // The digest; the object is spent afterwards.
    bool Final(uint8_t (&abyDigest)[kSha256Size]);

private:
    void* m_pvState = nullptr;
    bool m_bFailed = false;
};

// One-shot digest of [pData, pData + uSize).
bool Sha256Digest(const void* pData, size_t uSize, uint8_t (&abyDigest)[kSha256Size]);

// False in a build that cannot make or check signatures.
bool SignaturesAvailable();
// A new key from the system's random source.
bool Ed25519Generate(uint8_t (&abySeed)[kEd25519SeedSize], uint8_t (&abyPublic)[kEd25519PublicSize]);
bool Ed25519PublicFromSeed(const uint8_t (&abySeed)[kEd25519SeedSize],
                           uint8_t (&abyPublic)[kEd25519PublicSize]);
bool Ed25519Sign(const uint8_t (&abySeed)[kEd25519SeedSize], const void* pMessage, size_t uSize,
                 uint8_t (&abySignature)[kEd25519SignatureSize]);
// True only for a valid signature of the message by the key.
bool Ed25519Verify(const uint8_t (&abyPublic)[kEd25519PublicSize], const void* pMessage, size_t uSize,
                   const uint8_t (&abySignature)[kEd25519SignatureSize]);

} // namespace CorvanePlatform
