// SPDX-License-Identifier: MIT
#include "platform/PlatformCrypto.h"

#include "platform/PlatformRandom.h"

#include <openssl/evp.h>

#include <memory>

namespace CorvanePlatform
{

namespace
{

struct PkeyFree
{
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct MdCtxFree
{
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

} // namespace

Sha256::Sha256()
{
    EVP_MD_CTX* pCtx = EVP_MD_CTX_new();
    if (!pCtx || EVP_DigestInit_ex(pCtx, EVP_sha256(), nullptr) != 1)
    {
        EVP_MD_CTX_free(pCtx);
        m_bFailed = true;
        return;
    }
    m_pvState = pCtx;
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_pvState));
}

void Sha256::Update(const void* pData, size_t uSize)
{
    if (m_bFailed || uSize == 0)
    {
        return;
    }
    if (EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(m_pvState), pData, uSize) != 1)
    {
        m_bFailed = true;
    }
}

bool Sha256::Final(uint8_t (&abyDigest)[kSha256Size])
{
    unsigned int uLen = 0;
    if (m_bFailed || EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(m_pvState), abyDigest, &uLen) != 1 ||
        uLen != kSha256Size)
    {
        m_bFailed = true;
        return false;
    }
    m_bFailed = true; // spent
    return true;
}

bool Sha256Digest(const void* pData, size_t uSize, uint8_t (&abyDigest)[kSha256Size])
{
    unsigned int uLen = 0;
    static const unsigned char s_byEmpty = 0;
    return EVP_Digest(uSize ? pData : &s_byEmpty, uSize, abyDigest, &uLen, EVP_sha256(), nullptr) == 1 &&
           uLen == kSha256Size;
}

bool SignaturesAvailable()
{
    return true;
}

bool Ed25519PublicFromSeed(const uint8_t (&abySeed)[kEd25519SeedSize],
                           uint8_t (&abyPublic)[kEd25519PublicSize])
{
    PkeyPtr pKey(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, abySeed, kEd25519SeedSize));
    size_t uLen = kEd25519PublicSize;
    return pKey && EVP_PKEY_get_raw_public_key(pKey.get(), abyPublic, &uLen) == 1 &&
           uLen == kEd25519PublicSize;
}

bool Ed25519Generate(uint8_t (&abySeed)[kEd25519SeedSize], uint8_t (&abyPublic)[kEd25519PublicSize])
{
    return FillRandomBytes(abySeed, kEd25519SeedSize) && Ed25519PublicFromSeed(abySeed, abyPublic);
}

bool Ed25519Sign(const uint8_t (&abySeed)[kEd25519SeedSize], const void* pMessage, size_t uSize,
                 uint8_t (&abySignature)[kEd25519SignatureSize])
{
    PkeyPtr pKey(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, abySeed, kEd25519SeedSize));
    MdCtxPtr pCtx(EVP_MD_CTX_new());
    if (!pKey || !pCtx || EVP_DigestSignInit(pCtx.get(), nullptr, nullptr, nullptr, pKey.get()) != 1)
    {
        return false;
    }
    size_t uSigLen = kEd25519SignatureSize;
    static const unsigned char s_byEmpty = 0;
    return EVP_DigestSign(pCtx.get(), abySignature, &uSigLen,
                          static_cast<const unsigned char*>(uSize ? pMessage : &s_byEmpty), uSize) == 1 &&
           uSigLen == kEd25519SignatureSize;
}

bool Ed25519Verify(const uint8_t (&abyPublic)[kEd25519PublicSize], const void* pMessage, size_t uSize,
                   const uint8_t (&abySignature)[kEd25519SignatureSize])
{
    PkeyPtr pKey(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, abyPublic, kEd25519PublicSize));
    MdCtxPtr pCtx(EVP_MD_CTX_new());
    if (!pKey || !pCtx || EVP_DigestVerifyInit(pCtx.get(), nullptr, nullptr, nullptr, pKey.get()) != 1)
    {
        return false;
    }
    static const unsigned char s_byEmpty = 0;
    return EVP_DigestVerify(pCtx.get(), abySignature, kEd25519SignatureSize,
                            static_cast<const unsigned char*>(uSize ? pMessage : &s_byEmpty), uSize) == 1;
}

} // namespace CorvanePlatform
