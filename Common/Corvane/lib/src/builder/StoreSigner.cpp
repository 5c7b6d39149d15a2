// SPDX-License-Identifier: MIT
#include "builder/StoreSigner.h"

#include "common/CorvanePath.h"
#include "format/CorvaneEnvelope.h"
#include "fs/CorvaneFiles.h"
#include "platform/PlatformDirectory.h"
#include "reader/PemCorvaneReader.h"
#include "trust/CorvaneTrust.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>

namespace NSCorvaneTrust
{

namespace
{

struct ReaderRelease
{
    void operator()(NSCorvane::PemCorvaneReader* p) const { p->Release(); }
};

struct FileRelease
{
    void operator()(NSCorvane::IFile* p) const { p->Release(); }
};

bool HashMetaFiles(const std::string& strStoreDir, uint32_t uVersion, SignedRecord& record,
                   std::string& strError)
{
    const std::string strDir =
        CorvaneUtil::PathJoin(strStoreDir, NSCorvaneReader::VersionFilePath(uVersion, ""));
    CorvanePlatform::DirectoryListing listing;
    if (!CorvanePlatform::ListDirectory(strDir.c_str(), &listing))
    {
        strError = "cannot list " + strDir;
        return false;
    }
    for (const CorvanePlatform::DirectoryItem& item : listing.vecItems)
    {
        if (!item.bFile || item.strName.empty() || item.strName[0] != '_' || item.strName == kManifestName)
        {
            continue;
        }
        std::ifstream file(CorvaneUtil::PathJoin(strDir, item.strName), std::ios::binary);
        std::ostringstream stream;
        stream << file.rdbuf();
        if (!file.good() && !file.eof())
        {
            strError = "cannot read " + CorvaneUtil::PathJoin(strDir, item.strName);
            return false;
        }
        const std::string strBytes = stream.str();
        ManifestMeta meta;
        meta.strName = item.strName;
        if (!DigestOf(strBytes.data(), strBytes.size(), meta.digest))
        {
            strError = "cannot hash " + item.strName;
            return false;
        }
        record.vecMeta.push_back(std::move(meta));
    }
    std::sort(record.vecMeta.begin(), record.vecMeta.end(),
              [](const ManifestMeta& a, const ManifestMeta& b) { return a.strName < b.strName; });
    return true;
}

bool HashFiles(NSCorvane::PemCorvaneReader& reader, SignedRecord& record, std::string& strError)
{
    NSCorvane::IStringList* pList = reader.OpenFileList();
    if (!pList)
    {
        strError = "cannot read the file list of version " + std::to_string(record.uVersion);
        return false;
    }
    std::vector<std::string> vecPaths;
    for (uint32_t i = 0; i < pList->Count(); ++i)
    {
        vecPaths.emplace_back(pList->Get(i));
    }
    pList->Release();
    std::sort(vecPaths.begin(), vecPaths.end());
    vecPaths.erase(std::unique(vecPaths.begin(), vecPaths.end()), vecPaths.end());
    if (vecPaths.size() != reader.Elements().size())
    {
        strError =
            "the file list of version " + std::to_string(record.uVersion) + " does not match its index";
        return false;
    }
    for (const std::string& strPath : vecPaths)
    {
        std::unique_ptr<NSCorvane::IFile, FileRelease> pFile(reader.OpenFile(strPath.c_str(), -1));
        if (!pFile)
        {
            strError = "cannot read " + strPath + " of version " + std::to_string(record.uVersion);
            return false;
        }
        ManifestFile file;
        file.strPath = strPath;
        file.uSize = pFile->Size();
        if (!DigestOfFile(*pFile, file.digest))
        {
            strError = "cannot hash " + strPath;
            return false;
        }
        record.vecFiles.push_back(std::move(file));
    }
    return true;
}

bool WriteRecord(const std::string& strPath, const SignedRecord& record, std::string& strError)
{
    const std::string strText = FormatSignedRecord(record);
    if (!CorvaneUtil::DiskWriteBytes(strText.data(), strText.size(), strPath.c_str()))
    {
        strError = "cannot write " + strPath;
        return false;
    }
    return true;
}

} // namespace

bool SignStoreVersion(const std::string& strStoreDir, const std::string& strKeyFile,
                      const SignOptions& options, std::string& strError)
{
    SecretSeed seed{};
    PublicKey key;
    if (!ReadSecretKeyFile(strKeyFile, seed, key, strError))
    {
        return false;
    }
    std::unique_ptr<NSCorvane::PemCorvaneReader, ReaderRelease> pReader(
        new (std::nothrow) NSCorvane::PemCorvaneReader(NSCorvane::SHO_LocalOnly));
    if (!pReader || !pReader->SetupByDir(strStoreDir.c_str(), options.uVersion))
    {
        strError = "cannot open version " +
                   (options.uVersion == NSCorvane::_INVALID_VER ? std::string("latest")
                                                                : std::to_string(options.uVersion)) +
                   " of the store " + strStoreDir;
        return false;
    }
    uint32_t uLatest = NSCorvane::_INVALID_VER;
    if (!pReader->ReadLastVersion(&uLatest))
    {
        strError = "the store " + strStoreDir + " has no latest-version marker";
        return false;
    }
    const int64_t nNow = NowSeconds();
    SignedRecord manifest;
    manifest.eKind = RecordKind::Manifest;
    manifest.uVersion = pReader->GetWorkVersion();
    manifest.nSigned = nNow;
    manifest.nExpires = nNow + static_cast<int64_t>(options.uExpireDays) * 86400;
    if (!HashMetaFiles(strStoreDir, manifest.uVersion, manifest, strError) ||
        !HashFiles(*pReader, manifest, strError))
    {
        return false;
    }
    SignedRecord lastver;
    lastver.eKind = RecordKind::LastVersion;
    lastver.uVersion = uLatest;
    lastver.nSigned = nNow;
    lastver.nExpires = nNow + static_cast<int64_t>(options.uLastVerDays) * 86400;
    if (!SignRecord(manifest, seed, key) || !SignRecord(lastver, seed, key))
    {
        strError = "cannot sign with " + strKeyFile;
        return false;
    }
    // The manifest first: a marker signed for a version must never come
    // before that version's manifest.
    return WriteRecord(CorvaneUtil::PathJoin(strStoreDir, ManifestPath(manifest.uVersion)), manifest,
                       strError) &&
           WriteRecord(CorvaneUtil::PathJoin(strStoreDir, LastVersionSignaturePath()), lastver, strError);
}

} // namespace NSCorvaneTrust
