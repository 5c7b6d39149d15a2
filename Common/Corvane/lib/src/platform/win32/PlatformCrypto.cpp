// SPDX-License-Identifier: MIT
#include "platform/PlatformCrypto.h"

// windows.h first: bcrypt.h uses its types without including it.
#include <windows.h>

#include <bcrypt.h>

#pragma comment(lib, "bcrypt.lib")

namespace CorvanePlatform
{

namespace
{

// The provider is opened once and kept: opening it costs more than a hash.
BCRYPT_ALG_HANDLE Sha256Provider()
{
    static BCRYPT_ALG_HANDLE s_hAlg = []
    {
        BCRYPT_ALG_HANDLE hAlg = nullptr;
        if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&hAlg, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        {
            hAlg = nullptr;
        }
        return hAlg;
    }();
    return s_hAlg;
}

} // namespace

Sha256::Sha256()
{
    BCRYPT_ALG_HANDLE hAlg = Sha256Provider();
    BCRYPT_HASH_HANDLE hHash = nullptr;
    if (!hAlg || !BCRYPT_SUCCESS(::BCryptCreateHash(hAlg, &hHash, nullptr, 0, nullptr, 0, 0)))
    {
        m_bFailed = true;
        return;
    }
    m_pvState = hHash;
}

Sha256::~Sha256()
{
    if (m_pvState)
    {
        ::BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(m_pvState));
    }
}

void Sha256::Update(const void* pData, size_t uSize)
{
    const unsigned char* p = static_cast<const unsigned char*>(pData);
    while (!m_bFailed && uSize > 0)
    {
        const ULONG uChunk = uSize > 0x40000000u ? 0x40000000u : static_cast<ULONG>(uSize);
        if (!BCRYPT_SUCCESS(::BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(m_pvState),
                                             const_cast<PUCHAR>(p), uChunk, 0)))
        {
            m_bFailed = true;
        }
        p += uChunk;
        uSize -= uChunk;
    }
}

bool Sha256::Final(uint8_t (&abyDigest)[kSha256Size])
{
    if (m_bFailed || !BCRYPT_SUCCESS(::BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(m_pvState), abyDigest,
                                                        static_cast<ULONG>(kSha256Size), 0)))
    {
        m_bFailed = true;
        return false;
    }
    m_bFailed = true; // spent
    return true;
}

bool Sha256Digest(const void* pData, size_t uSize, uint8_t (&abyDigest)[kSha256Size])
{
    Sha256 sha;
    sha.Update(pData, uSize);
    return sha.Final(abyDigest);
}

// CNG has no Ed25519 and the Windows build carries no other crypto library:
// every key operation is refused, and the callers say that signature checks
// are not available in this build.
bool SignaturesAvailable()
{
    return false;
}

bool Ed25519Generate(uint8_t (&)[kEd25519SeedSize], uint8_t (&)[kEd25519PublicSize])
{
    return false;
}

bool Ed25519PublicFromSeed(const uint8_t (&)[kEd25519SeedSize], uint8_t (&)[kEd25519PublicSize])
{
    return false;
}

bool Ed25519Sign(const uint8_t (&)[kEd25519SeedSize], const void*, size_t, uint8_t (&)[kEd25519SignatureSize])
{
    return false;
}

bool Ed25519Verify(const uint8_t (&)[kEd25519PublicSize], const void*, size_t,
                   const uint8_t (&)[kEd25519SignatureSize])
{
    return false;
}

} // namespace CorvanePlatform
