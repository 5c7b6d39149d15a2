// SPDX-License-Identifier: MIT
// The reader's checks of a signed store: the latest-version signature, the
// version's manifest, each metadata file and each decoded file. A refusal is
// logged and kept for g_GetCorvaneLastFailure as "store not trusted: ...".
#include "reader/PemCorvaneReader.h"

#include "common/CorvaneCheck.h"
#include "common/CorvaneFailure.h"
#include "common/CorvaneLog.h"
#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"
#include "platform/PlatformCrypto.h"
#include "trust/CorvaneTrust.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

namespace NSCorvane
{

namespace
{

bool Refuse(const std::string& strText)
{
    CorvaneUtil::NoteFailureText("store not trusted: " + strText);
    return false;
}

// Releases an IFile on every path.
struct TrustFileGuard
{
    IFile* p;
    ~TrustFileGuard()
    {
        if (p)
        {
            p->Release();
        }
    }
};

// The whole of a small signed record.
bool ReadRecordText(IFile* pif, std::string& strText)
{
    const uint32_t uSize = pif->Size();
    if (uSize == 0 || uSize > NSCorvaneTrust::kMaxRecordSize)
    {
        return false;
    }
    if (const void* pBuffer = pif->GetBuffer())
    {
        strText.assign(static_cast<const char*>(pBuffer), uSize);
        return true;
    }
    strText.resize(uSize);
    return pif->Seek(0, SEEK_SET) >= 0 && pif->Read(&strText[0], uSize) == static_cast<int32_t>(uSize);
}

// The manifest's digest of a streamed file, checked after its last byte.
class ManifestDigestCheck final : public IRecordStreamCheck
{
public:
    ManifestDigestCheck(const NSCorvaneTrust::Sha256Digest& expected, std::string strRefusal)
        : m_expected(expected), m_strRefusal(std::move(strRefusal))
    {
    }
    void Feed(const void* pData, size_t uSize) override { m_sha.Update(pData, uSize); }
    bool Passed() override
    {
        NSCorvaneTrust::Sha256Digest digest{};
        if (m_sha.Final(*reinterpret_cast<uint8_t(*)[CorvanePlatform::kSha256Size]>(digest.data())) &&
            digest == m_expected)
        {
            return true;
        }
        return Refuse(m_strRefusal);
    }

private:
    CorvanePlatform::Sha256 m_sha;
    const NSCorvaneTrust::Sha256Digest m_expected;
    const std::string m_strRefusal;
};

} // namespace

void PemCorvaneReader::SetTrustedKeys(std::shared_ptr<const NSCorvaneTrust::TrustedKeys> pKeys)
{
    if (pKeys && pKeys->Empty())
    {
        pKeys.reset();
    }
    m_pTrustedKeys = std::move(pKeys);
}

bool PemCorvaneReader::AddConfiguredKeys(const std::vector<std::string>& vecEntries)
{
    if (vecEntries.empty())
    {
        return true;
    }
    auto pKeys = std::make_shared<NSCorvaneTrust::TrustedKeys>();
    if (m_pTrustedKeys)
    {
        *pKeys = *m_pTrustedKeys;
    }
    for (const std::string& strEntry : vecEntries)
    {
        std::string strError;
        if (!pKeys->Add(strEntry, strError))
        {
            return Refuse("the configuration's trust list: " + strError);
        }
    }
    std::string strError;
    if (!NSCorvaneTrust::CheckSignaturesAvailable(strError))
    {
        return Refuse(strError);
    }
    m_pTrustedKeys = std::move(pKeys);
    return true;
}

bool PemCorvaneReader::CheckTrustedLastVersion(uint32_t uVersion)
{
    if (!m_pTrustedKeys)
    {
        return true;
    }
    const std::string strPath = NSCorvaneTrust::LastVersionSignaturePath();
    IFile* pif = m_fileFactory.Open(strPath.c_str(), SHO_RemoteFirst);
    if (!pif)
    {
        return Refuse("the latest-version marker has no signature (" + strPath + ")");
    }
    TrustFileGuard guard{pif};
    std::string strText;
    if (!ReadRecordText(pif, strText))
    {
        return Refuse(strPath + " cannot be read");
    }
    NSCorvaneTrust::SignedRecord record;
    std::string strError;
    if (!m_pTrustedKeys->Verify(strText.data(), strText.size(), NSCorvaneTrust::RecordKind::LastVersion,
                                NSCorvaneTrust::NowSeconds(), record, strError))
    {
        return Refuse("latest version: " + strError);
    }
    if (record.uVersion != uVersion)
    {
        return Refuse("the latest-version marker names version " + std::to_string(uVersion) +
                      ", its signature version " + std::to_string(record.uVersion));
    }
    return true;
}

bool PemCorvaneReader::LoadTrustedManifest(uint32_t uVersion)
{
    m_pManifest.reset();
    if (!m_pTrustedKeys)
    {
        if (!m_fileFactory.RemoteFileSystems().empty())
        {
            CorvaneUtil::WriteLogLine("The store is not signed; files are checked for integrity only");
        }
        return true;
    }
    const std::string strPath = NSCorvaneTrust::ManifestPath(uVersion);
    auto pRecord = std::make_shared<NSCorvaneTrust::SignedRecord>();
    std::string strError;
    // Every reader of a task opens the version: a cached manifest that still
    // verifies is as good as the server's. One that does not (expired, since
    // re-signed on the server, or torn) is dropped and fetched again.
    auto fnLoad = [&](int nOption) -> bool
    {
        IFile* pif = m_fileFactory.Open(strPath.c_str(), nOption);
        if (!pif)
        {
            strError = "version " + std::to_string(uVersion) + " has no manifest (" + strPath + ")";
            return false;
        }
        TrustFileGuard guard{pif};
        std::string strText;
        if (!ReadRecordText(pif, strText))
        {
            strError = strPath + " cannot be read";
            return false;
        }
        if (!m_pTrustedKeys->Verify(strText.data(), strText.size(), NSCorvaneTrust::RecordKind::Manifest,
                                    NSCorvaneTrust::NowSeconds(), *pRecord, strError))
        {
            strError = "version " + std::to_string(uVersion) + ": " + strError;
            return false;
        }
        return true;
    };
    bool bLoaded = fnLoad(m_nDefaultOption);
    if (!bLoaded && !m_fileFactory.RemoteFileSystems().empty() && (m_nDefaultOption & SHO_RemoteOnly) == 0)
    {
        DiskDelete(strPath.c_str());
        bLoaded = fnLoad(SHO_RemoteOnly);
    }
    if (!bLoaded)
    {
        return Refuse(strError);
    }
    if (pRecord->uVersion != uVersion)
    {
        return Refuse("the manifest of version " + std::to_string(uVersion) + " is signed for version " +
                      std::to_string(pRecord->uVersion));
    }
    CorvaneUtil::WriteLogLine(("version " + std::to_string(uVersion) + " verified: signed by key " +
                               NSCorvaneTrust::KeyIdText(pRecord->keyId) + ", expires " +
                               NSCorvaneTrust::TimeText(pRecord->nExpires))
                                  .c_str());
    m_pManifest = std::move(pRecord);
    return true;
}

bool PemCorvaneReader::CheckTrustedIndex()
{
    if (!m_pTrustedKeys)
    {
        return true;
    }
    CORVANE_CHECK(m_pManifest);
    const auto& vecFiles = m_pManifest->vecFiles;
    if (vecFiles.size() != m_vecElement.size())
    {
        return Refuse("the manifest lists " + std::to_string(vecFiles.size()) + " files, the version holds " +
                      std::to_string(m_vecElement.size()));
    }
    for (const NSCorvaneTrust::ManifestFile& file : vecFiles)
    {
        const uint64_t uHash = NSCorvaneReader::CalcNameHash(file.strPath.c_str());
        const auto it =
            std::lower_bound(m_vecElement.begin(), m_vecElement.end(), uHash,
                             [](const CORVANE_IDX_ELEMENT& e, uint64_t u) { return e.uNameHash < u; });
        if (it == m_vecElement.end() || it->uNameHash != uHash)
        {
            return Refuse("the manifest lists " + file.strPath + ", which the version does not hold");
        }
    }
    return true;
}

bool PemCorvaneReader::CheckTrustedMeta(const std::string& strFile, const void* pData, uint64_t uSize)
{
    if (!m_pTrustedKeys)
    {
        return true;
    }
    CORVANE_CHECK(m_pManifest);
    const std::string strDir = NSCorvaneReader::VersionFilePath(m_pManifest->uVersion, "");
    if (strFile.compare(0, strDir.size(), strDir) != 0)
    {
        return Refuse(strFile + " is not a file of version " + std::to_string(m_pManifest->uVersion));
    }
    const NSCorvaneTrust::ManifestMeta* pMeta =
        NSCorvaneTrust::FindMeta(*m_pManifest, strFile.substr(strDir.size()));
    if (!pMeta)
    {
        return Refuse(strFile + " is not in the version's manifest");
    }
    NSCorvaneTrust::Sha256Digest digest{};
    CORVANE_CHECK(NSCorvaneTrust::DigestOf(pData, static_cast<size_t>(uSize), digest));
    if (digest != pMeta->digest)
    {
        return Refuse(strFile + " differs from the version's manifest");
    }
    return true;
}

IFile* PemCorvaneReader::OpenFile(const char* pcszPath, int nOption)
{
    if (!m_pTrustedKeys)
    {
        return OpenFileDecoded(pcszPath, nOption);
    }
    CORVANE_CHECK_NULL(m_pManifest && pcszPath);
    const NSCorvaneTrust::ManifestFile* pEntry = NSCorvaneTrust::FindFile(*m_pManifest, pcszPath);
    if (!pEntry)
    {
        Refuse(std::string(pcszPath) + " is not in the manifest of version " +
               std::to_string(m_pManifest->uVersion));
        return nullptr;
    }
    IFile* pif = OpenFileDecoded(pcszPath, nOption);
    if (!pif)
    {
        return nullptr;
    }
    const uint32_t uSize = pif->Size();
    const std::string strRefusal = std::string(pcszPath) + " differs from the manifest of version " +
                                   std::to_string(m_pManifest->uVersion);
    // A large file is decoded as it is read: its digest is checked with its
    // other checks, before its last byte reaches the caller.
    if (auto* pStream = dynamic_cast<PemRecordStreamFile*>(pif))
    {
        if (uSize == pEntry->uSize)
        {
            try
            {
                pStream->AddCheck(std::make_unique<ManifestDigestCheck>(pEntry->digest, strRefusal));
                return pif;
            }
            catch (...)
            {
                CORVANE_REPORT("std::bad_alloc");
            }
        }
        pif->Release();
        Refuse(strRefusal);
        return nullptr;
    }
    // Any other decoded file is held in memory whole: it is checked before
    // the caller sees any byte of it.
    const void* pData = pif->GetBuffer();
    NSCorvaneTrust::Sha256Digest digest{};
    const bool bHashed = (pData || uSize == 0) && NSCorvaneTrust::DigestOf(pData, uSize, digest);
    if (!bHashed || uSize != pEntry->uSize || digest != pEntry->digest)
    {
        pif->Release();
        Refuse(strRefusal);
        return nullptr;
    }
    return pif;
}

} // namespace NSCorvane
