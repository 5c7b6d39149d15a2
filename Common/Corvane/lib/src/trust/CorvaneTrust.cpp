// SPDX-License-Identifier: MIT
#include "trust/CorvaneTrust.h"

#include "platform/PlatformCrypto.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace NSCorvaneTrust
{

bool TrustedKeys::Add(const std::string& strEntry, std::string& strError)
{
    PublicKey key;
    if (!ParsePublicKey(strEntry, key, strError))
    {
        return false;
    }
    m_vecKeys.push_back(key);
    return true;
}

bool TrustedKeys::Verify(const void* pText, size_t uSize, RecordKind eKind, int64_t nNow,
                         SignedRecord& record, std::string& strError) const
{
    if (!CheckSignaturesAvailable(strError))
    {
        return false;
    }
    if (!ParseSignedRecord(pText, uSize, record, strError))
    {
        strError = "damaged signed record (" + strError + ")";
        return false;
    }
    if (record.eKind != eKind)
    {
        strError = "the signed record is of another kind";
        return false;
    }
    const auto it = std::find_if(m_vecKeys.begin(), m_vecKeys.end(),
                                 [&](const PublicKey& key) { return key.id == record.keyId; });
    if (it == m_vecKeys.end())
    {
        strError = "signed by key " + KeyIdText(record.keyId) + ", which is not trusted";
        return false;
    }
    const bool bValid = CorvanePlatform::Ed25519Verify(
        *reinterpret_cast<const uint8_t(*)[CorvanePlatform::kEd25519PublicSize]>(it->bytes.data()), pText,
        record.uSignedLength,
        *reinterpret_cast<const uint8_t(*)[CorvanePlatform::kEd25519SignatureSize]>(record.signature.data()));
    if (!bValid)
    {
        strError = "the signature by key " + KeyIdText(record.keyId) + " does not match";
        return false;
    }
    if (nNow >= record.nExpires)
    {
        strError = "the signature expired on " + TimeText(record.nExpires);
        return false;
    }
    return true;
}

bool SignRecord(SignedRecord& record, const SecretSeed& seed, const PublicKey& key)
{
    record.keyId = key.id;
    const std::string strBody = FormatSignedBody(record);
    return CorvanePlatform::Ed25519Sign(
        *reinterpret_cast<const uint8_t(*)[CorvanePlatform::kEd25519SeedSize]>(seed.data()), strBody.data(),
        strBody.size(),
        *reinterpret_cast<uint8_t(*)[CorvanePlatform::kEd25519SignatureSize]>(record.signature.data()));
}

bool DigestOf(const void* pData, size_t uSize, Sha256Digest& digest)
{
    return CorvanePlatform::Sha256Digest(
        pData, uSize, *reinterpret_cast<uint8_t(*)[CorvanePlatform::kSha256Size]>(digest.data()));
}

bool DigestOfFile(NSCorvane::IFile& file, Sha256Digest& digest)
{
    const uint32_t uSize = file.Size();
    if (const void* pData = file.GetBuffer())
    {
        return DigestOf(pData, uSize, digest);
    }
    if (uSize == 0)
    {
        return DigestOf(nullptr, 0, digest);
    }
    if (file.Seek(0, SEEK_SET) != 0)
    {
        return false;
    }
    std::vector<uint8_t> vecPiece;
    try
    {
        vecPiece.resize(std::min<uint32_t>(uSize, 1u << 20));
    }
    catch (...)
    {
        return false;
    }
    CorvanePlatform::Sha256 sha;
    uint64_t uDone = 0;
    while (uDone < uSize)
    {
        const int32_t nRead = file.Read(vecPiece.data(), static_cast<uint32_t>(vecPiece.size()));
        if (nRead <= 0)
        {
            return false;
        }
        sha.Update(vecPiece.data(), static_cast<size_t>(nRead));
        uDone += static_cast<uint64_t>(nRead);
    }
    return uDone == uSize &&
           sha.Final(*reinterpret_cast<uint8_t(*)[CorvanePlatform::kSha256Size]>(digest.data()));
}

const ManifestMeta* FindMeta(const SignedRecord& record, const std::string& strName)
{
    const auto it =
        std::lower_bound(record.vecMeta.begin(), record.vecMeta.end(), strName,
                         [](const ManifestMeta& meta, const std::string& s) { return meta.strName < s; });
    return it != record.vecMeta.end() && it->strName == strName ? &*it : nullptr;
}

const ManifestFile* FindFile(const SignedRecord& record, const std::string& strPath)
{
    const auto it =
        std::lower_bound(record.vecFiles.begin(), record.vecFiles.end(), strPath,
                         [](const ManifestFile& file, const std::string& s) { return file.strPath < s; });
    return it != record.vecFiles.end() && it->strPath == strPath ? &*it : nullptr;
}

std::string TimeText(int64_t nTime)
{
    // Civil date from days since 1970-01-01 (proleptic Gregorian), without
    // the C library's per-system gmtime variants.
    const int64_t nDays = (nTime >= 0 ? nTime : nTime - 86399) / 86400;
    const int64_t nSecs = nTime - nDays * 86400;
    const int64_t z = nDays + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t nDay = doy - (153 * mp + 2) / 5 + 1;
    const int64_t nMonth = mp < 10 ? mp + 3 : mp - 9;
    const int64_t nYear = yoe + era * 400 + (nMonth <= 2 ? 1 : 0);
    char szText[160];
    std::snprintf(szText, sizeof(szText), "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC",
                  static_cast<long long>(nYear), static_cast<long long>(nMonth), static_cast<long long>(nDay),
                  static_cast<long long>(nSecs / 3600), static_cast<long long>(nSecs / 60 % 60),
                  static_cast<long long>(nSecs % 60));
    return szText;
}

int64_t NowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace NSCorvaneTrust
