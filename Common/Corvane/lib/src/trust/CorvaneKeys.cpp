// SPDX-License-Identifier: MIT
#include "trust/CorvaneKeys.h"

#include "common/CorvaneMemory.h"
#include "fs/CorvaneFiles.h"
#include "platform/PlatformFile.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace NSCorvaneTrust
{

namespace
{

const char* const kSecretPrefix = "corvane-ed25519-secret ";
const char* const kPublicPrefix = "ed25519 ";

std::string Trimmed(const std::string& strText)
{
    const size_t uBegin = strText.find_first_not_of(" \t\r\n");
    if (uBegin == std::string::npos)
    {
        return std::string();
    }
    const size_t uEnd = strText.find_last_not_of(" \t\r\n");
    return strText.substr(uBegin, uEnd - uBegin + 1);
}

bool ReadSmallFile(const std::string& strPath, std::string& strText, std::string& strError)
{
    std::ifstream file(strPath, std::ios::binary);
    if (!file)
    {
        strError = "cannot read key file " + strPath;
        return false;
    }
    std::ostringstream stream;
    stream << file.rdbuf();
    strText = stream.str();
    if (strText.size() > 4096)
    {
        strError = "not a key file: " + strPath;
        return false;
    }
    return true;
}

} // namespace

bool CheckSignaturesAvailable(std::string& strError)
{
    if (!CorvanePlatform::SignaturesAvailable())
    {
        strError = "signature checks are not available in this build";
        return false;
    }
    return true;
}

KeyId MakeKeyId(const PublicKey& key)
{
    uint8_t abyDigest[CorvanePlatform::kSha256Size] = {};
    CorvanePlatform::Sha256Digest(key.bytes.data(), key.bytes.size(), abyDigest);
    KeyId id{};
    std::memcpy(id.data(), abyDigest, id.size());
    return id;
}

std::string KeyIdText(const KeyId& id)
{
    return ToHex(id.data(), id.size());
}

std::string PublicKeyLine(const PublicKey& key)
{
    return kPublicPrefix + ToHex(key.bytes.data(), key.bytes.size());
}

bool ParsePublicKey(const std::string& strText, PublicKey& key, std::string& strError)
{
    std::string strHex = Trimmed(strText);
    if (strHex.compare(0, std::strlen(kPublicPrefix), kPublicPrefix) == 0)
    {
        strHex = Trimmed(strHex.substr(std::strlen(kPublicPrefix)));
    }
    if (!FromHex(strHex, key.bytes.data(), key.bytes.size()))
    {
        strError = "not an ed25519 public key: \"" + strText.substr(0, 80) + "\"";
        return false;
    }
    key.id = MakeKeyId(key);
    return true;
}

bool ReadPublicKeyFile(const std::string& strPath, PublicKey& key, std::string& strError)
{
    std::string strText;
    if (!ReadSmallFile(strPath, strText, strError))
    {
        return false;
    }
    if (!ParsePublicKey(strText, key, strError))
    {
        strError = strPath + ": " + strError;
        return false;
    }
    return true;
}

bool WriteNewKeyPair(const std::string& strPath, PublicKey& key, std::string& strError)
{
    if (!CheckSignaturesAvailable(strError))
    {
        return false;
    }
    SecretSeed seed{};
    if (!CorvanePlatform::Ed25519Generate(*reinterpret_cast<uint8_t(*)[32]>(seed.data()),
                                          *reinterpret_cast<uint8_t(*)[32]>(key.bytes.data())))
    {
        strError = "cannot make a key";
        return false;
    }
    key.id = MakeKeyId(key);
    const std::string strSecret = kSecretPrefix + ToHex(seed.data(), seed.size()) + "\n";
    std::memset(seed.data(), 0, seed.size());
    const int nFile = CorvanePlatform::FileOpen(strPath.c_str(), CorvanePlatform::FileMode::WritePrivate);
    const bool bWritten = nFile >= 0 && CorvanePlatform::FileWriteAll(nFile, strSecret.data(),
                                                                      strSecret.size()) == strSecret.size();
    const bool bSynced = nFile >= 0 && CorvanePlatform::FileSync(nFile);
    if (nFile >= 0)
    {
        CorvanePlatform::FileClose(nFile);
    }
    if (!bWritten || !bSynced)
    {
        if (nFile >= 0)
        {
            CorvanePlatform::RemoveFile(strPath.c_str());
        }
        strError = "cannot create " + strPath + " (it must not exist yet)";
        return false;
    }
    const std::string strPublic = PublicKeyLine(key) + "\n";
    if (!CorvaneUtil::DiskWriteBytes(strPublic.data(), strPublic.size(), (strPath + ".pub").c_str()))
    {
        strError = "cannot write " + strPath + ".pub";
        return false;
    }
    return true;
}

bool ReadSecretKeyFile(const std::string& strPath, SecretSeed& seed, PublicKey& key, std::string& strError)
{
    if (!CheckSignaturesAvailable(strError))
    {
        return false;
    }
    std::string strText;
    if (!ReadSmallFile(strPath, strText, strError))
    {
        return false;
    }
    strText = Trimmed(strText);
    if (strText.compare(0, std::strlen(kSecretPrefix), kSecretPrefix) != 0 ||
        !FromHex(strText.substr(std::strlen(kSecretPrefix)), seed.data(), seed.size()))
    {
        strError = "not a secret key file: " + strPath;
        return false;
    }
    if (!CorvanePlatform::Ed25519PublicFromSeed(*reinterpret_cast<const uint8_t(*)[32]>(seed.data()),
                                                *reinterpret_cast<uint8_t(*)[32]>(key.bytes.data())))
    {
        strError = "cannot use the key in " + strPath;
        return false;
    }
    key.id = MakeKeyId(key);
    return true;
}

} // namespace NSCorvaneTrust
